#!/usr/bin/env python3
"""The loopback stand-in for the vendor web server (and every other host the
program talks to) in tests and the demo. Standard library only.

It serves files below --root, answers POSTs with {"code":"0"}, and appends every
request as one JSON line (method, path, query, headers, body) to
<root>/requests.log. A test makes it misbehave by writing <root>/rules.json: an
object (or several, rules-<name>.json) whose keys are request targets ("/path?query", or "/path" for every
query) and whose values may hold:

  status        answer with this status code (default 200, 404 for a missing file)
  location      a Location header (for 301/302)
  body          the body as text            body_file   a file below --root
  body_size     a body of this many deterministic bytes
  content_type  the Content-Type header (default application/octet-stream)
  content_length "none" to send no length (the connection close ends the body),
                or a number to announce instead of the real size
  cut_after     close the connection after this many body bytes
  chunk, delay_ms  send the body in pieces of chunk bytes with a pause between
  stall_ms      accept, then say nothing for this long before answering
  hold_after, hold_until  send hold_after body bytes, then nothing more until
                the file hold_until (below --root) exists: a test decides
                when a download may go on, whatever the machine's speed

Usage: vendor_server.py --root DIR [--port N] [--pid-file F] [--port-file F] [--background] [--fresh]
       vendor_server.py --stop --pid-file F
It exits non-zero, naming the port, when it cannot listen; with --background
the first process returns once the detached server is ready.
"""
import argparse
import errno
import http.server
import json
import os
import signal
import socketserver
import sys
import threading
import time
import urllib.parse

LOG_LOCK = threading.Lock()
# How long a server asked to stop may take to let go of its port.
STOP_TIMEOUT_S = 10
# A held answer goes on by itself after this long, so a test that died
# before releasing it leaves no thread waiting for ever.
HOLD_LIMIT_S = 600


def pattern_bytes(n):
    """n bytes of a fixed, non-repeating-looking pattern."""
    block = bytes((i * 7 + (i >> 8) * 13) & 0xFF for i in range(65536))
    out = bytearray()
    while len(out) < n:
        out += block[:n - len(out)]
    return bytes(out)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'
    server_version = 'TwVendor/1.0'

    def log_message(self, fmt, *args):
        pass

    # -- bookkeeping ----------------------------------------------------
    def root(self):
        return self.server.root

    def record(self, body):
        parts = urllib.parse.urlsplit(self.path)
        entry = {
            'method': self.command,
            'path': parts.path,
            'query': parts.query,
            'headers': {k: v for k, v in self.headers.items()},
            'body': body.decode('utf-8', 'replace'),
        }
        with LOG_LOCK:
            with open(os.path.join(self.root(), 'requests.log'), 'a', encoding='utf-8') as f:
                f.write(json.dumps(entry, ensure_ascii=False) + '\n')

    def rule(self):
        # Every rules*.json counts, so tests running side by side keep their own files.
        rules = {}
        for name in sorted(os.listdir(self.root())):
            if name.startswith('rules') and name.endswith('.json'):
                try:
                    with open(os.path.join(self.root(), name), encoding='utf-8') as f:
                        rules.update(json.load(f))
                except (OSError, ValueError):
                    pass
        parts = urllib.parse.urlsplit(self.path)
        return rules.get(self.path) or rules.get(parts.path) or {}

    def read_body(self):
        length = int(self.headers.get('Content-Length') or 0)
        return self.rfile.read(length) if length > 0 else b''

    # -- answering ------------------------------------------------------
    def do_GET(self):
        self.record(b'')
        self.answer(self.rule(), post=False)

    def do_POST(self):
        self.record(self.read_body())
        self.answer(self.rule(), post=True)

    def default_body(self, post):
        if post:
            return 200, b'{"code":"0"}', 'application/json'
        relative = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path).lstrip('/')
        full = os.path.realpath(os.path.join(self.root(), relative))
        if not full.startswith(os.path.realpath(self.root()) + os.sep) or not os.path.isfile(full):
            return 404, b'not found', 'text/plain'
        with open(full, 'rb') as f:
            return 200, f.read(), 'application/octet-stream'

    def answer(self, rule, post):
        if 'stall_ms' in rule:
            time.sleep(rule['stall_ms'] / 1000.0)
        status, body, content_type = self.default_body(post)
        if 'body' in rule:
            status, body = 200, rule['body'].encode('utf-8')
        if 'body_file' in rule:
            with open(os.path.join(self.root(), rule['body_file']), 'rb') as f:
                status, body = 200, f.read()
        if 'body_size' in rule:
            status, body = 200, pattern_bytes(rule['body_size'])
        status = rule.get('status', status)
        self.send_response(status)
        self.send_header('Content-Type', rule.get('content_type', content_type))
        if 'location' in rule:
            self.send_header('Location', rule['location'])
        announced = rule.get('content_length', len(body))
        if announced != 'none':
            self.send_header('Content-Length', str(announced))
        self.send_header('Connection', 'close')
        self.end_headers()
        if 'cut_after' in rule:
            body = body[:rule['cut_after']]
        try:
            if 'hold_until' in rule:
                held = min(rule.get('hold_after', 0), len(body))
                self.send_body(body[:held], rule)
                self.wait_for_release(os.path.join(self.root(), rule['hold_until']))
                body = body[held:]
            self.send_body(body, rule)
        except (BrokenPipeError, ConnectionResetError):
            pass
        self.close_connection = True

    def send_body(self, body, rule):
        chunk = rule.get('chunk', 65536)
        delay = rule.get('delay_ms', 0) / 1000.0
        for i in range(0, len(body), chunk):
            self.wfile.write(body[i:i + chunk])
            self.wfile.flush()
            if delay:
                time.sleep(delay)

    @staticmethod
    def wait_for_release(path):
        deadline = time.monotonic() + HOLD_LIMIT_S
        while not os.path.exists(path) and time.monotonic() < deadline:
            time.sleep(0.05)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def is_vendor_server(pid):
    """Whether pid is still one of these servers (a stale pid file may name
    an unrelated process by now; a zombie has already stopped serving)."""
    try:
        with open('/proc/%d/cmdline' % pid, 'rb') as f:
            cmdline = f.read()
        with open('/proc/%d/stat' % pid) as f:
            state = f.read().rsplit(')', 1)[1].split()[0]
    except (OSError, IndexError):
        return False
    return state != 'Z' and b'vendor_server.py' in cmdline


def stop_previous(pid_file):
    """Ends the server named in pid_file and waits until it has let go of its port."""
    try:
        with open(pid_file) as f:
            pid = int(f.read().strip())
    except (OSError, ValueError):
        return
    if not is_vendor_server(pid):
        return
    try:
        os.kill(pid, signal.SIGTERM)
    except OSError:
        return
    deadline = time.monotonic() + STOP_TIMEOUT_S
    while is_vendor_server(pid) and time.monotonic() < deadline:
        time.sleep(0.02)


def listen(port):
    """The listening server, or None after saying on stderr why the port cannot be had."""
    try:
        return Server(('127.0.0.1', port), Handler)
    except OSError as e:
        if e.errno == errno.EADDRINUSE:
            print('vendor_server: port %d on 127.0.0.1 is busy: another program listens on it' % port,
                  file=sys.stderr)
        else:
            print('vendor_server: cannot listen on 127.0.0.1:%d: %s' % (port, e.strerror or e), file=sys.stderr)
        return None


def detach(pid_file):
    """Forks; the parent returns True once the child serves (pid file written),
    False if the child died first. The child returns None and carries on."""
    ready_r, ready_w = os.pipe()
    if os.fork() != 0:
        os.close(ready_w)
        with os.fdopen(ready_r, 'rb') as ready:
            return ready.read(1) == b'1'
    os.close(ready_r)
    os.setsid()
    if pid_file:
        with open(pid_file, 'w') as f:
            f.write(str(os.getpid()))
    devnull = os.open(os.devnull, os.O_RDWR)
    for fd in (0, 1, 2):
        os.dup2(devnull, fd)
    os.write(ready_w, b'1')
    os.close(ready_w)
    return None


def main():
    p = argparse.ArgumentParser()
    p.add_argument('--root')
    p.add_argument('--port', type=int, default=0)
    p.add_argument('--pid-file')
    p.add_argument('--port-file')
    p.add_argument('--stop', action='store_true')
    p.add_argument('--fresh', action='store_true', help='forget earlier rules and requests')
    p.add_argument('--background', action='store_true', help='detach and return once listening')
    args = p.parse_args()

    if args.stop:
        stop_previous(args.pid_file)
        return 0

    os.makedirs(args.root, exist_ok=True)
    if args.fresh:
        for name in os.listdir(args.root):
            if name == 'requests.log' or (name.startswith('rules') and name.endswith('.json')):
                os.remove(os.path.join(args.root, name))
    if args.pid_file and args.background:
        stop_previous(args.pid_file)
    server = listen(args.port)
    if server is None:
        return 3
    server.root = args.root
    port = server.server_address[1]
    if args.port_file:
        with open(args.port_file, 'w') as f:
            f.write(str(port))
    if args.background:
        started = detach(args.pid_file)
        if started is not None:
            if not started:
                print('vendor_server: the server on port %d ended before it was ready' % port, file=sys.stderr)
                return 4
            print(port)
            return 0  # the parent returns as soon as the child serves
    elif args.pid_file:
        with open(args.pid_file, 'w') as f:
            f.write(str(os.getpid()))
    signal.signal(signal.SIGTERM, lambda *a: sys.exit(0))
    server.serve_forever()
    return 0


if __name__ == '__main__':
    sys.exit(main())
