#!/usr/bin/env python3
"""Scripted HTTP server for the streaming library's tests.

Listens on 127.0.0.1 only, answers a fixed set of paths with well-formed
and broken replies, and exits by itself after --lifetime seconds or
--max-connections connections, so a forgotten instance cannot linger.

Paths (NAME is a file in --root):
  /file/NAME            200 with a length, Range ignored
  /icy-genre/NAME       HTTP/1.0, icy-name + icy-genre + icy-br, no length
  /icy-desc/NAME        icy-name + icy-description + icy-genre
  /icy-nameless/NAME    icy-genre only
  /icy-status/NAME      status line "ICY 200 OK"
  /redirect/N/NAME      N redirects, then the reply of /file/NAME
  /loop                 redirects to itself forever
  /count/loop           body: number of /loop requests so far (then reset)
  /truncate/NAME        announces the whole length, sends half, closes
  /stall/NAME           sends 4096 bytes, then nothing until --stall seconds pass
  /stall-head           reads the request, answers nothing for --stall seconds
  /stall-after/N/NAME   sends the first N bytes of NAME, then stalls like /stall
  /garbage              65536 bytes of a fixed non-audio pattern
  /bighead/NAME         a 100 kB header line before the usual fields
  /bigname/NAME         a 100 kB icy-name
  anything else         404
"""
import argparse
import os
import socket
import threading
import time
import urllib.parse

HEAD_LIMIT = 64 * 1024
BIG = 100 * 1024

lock = threading.Lock()
loop_count = 0


def garbage_bytes(n):
    # Same pattern as the test program's: (i * 7 + 3) mod 251.
    return bytes((i * 7 + 3) % 251 for i in range(n))


def read_head(conn):
    conn.settimeout(5)
    data = b""
    while b"\r\n\r\n" not in data and len(data) < HEAD_LIMIT:
        chunk = conn.recv(4096)
        if not chunk:
            break
        data += chunk
    return data.decode("latin-1", "replace")


def send_all(conn, data):
    try:
        conn.sendall(data)
        return True
    except OSError:
        return False


def reply(conn, status, headers, body=b"", version="HTTP/1.1"):
    lines = [f"{version} {status}"] + [f"{k}: {v}" for k, v in headers] + ["Connection: close", "", ""]
    return send_all(conn, "\r\n".join(lines).encode("latin-1") + body)


class Handler:
    def __init__(self, conn, args):
        self.conn = conn
        self.args = args

    def file(self, name):
        path = os.path.join(self.args.root, os.path.basename(name))
        if not name or not os.path.isfile(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def not_found(self):
        reply(self.conn, "404 Not Found", [("Content-Type", "text/plain"), ("Content-Length", "10")], b"not found\n")

    def stall(self):
        # Hold the connection until the client leaves or the stall time ends.
        end = time.monotonic() + self.args.stall
        self.conn.settimeout(0.2)
        while time.monotonic() < end:
            try:
                if not self.conn.recv(1024):
                    return
            except socket.timeout:
                continue
            except OSError:
                return

    def handle(self, path):
        global loop_count
        parts = urllib.parse.urlsplit(path).path.strip("/").split("/")
        kind, rest = parts[0], parts[1:]
        name = rest[-1] if rest else ""
        c = self.conn
        if kind == "file":
            body = self.file(name)
            if body is None:
                return self.not_found()
            reply(c, "200 OK", [("Content-Type", "audio/mpeg"), ("Content-Length", str(len(body))),
                                ("Accept-Ranges", "none")], body)
        elif kind in ("icy-genre", "icy-desc", "icy-nameless", "icy-status"):
            body = self.file(name)
            if body is None:
                return self.not_found()
            headers = [("Content-Type", "audio/mpeg")]
            if kind != "icy-nameless":
                headers.append(("icy-name", "Loopback Radio"))
            if kind == "icy-desc":
                headers.append(("icy-description", "Test Description"))
            headers += [("icy-genre", "Test Genre"), ("icy-br", "128")]
            version = "ICY" if kind == "icy-status" else "HTTP/1.0"
            lines = [f"{version} 200 OK"] + [f"{k}: {v}" for k, v in headers] + ["", ""]
            send_all(c, "\r\n".join(lines).encode() + body)
        elif kind == "redirect" and len(rest) >= 2 and rest[0].isdigit():
            n = int(rest[0])
            if n == 0:
                return self.handle(f"/file/{name}")
            reply(c, "302 Found", [("Location", f"/redirect/{n - 1}/{name}"), ("Content-Length", "0")])
        elif kind == "loop":
            with lock:
                loop_count += 1
            reply(c, "302 Found", [("Location", "/loop"), ("Content-Length", "0")])
        elif kind == "count":
            with lock:
                body = str(loop_count).encode()
                loop_count = 0
            reply(c, "200 OK", [("Content-Type", "text/plain"), ("Content-Length", str(len(body)))], body)
        elif kind == "truncate":
            body = self.file(name)
            if body is None:
                return self.not_found()
            reply(c, "200 OK", [("Content-Type", "audio/mpeg"), ("Content-Length", str(len(body)))],
                  body[: len(body) // 2])
        elif kind == "stall":
            body = self.file(name)
            if body is None:
                return self.not_found()
            if reply(c, "200 OK", [("Content-Type", "audio/mpeg"), ("Content-Length", str(len(body)))],
                     body[:4096]):
                self.stall()
        elif kind == "stall-after" and len(rest) >= 2 and rest[0].isdigit():
            body = self.file(name)
            if body is None:
                return self.not_found()
            if reply(c, "200 OK", [("Content-Type", "audio/mpeg"), ("Content-Length", str(len(body)))],
                     body[: int(rest[0])]):
                self.stall()
        elif kind == "stall-head":
            self.stall()
        elif kind == "garbage":
            body = garbage_bytes(65536)
            reply(c, "200 OK", [("Content-Type", "audio/mpeg"), ("Content-Length", str(len(body)))], body)
        elif kind in ("bighead", "bigname"):
            body = self.file(name)
            if body is None:
                return self.not_found()
            big = ("X-Filler", "f" * BIG) if kind == "bighead" else ("icy-name", "n" * BIG)
            reply(c, "200 OK", [big, ("Content-Type", "audio/mpeg"), ("Content-Length", str(len(body)))], body)
        else:
            self.not_found()


def serve(conn, args):
    try:
        head = read_head(conn)
        first = head.split("\r\n", 1)[0].split(" ")
        if len(first) >= 2:
            Handler(conn, args).handle(first[1])
    except OSError:
        pass
    finally:
        try:
            conn.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        conn.close()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--root", required=True)
    p.add_argument("--stall", type=float, default=20.0)
    p.add_argument("--lifetime", type=float, default=600.0)
    p.add_argument("--max-connections", type=int, default=2000)
    args = p.parse_args()

    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", args.port))
    server.listen(16)
    server.settimeout(0.5)
    end = time.monotonic() + args.lifetime
    served = 0
    while time.monotonic() < end and served < args.max_connections:
        try:
            conn, _ = server.accept()
        except socket.timeout:
            continue
        served += 1
        threading.Thread(target=serve, args=(conn, args), daemon=True).start()
    server.close()


if __name__ == "__main__":
    main()
