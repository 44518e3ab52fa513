#!/usr/bin/env python3
"""Whether the loopback vendor server could listen on a port, and a free port
for a build folder when its own is taken. Standard library only.

The check does what the server does (SO_REUSEADDR, bind, listen on 127.0.0.1),
so a port that only has connections lingering in TIME_WAIT counts as free,
while any listening socket on it, ours or another program's, counts as busy.

Usage: loopback_port.py free PORT       exit 0 when free, 1 when busy
       loopback_port.py pick [PORT]     print PORT when free, else a free port
"""
import errno
import random
import socket
import sys

# Below Linux's ephemeral range, so an outgoing connection does not take the
# port between the pick and the server's start; above the port the presets use.
PICK_FIRST, PICK_LAST = 18481, 32767
PICK_TRIES = 200


def is_free(port):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    try:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind(('127.0.0.1', port))
        s.listen()
        return True
    except OSError as e:
        if e.errno in (errno.EADDRINUSE, errno.EACCES):
            return False
        raise
    finally:
        s.close()


def pick(preferred=None):
    if preferred and is_free(preferred):
        return preferred
    # Random rather than the next one up, so two checkouts that find the same
    # port busy at the same moment do not both move to the same new one.
    rng = random.SystemRandom()
    for _ in range(PICK_TRIES):
        port = rng.randint(PICK_FIRST, PICK_LAST)
        if is_free(port):
            return port
    return None


def parse_port(text):
    port = int(text)
    if not 0 < port < 65536:
        raise ValueError(text)
    return port


def main(argv):
    try:
        if len(argv) == 2 and argv[0] == 'free':
            return 0 if is_free(parse_port(argv[1])) else 1
        if argv[:1] == ['pick'] and len(argv) <= 2:
            port = pick(parse_port(argv[1]) if len(argv) == 2 else None)
            if port is None:
                print('loopback_port: no free port on 127.0.0.1 in %d-%d' % (PICK_FIRST, PICK_LAST),
                      file=sys.stderr)
                return 2
            print(port)
            return 0
    except ValueError as e:
        print('loopback_port: not a port: %s' % e, file=sys.stderr)
        return 2
    print('Usage:' + __doc__.split('Usage:')[1].rstrip(), file=sys.stderr)
    return 2


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
