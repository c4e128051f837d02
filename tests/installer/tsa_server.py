#!/usr/bin/env python3
# A loopback RFC 3161 time-stamping server for the signing tests: each POST body is a time-stamp
# request, answered by `openssl ts -reply` with the signer certificate and key the caller made.
# It binds 127.0.0.1 on a free port, prints that port as its first line once it listens, and
# serves until it is ended or its standard input closes (so that it ends with its caller).
# usage: tsa_server.py SIGNER.pem SIGNER.key CHAIN.pem WORK_DIR
import http.server
import os
import subprocess
import sys
import tempfile
import threading

if len(sys.argv) != 5:
    asked = len(sys.argv) == 2 and sys.argv[1] in ("-h", "--help")
    for line in open(__file__).read().splitlines()[1:]:
        if not line.startswith("#"):
            break
        print(line[2:], file=sys.stdout if asked else sys.stderr)
    sys.exit(0 if asked else 2)
signer, key, chain, work = sys.argv[1:]

# openssl ts reads its authority from a configuration file: the serial number file, the policy,
# the digests it accepts, and the certificate identifiers (ESS) it puts into the answer.
config = os.path.join(work, "tsa.cnf")
serial = os.path.join(work, "tsa.serial")
with open(serial, "w") as f:
    f.write("01\n")
with open(config, "w") as f:
    f.write(f"""[ tsa ]
default_tsa = loopback
[ loopback ]
serial = {serial}
signer_cert = {signer}
signer_key = {key}
certs = {chain}
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha1, sha256, sha384, sha512
accuracy = secs:1
ordering = no
tsa_name = no
ess_cert_id_chain = no
ess_cert_id_alg = sha256
""")
lock = threading.Lock()  # one reply at a time: they share the serial number file


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        query = self.rfile.read(length)
        with lock, tempfile.TemporaryDirectory(dir=work) as d:
            q, r = os.path.join(d, "query.tsq"), os.path.join(d, "reply.tsr")
            with open(q, "wb") as f:
                f.write(query)
            done = subprocess.run(["openssl", "ts", "-reply", "-config", config, "-queryfile", q,
                                   "-out", r], capture_output=True)
            reply = open(r, "rb").read() if done.returncode == 0 else b""
        if not reply:
            self.send_error(400, "not a time-stamp request")
            return
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
threading.Thread(target=server.serve_forever, daemon=True).start()
sys.stdin.read()  # until the caller closes it or ends
