#!/usr/bin/env python3
"""fault_server.py PORT_FILE ROOT: serves files of ROOT on a free port of
127.0.0.1 (written to PORT_FILE): /redirect/N/NAME redirects N times, then
gives NAME; /stall/NAME gives NAME's length and first 4096 bytes, then
nothing until the client leaves (at most 60 s)."""
import http.server
import os
import sys


class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        kind, *rest = self.path.strip("/").split("/")
        path = os.path.join(sys.argv[2], os.path.basename(rest[-1] if rest else ""))
        if not rest or not os.path.isfile(path):
            return self.send_error(404)
        if kind == "redirect" and rest[0] != "0":
            self.send_response(302)
            self.send_header("Location", "/redirect/%d/%s" % (int(rest[0]) - 1, rest[-1]))
            return self.end_headers()
        with open(path, "rb") as f:
            body = f.read()
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body[:4096] if kind == "stall" else body)
        if kind == "stall":
            self.wfile.flush()
            self.connection.settimeout(60)
            try:
                self.connection.recv(1)  # returns when the client leaves
            except OSError:
                pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
with open(sys.argv[1] + ".tmp", "w") as f:
    f.write(str(server.server_address[1]))
os.rename(sys.argv[1] + ".tmp", sys.argv[1])
server.serve_forever()
