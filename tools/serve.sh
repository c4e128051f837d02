#!/usr/bin/env bash
# Serves a folder over HTTP on 127.0.0.1 through nginx with the update server's configuration
# (tools/nginx/update-server.conf), as the current user, on a free port, with everything nginx
# writes (its configuration, pid, logs, temporary files) in a folder of its own under /tmp.
# usage: tools/serve.sh DIR        serves DIR until it is interrupted or terminated, printing
#                                  its URL and the access log's lines
#        . tools/serve.sh          (after tools/wine-env.sh) defines orv_serve DIR: starts the
#                                  server in the background and sets orv_serve_port,
#                                  orv_serve_url and orv_serve_log (the access log); the server
#                                  ends when the calling script ends, however it ends (orv_on_exit)
# The listening socket is made before nginx starts and handed to it (nginx's NGINX environment
# variable, as for its own upgrades), so the port is known and accepting from the start: no
# port can be taken in between, and nothing waits for nginx to come up.
orv_serve_conf=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/nginx/update-server.conf

orv_serve() {
  local root folder
  root=$(cd "$1" 2>/dev/null && pwd) || { echo "serve: no folder $1" >&2; return 2; }
  command -v nginx >/dev/null || { echo "serve: nginx is missing (Debian: nginx)" >&2; return 3; }
  folder=$(mktemp -d /tmp/orv-nginx.XXXXXX)
  mkdir -p "$folder/temp"
  orv_on_exit rm -rf "$folder"
  # The port comes first (the socket, inherited as descriptor 3), then the configuration that
  # names it; the process then becomes nginx's master, so its pid is the server's.
  coproc ORV_NGINX {
    exec python3 -c '
import os, socket, sys
folder, root, site = sys.argv[1:4]
s = socket.socket()
s.bind(("127.0.0.1", 0))
s.listen(128)
os.dup2(s.fileno(), 3)
os.set_inheritable(3, True)
port = s.getsockname()[1]
user = os.popen("id -un").read().strip() + " " + os.popen("id -gn").read().strip()
t = folder + "/temp"
open(folder + "/nginx.conf", "w").write(f"""daemon off;
master_process on;
worker_processes 1;
user {user};
pid {folder}/nginx.pid;
error_log {folder}/error.log;
events {{ worker_connections 128; }}
http {{
    access_log {folder}/access.log;
    client_body_temp_path {t}/body;
    proxy_temp_path {t}/proxy;
    fastcgi_temp_path {t}/fastcgi;
    uwsgi_temp_path {t}/uwsgi;
    scgi_temp_path {t}/scgi;
    server {{
        listen 127.0.0.1:{port};
        server_name localhost;
        root {root};
        include {site};
    }}
}}
""")
print(port, flush=True)
os.execvpe("nginx", ["nginx", "-p", folder, "-c", folder + "/nginx.conf", "-e", folder + "/error.log"],
           dict(os.environ, NGINX="3;"))
' "$folder" "$root" "$orv_serve_conf" 2>"$folder/start.log"
  }
  orv_on_exit kill "$ORV_NGINX_PID"
  if ! read -r orv_serve_port <&"${ORV_NGINX[0]}"; then
    echo "serve: nginx did not start: $(cat "$folder/start.log" "$folder/error.log" 2>/dev/null)" >&2
    return 3
  fi
  orv_serve_url=http://127.0.0.1:$orv_serve_port
  orv_serve_log=$folder/access.log
  orv_serve_folder=$folder
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  . "$(dirname "${BASH_SOURCE[0]}")/help.sh" && orv_help_if_asked "${BASH_SOURCE[0]}" "$@"
  set -uo pipefail
  [ $# -eq 1 ] || { sed -n '/^# usage:/,/^# The listening/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 2; }
  . "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
  orv_serve "$1" || exit $?
  echo "serving $1 at $orv_serve_url/ (nginx, $orv_serve_folder); Ctrl-C ends it"
  touch "$orv_serve_log"
  tail -n +1 -f "$orv_serve_log" &
  orv_on_exit kill $!
  wait "$ORV_NGINX_PID"
fi
