#!/usr/bin/env python3
"""A static file server on 127.0.0.1 that answers every request after a set
delay, like a server far away. It serves GET and HEAD with Content-Length and
Last-Modified, answers If-Modified-Since with 304, and keeps a connection open
when the client asks for it.

    delay-server.py ROOT DELAY_MS PORTFILE

It listens on a free port and writes the port number into PORTFILE.
"""
import email.utils
import os
import sys
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"  # keeps a connection open when asked
    # Head and body go out in separate writes; on a kept connection Nagle's
    # algorithm would hold the body back until the client's delayed ACK.
    disable_nagle_algorithm = True

    def log_message(self, *args):
        pass

    def answer(self, body):
        time.sleep(DELAY)
        path = os.path.join(ROOT, self.path.lstrip("/").split("?")[0])
        if not os.path.isfile(path):
            self.send_response(404)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        st = os.stat(path)
        since = self.headers.get("If-Modified-Since")
        if since:
            try:
                when = email.utils.parsedate_to_datetime(since).timestamp()
            except (TypeError, ValueError):
                when = None
            if when is not None and int(st.st_mtime) <= when:
                self.send_response(304)
                self.end_headers()
                return
        self.send_response(200)
        self.send_header("Content-Length", str(st.st_size))
        self.send_header("Last-Modified", email.utils.formatdate(st.st_mtime, usegmt=True))
        self.end_headers()
        if body:
            with open(path, "rb") as f:
                self.wfile.write(f.read())

    def do_GET(self):
        self.answer(True)

    def do_HEAD(self):
        self.answer(False)


class Server(ThreadingHTTPServer):
    request_queue_size = 128  # the default 5 drops connections made at once
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass  # a client that closes after the head is no error here


ROOT, DELAY = sys.argv[1], int(sys.argv[2]) / 1000.0
server = Server(("127.0.0.1", 0), Handler)
with open(sys.argv[3], "w") as f:
    f.write(str(server.server_address[1]))
server.serve_forever()
