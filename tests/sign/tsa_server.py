#!/usr/bin/env python3
"""A local RFC 3161 timestamp server for the signing checks: each POSTed request is answered by
`openssl ts -reply`. Listens on 127.0.0.1 at a free port, which it prints first; ends by itself
after five minutes (the test's time limit) or 50 requests.
Usage: tsa_server.py CONFIG KEY CERT"""
import http.server
import subprocess
import sys
import tempfile
import time

config, key, cert = sys.argv[1:4]
answered = 0


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        global answered
        answered += 1
        with tempfile.NamedTemporaryFile() as query:
            query.write(self.rfile.read(int(self.headers.get('Content-Length', 0))))
            query.flush()
            reply = subprocess.run(['openssl', 'ts', '-reply', '-config', config, '-queryfile', query.name,
                                    '-inkey', key, '-signer', cert], capture_output=True)
        self.send_response(200 if reply.returncode == 0 else 500)
        self.send_header('Content-Type', 'application/timestamp-reply')
        self.send_header('Content-Length', str(len(reply.stdout)))
        self.end_headers()
        self.wfile.write(reply.stdout)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(('127.0.0.1', 0), Handler)
server.timeout = 1
print(server.server_port, flush=True)
deadline = time.monotonic() + 300
while answered < 50 and time.monotonic() < deadline:
    server.handle_request()
