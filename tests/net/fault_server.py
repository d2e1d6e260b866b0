#!/usr/bin/env python3
"""Scripted HTTP replies for the network tests, on 127.0.0.1 only.

  fault_server.py PORT_FILE ROOT   (binds a free port and writes it to PORT_FILE)

  /redirect/N/NAME  N redirects, then NAME from ROOT with its length
  /stall/NAME       NAME's length and first 4096 bytes, then nothing until
                    the client leaves (at most 60 s)
  /icy/NAME         NAME as a live source: no length, a station name and
                    description
"""
import http.server
import os
import sys


class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        parts = self.path.strip("/").split("/")
        path = os.path.join(self.server.root, os.path.basename(parts[-1]))
        if len(parts) < 2 or not os.path.isfile(path):
            return self.send_error(404)
        with open(path, "rb") as f:
            body = f.read()
        if parts[0] == "redirect" and parts[1] != "0":
            self.send_response(302)
            self.send_header("Location", "/redirect/%d/%s" % (int(parts[1]) - 1, parts[-1]))
            self.send_header("Content-Length", "0")
            return self.end_headers()
        self.send_response(200)
        self.send_header("Content-Type", "audio/mpeg")
        if parts[0] == "icy":
            self.send_header("icy-name", "Loopback Radio")
            self.send_header("icy-description", "Test Description")
        else:
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if parts[0] != "stall":
            return self.wfile.write(body)
        self.wfile.write(body[:4096])
        self.wfile.flush()
        self.connection.settimeout(60)
        try:
            self.connection.recv(1)  # returns when the client leaves
        except OSError:
            pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
server.root = sys.argv[2]
with open(sys.argv[1] + ".tmp", "w") as f:
    f.write(str(server.server_address[1]))
os.rename(sys.argv[1] + ".tmp", sys.argv[1])
server.serve_forever()
