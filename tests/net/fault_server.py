#!/usr/bin/env python3
"""A scripted HTTP server on 127.0.0.1 for the downloader's tests: answers that
a real web server does not give on demand (no length, short and long bodies,
dropped connections, stalls, error pages, a slow trickle).

Usage: fault_server.py PORT_FILE
Binds a free port, writes it to PORT_FILE (atomically) and serves until it is
terminated. Standard library only.

Body bytes follow a fixed pattern: byte i of a body is (i % 251). Paths
(n = body length, k = count of failing requests, tag = any word):
  /size/<n>/<tag>          200 with Content-Length; "Range: bytes=k-" gives 206
  /nolength/<n>/<tag>      200 without Content-Length, then the connection closes
  /short/<n>/<tag>         Content-Length n, sends n/2 bytes, closes
  /long/<n>/<tag>          Content-Length n, sends n + 1000 bytes, closes
  /drop/<n>/<k>/<tag>      like /size; the first k requests close after a third
                           of their own part
  /norange/<n>/<k>/<tag>   like /drop, but always 200 with the whole body
  /newstamp/<n>/<k>/<tag>  like /drop, with a new Last-Modified on every request
  /stall/<n>/<tag>         Content-Length n, sends n/4 bytes, then stays silent
                           until the client closes (or 10 minutes)
  /status/<code>/<tag>     that status with an HTML body naming it in <title>
  /errorpage/<tag>         200 with an HTML page titled "404 Not Found"
  /trickle/<n>/<ms>/<tag>  Content-Length n, 1024 bytes every <ms> milliseconds
  /stats/<path>            "requests=<R> bytes=<B>" for /<path>
"""

import email.utils
import http
import http.server
import os
import select
import signal
import sys
import threading
import time

STAMP = "Wed, 09 Dec 2026 10:00:00 GMT"
STAMP_SECONDS = email.utils.parsedate_to_datetime(STAMP).timestamp()
STALL_LIMIT_S = 600
PIECE = 65536
PATTERN = bytes(i % 251 for i in range(PIECE + 251))


def body_piece(offset, length):
    """length (<= PIECE) pattern bytes starting at body offset."""
    start = offset % 251
    return PATTERN[start:start + length]


class Stats:
    def __init__(self):
        self.lock = threading.Lock()
        self.requests = {}
        self.bytes = {}

    def request(self, path):
        """Counts a request; returns how many came before it."""
        with self.lock:
            before = self.requests.get(path, 0)
            self.requests[path] = before + 1
            return before

    def sent(self, path, count):
        with self.lock:
            self.bytes[path] = self.bytes.get(path, 0) + count

    def text(self, path):
        with self.lock:
            return "requests=%d bytes=%d" % (self.requests.get(path, 0), self.bytes.get(path, 0))


STATS = Stats()


class ClientGone(Exception):
    pass


def parse_range_start(header, size):
    """The k of "bytes=k-" (or "bytes=k-m"), None when absent or unusable."""
    if not header or not header.startswith("bytes="):
        return None
    first = header[len("bytes="):].split(",")[0].strip()
    start_text = first.split("-")[0].strip()
    if not start_text.isdigit():
        return None
    start = int(start_text)
    return start if start < size else None


def number(text):
    return int(text) if text.isdigit() else None


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "VarnelFault/1"

    def log_message(self, format, *args):  # quiet: the tests read /stats
        pass

    # --- answers ----------------------------------------------------------

    def head(self, code, headers, stamp=STAMP):
        self.send_response(code)
        self.send_header("Last-Modified", stamp)
        self.send_header("Connection", "close")
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.close_connection = True

    def send_body(self, offset, length, delay_s=0.0, piece=PIECE):
        """Sends length pattern bytes from body offset, counting what left."""
        if self.command == "HEAD":
            return
        end = offset + length
        while offset < end:
            count = min(piece, end - offset)
            try:
                self.wfile.write(body_piece(offset, count))
                self.wfile.flush()
            except OSError:
                raise ClientGone()
            STATS.sent(self.path_key, count)
            offset += count
            if delay_s > 0 and offset < end:
                time.sleep(delay_s)

    def wait_for_close(self):
        """Waits, silent, until the client closes the connection."""
        deadline = time.monotonic() + STALL_LIMIT_S
        while time.monotonic() < deadline:
            ready, _, _ = select.select([self.connection], [], [], 1.0)
            if ready:
                try:
                    if not self.connection.recv(4096):
                        return
                except OSError:
                    return

    def html(self, code, title):
        page = ("<html><head><title>%s</title></head><body><h1>%s</h1>"
                "<p>The fault server says so.</p></body></html>\n" % (title, title)).encode()
        self.head(code, [("Content-Type", "text/html"), ("Content-Length", str(len(page)))])
        if self.command != "HEAD":
            try:
                self.wfile.write(page)
            except OSError:
                raise ClientGone()
            STATS.sent(self.path_key, len(page))

    def ranged(self, n, failing, use_range=True, stamp=STAMP):
        """/size, /drop, /norange, /newstamp: the body or its rest; a failing
        request closes after a third of its own part."""
        start = parse_range_start(self.headers.get("Range"), n) if use_range else None
        headers = [("Accept-Ranges", "bytes")] if use_range else []
        if start is None:
            self.head(200, headers + [("Content-Length", str(n))], stamp)
            start = 0
        else:
            self.head(206, headers + [("Content-Length", str(n - start)),
                                      ("Content-Range", "bytes %d-%d/%d" % (start, n - 1, n))], stamp)
        part = n - start
        self.send_body(start, part // 3 if failing else part)

    # --- dispatch ---------------------------------------------------------

    def do_HEAD(self):
        self.do_GET()

    def do_GET(self):
        self.path_key = self.path.split("?")[0]
        parts = self.path_key.strip("/").split("/")
        if parts[0] == "stats":
            text = STATS.text("/" + "/".join(parts[1:])).encode()
            self.head(200, [("Content-Type", "text/plain"), ("Content-Length", str(len(text)))])
            if self.command != "HEAD":
                self.wfile.write(text)
            return
        before = STATS.request(self.path_key)
        try:
            if not self.answer(parts, before):
                self.html(404, "404 Not Found")
        except ClientGone:
            self.close_connection = True

    def answer(self, parts, before):
        kind = parts[0]
        args = [number(p) for p in parts[1:]]
        if kind == "size" and len(parts) == 3 and args[0] is not None:
            self.ranged(args[0], False)
        elif kind in ("drop", "norange", "newstamp") and len(parts) == 4 and None not in args[:2]:
            n, k = args[0], args[1]
            stamp = STAMP
            if kind == "newstamp":
                stamp = email.utils.formatdate(STAMP_SECONDS + 3600 * before, usegmt=True)
            self.ranged(n, before < k, use_range=(kind != "norange"), stamp=stamp)
        elif kind == "nolength" and len(parts) == 3 and args[0] is not None:
            self.head(200, [])
            self.send_body(0, args[0])
        elif kind == "short" and len(parts) == 3 and args[0] is not None:
            self.head(200, [("Content-Length", str(args[0]))])
            self.send_body(0, args[0] // 2)
        elif kind == "long" and len(parts) == 3 and args[0] is not None:
            self.head(200, [("Content-Length", str(args[0]))])
            self.send_body(0, args[0] + 1000)
        elif kind == "stall" and len(parts) == 3 and args[0] is not None:
            self.head(200, [("Content-Length", str(args[0]))])
            self.send_body(0, args[0] // 4)
            self.wait_for_close()
        elif kind == "status" and len(parts) == 3 and args[0] is not None and 200 <= args[0] <= 599:
            code = args[0]
            try:
                reason = http.HTTPStatus(code).phrase
            except ValueError:
                reason = "Status"
            self.html(code, "%d %s" % (code, reason))
        elif kind == "errorpage" and len(parts) == 2:
            self.html(200, "404 Not Found")
        elif kind == "trickle" and len(parts) == 4 and None not in args[:2]:
            n, ms = args[0], args[1]
            self.head(200, [("Content-Length", str(n))])
            self.send_body(0, n, delay_s=ms / 1000.0, piece=1024)
        else:
            return False
        return True


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: fault_server.py PORT_FILE\n")
        return 2
    server = Server(("127.0.0.1", 0), Handler)
    port_file = sys.argv[1]
    with open(port_file + ".tmp", "w") as out:
        out.write("%d\n" % server.server_address[1])
    os.replace(port_file + ".tmp", port_file)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    try:
        server.serve_forever(poll_interval=0.2)
    except (KeyboardInterrupt, SystemExit):
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
