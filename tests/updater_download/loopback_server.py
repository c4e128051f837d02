#!/usr/bin/env python3
"""Loopback HTTP and HTTPS server for the updater's download tests and benchmark.

Serves on 127.0.0.1 only: one plain HTTP port and one HTTPS port per certificate (self-signed,
expired, wrong name). Writes "name=port" lines to --port-file once every port listens, and ends by
itself after --lifetime seconds whatever happens.

Paths (the behaviour is chosen by the first folder; the rest only names the request):
  /files/<path>             a file from --files ("//" in the path is kept in the log)
  /data/<size>/<name>       <size> bytes of the fixed pattern (see pattern_block)
  /status/<code>/<name>     that status with an empty body
  /statusbody/<code>/<name> that status with a small HTML body
  /nolength/<name>          200 with a body and no Content-Length
  /emptynolength/<name>     200 with no body and no Content-Length
  /short/<name>             Content-Length 1000 but only 500 bytes, then the connection ends
  /zero/<name>              200 with Content-Length 0
  /flaky/<name>             the first request for the path is dropped unanswered, later ones get 100 bytes
  /stall/<ms>/<name>        the first request for the path waits <ms> before its 100 bytes
  /_log                     every request path so far, one a line (control requests not logged)
"""
import argparse
import http.server
import os
import socketserver
import ssl
import sys
import threading
import time

BLOCK = bytes((i * 7 + 13) % 251 for i in range(65536))
lock = threading.Lock()
log = []
seen = {}


def pattern(size):
    """Yields the pattern's bytes in blocks: byte i is (i % 65536 * 7 + 13) % 251."""
    left = size
    while left > 0:
        n = min(left, len(BLOCK))
        yield BLOCK[:n]
        left -= n


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"  # every answer ends its connection
    files = "."

    def log_message(self, fmt, *args):  # quiet
        pass

    def first_time(self):
        with lock:
            n = seen.get(self.path, 0)
            seen[self.path] = n + 1
            return n == 0

    def answer(self, status, body=b"", length=True, headers=()):
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        if length:
            self.send_header("Content-Length", str(len(body)))
        for k, v in headers:
            self.send_header(k, v)
        self.end_headers()
        if body:
            self.wfile.write(body)

    def do_GET(self):
        path = self.path
        if path == "/_log":
            with lock:
                body = "".join(p + "\n" for p in log).encode()
            return self.answer(200, body)
        with lock:
            log.append(path)
        parts = path.lstrip("/").split("/")
        kind = parts[0]
        try:
            if kind == "files":
                rel = [p for p in parts[1:] if p and p not in (".", "..")]
                full = os.path.join(self.files, *rel)
                if not os.path.isfile(full):
                    return self.answer(404)
                size = os.path.getsize(full)
                self.send_response(200)
                self.send_header("Content-Length", str(size))
                self.end_headers()
                with open(full, "rb") as f:
                    while True:
                        chunk = f.read(1 << 20)
                        if not chunk:
                            break
                        self.wfile.write(chunk)
            elif kind == "data":
                size = int(parts[1])
                self.send_response(200)
                self.send_header("Content-Length", str(size))
                self.end_headers()
                for block in pattern(size):
                    self.wfile.write(block)
            elif kind == "status":
                self.answer(int(parts[1]))
            elif kind == "statusbody":
                self.answer(int(parts[1]), b"<html><body>error page</body></html>")
            elif kind == "nolength":
                self.answer(200, b"a body without its length", length=False)
            elif kind == "emptynolength":
                self.answer(200, length=False)
            elif kind == "short":
                self.send_response(200)
                self.send_header("Content-Length", "1000")
                self.end_headers()
                self.wfile.write(b"x" * 500)
            elif kind == "zero":
                self.answer(200)
            elif kind == "flaky":
                if self.first_time():
                    self.close_connection = True
                    return  # dropped without an answer
                self.answer(200, next(pattern(100)))
            elif kind == "stall":
                if self.first_time():
                    time.sleep(int(parts[1]) / 1000.0)
                self.answer(200, next(pattern(100)))
            else:
                self.answer(404)
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError):
            pass


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--files", required=True)
    ap.add_argument("--certs", required=True)
    ap.add_argument("--port-file", required=True)
    ap.add_argument("--lifetime", type=float, default=900)
    a = ap.parse_args()
    Handler.files = a.files

    # Bounded life: the server ends by itself even when nobody stops it.
    threading.Timer(a.lifetime, lambda: os._exit(0)).start()

    servers = {"http": Server(("127.0.0.1", 0), Handler)}
    for name in ("selfsigned", "expired", "wrongname"):
        srv = Server(("127.0.0.1", 0), Handler)
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(os.path.join(a.certs, name + ".pem"), os.path.join(a.certs, name + ".key"))
        # The handshake runs in the request's thread, so a client that stalls holds up nobody.
        srv.socket = ctx.wrap_socket(srv.socket, server_side=True, do_handshake_on_connect=False)
        servers[name] = srv
    for srv in servers.values():
        threading.Thread(target=srv.serve_forever, daemon=True).start()
    tmp = a.port_file + ".tmp"
    with open(tmp, "w") as f:
        for name, srv in servers.items():
            f.write("%s=%d\n" % (name, srv.server_address[1]))
    os.replace(tmp, a.port_file)
    threading.Event().wait()


if __name__ == "__main__":
    sys.exit(main())
