#!/usr/bin/env python3
"""Loopback HTTP and HTTPS server for the updater's download tests and benchmark.

Serves on 127.0.0.1 only: one plain HTTP port and one HTTPS port per certificate (self-signed,
expired, wrong name). Writes "name=port" lines to --port-file once every port listens, and ends by
itself after --lifetime seconds whatever happens.

Paths (the behaviour is chosen by the first folder; the rest only names the request):
  /files/<path>             a file from --files ("//" in the path is kept in the log); with a
                            file <name>.drip beside it, its bytes come one every half second
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
Misbehaving answers, each ending by itself within HOSTILE_SECONDS (or when the client goes):
  /drip/<name>              Content-Length 1000, then one byte every half second
  /hang/<name>              Content-Length 1000, ten bytes, then silence
  /endless/<name>           200 without Content-Length and a body that never ends
  /redirect/<n>/<name>      302 to /redirect/<n+1>/<name>, a loop (404 from n = 1000 on)
  /reset/<name>             Content-Length 1000000, 100000 bytes, then a reset connection
  /badchunk/<name>          a chunked body whose second chunk size is not a number
  /headers/<name>           a status line and header lines that never end
"""
import argparse
import http.server
import os
import socket
import socketserver
import ssl
import struct
import sys
import threading
import time

BLOCK = bytes((i * 7 + 13) % 251 for i in range(65536))
lock = threading.Lock()
log = []
seen = {}
HOSTILE_SECONDS = 60


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
                if os.path.isfile(full + ".drip"):
                    with open(full, "rb") as f:
                        self.until_bound(lambda: self.wfile.write(f.read(1)), 0.5)
                    return
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
            elif kind in HOSTILE:
                HOSTILE[kind](self, parts)
            elif kind == "stall":
                if self.first_time():
                    time.sleep(int(parts[1]) / 1000.0)
                self.answer(200, next(pattern(100)))
            else:
                self.answer(404)
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError):
            pass

    def until_bound(self, step, pause):
        """Calls step() every `pause` seconds until the bound; the client leaving ends it."""
        end = time.monotonic() + HOSTILE_SECONDS
        while time.monotonic() < end:
            step()
            self.wfile.flush()
            time.sleep(pause)

    def drip(self, parts):
        self.send_response(200)
        self.send_header("Content-Length", "1000")
        self.end_headers()
        self.until_bound(lambda: self.wfile.write(b"d"), 0.5)

    def hang(self, parts):
        self.send_response(200)
        self.send_header("Content-Length", "1000")
        self.end_headers()
        self.wfile.write(b"h" * 10)
        self.wfile.flush()
        time.sleep(HOSTILE_SECONDS)

    def endless(self, parts):
        self.send_response(200)
        self.end_headers()
        self.until_bound(lambda: self.wfile.write(BLOCK), 0)

    def redirect(self, parts):
        n = int(parts[1]) + 1
        if n > 1000:  # a client that never gives up still ends
            return self.answer(404)
        self.answer(302, headers=[("Location", "/redirect/%d/%s" % (n, parts[2]))])

    def reset(self, parts):
        self.send_response(200)
        self.send_header("Content-Length", "1000000")
        self.end_headers()
        self.wfile.write(b"r" * 100000)
        self.wfile.flush()
        # A linger time of zero makes the close a reset.
        self.request.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.request.close()

    def badchunk(self, parts):
        self.wfile.write(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
                         b"10\r\n0123456789abcdef\r\nzz\r\n0123456789abcdef\r\n0\r\n\r\n")
        self.close_connection = True

    def headers(self, parts):
        self.wfile.write(b"HTTP/1.0 200 OK\r\n")
        count = iter(range(1 << 62))
        self.until_bound(lambda: self.wfile.write(b"".join(
            b"X-Filler-%d: %s\r\n" % (next(count), b"f" * 200) for _ in range(256))), 0)


HOSTILE = {"drip": Handler.drip, "hang": Handler.hang, "endless": Handler.endless,
           "redirect": Handler.redirect, "reset": Handler.reset, "badchunk": Handler.badchunk,
           "headers": Handler.headers}


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
