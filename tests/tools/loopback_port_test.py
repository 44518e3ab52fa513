#!/usr/bin/env python3
"""The loopback port check and the vendor server's start and stop, against
ports held here. Every port comes from the kernel (bind to port 0), so this
runs beside any other checkout's tests."""
import os
import socket
import subprocess
import sys
import tempfile
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
PORT_TOOL = os.path.join(HERE, 'loopback_port.py')
SERVER = os.path.join(HERE, 'vendor_server.py')
failures = []


def check(condition, what, detail=''):
    print(('ok     ' if condition else 'FAILED ') + what + ('' if condition else '\n    ' + str(detail)))
    if not condition:
        failures.append(what)


def tool(*args):
    p = subprocess.run([sys.executable, PORT_TOOL, *map(str, args)], capture_output=True, text=True, timeout=60)
    return p.returncode, p.stdout.strip(), p.stderr


def server(*args):
    p = subprocess.run([sys.executable, SERVER, *map(str, args)], capture_output=True, text=True, timeout=60)
    return p.returncode, p.stdout.strip(), p.stderr


def holder(address='127.0.0.1', reuse=False, family=socket.AF_INET):
    """A listening socket on a port the kernel picks."""
    s = socket.socket(family, socket.SOCK_STREAM)
    if reuse:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind((address, 0))
    s.listen()
    return s


def leave_time_wait(s):
    """Closes listener s after one connection that it closed first, which
    leaves that connection in TIME_WAIT on s's port."""
    client = socket.create_connection(s.getsockname()[:2])
    accepted, _ = s.accept()
    accepted.close()
    client.recv(1)
    client.close()
    s.close()


def check_free_tool():
    # The fault guarded: binding with SO_REUSEADDR alone succeeds next to a
    # socket that only lingers, so a check without listen() or with the wrong
    # options would call a port taken by a listening program free, or the
    # port of our own last run busy.
    kinds = (('a plain listener', {}), ('a listener with SO_REUSEADDR', {'reuse': True}),
             ('a listener on every address', {'address': '0.0.0.0'}),
             ('a dual-stack IPv6 listener', {'address': '::', 'family': socket.AF_INET6}))
    for what, options in kinds:
        try:
            s = holder(**options)
        except OSError:
            print('skip   %s: not available here' % what)
            continue
        port = s.getsockname()[1]
        rc, _, _ = tool('free', port)
        check(rc == 1, 'a port held by %s is busy' % what, rc)
        s.close()
        rc, _, _ = tool('free', port)
        check(rc == 0, 'the same port is free once %s closes' % what, rc)

    s = holder(reuse=True)
    port = s.getsockname()[1]
    leave_time_wait(s)
    rc, _, _ = tool('free', port)
    check(rc == 0, 'a port with only a connection in TIME_WAIT is free', rc)

    s = holder()
    port = s.getsockname()[1]
    rc, out, _ = tool('pick', port)
    check(rc == 0 and out.isdigit() and int(out) != port, 'pick moves off a busy port', (rc, out))
    if rc == 0 and out.isdigit():
        rc, _, _ = tool('free', out)
        check(rc == 0, 'the picked port is free', out)
    s.close()
    rc, out, _ = tool('pick', port)
    check(rc == 0 and out == str(port), 'pick keeps a free port', (rc, out, port))
    rc, out, _ = tool('pick')
    check(rc == 0 and out.isdigit(), 'pick without a wish gives a port', (rc, out))
    for bad in (('free',), ('free', 'x'), ('free', 70000), ('pick', 0), ('other',)):
        rc, _, err = tool(*bad)
        check(rc == 2 and 'Traceback' not in err, 'usage error for %s' % ' '.join(map(str, bad)), (rc, err))


def check_server_on_busy_port(root):
    s = holder()
    port = s.getsockname()[1]
    pid_file = os.path.join(root, 'busy.pid')
    for mode, extra in (('in the foreground', ()), ('with --background', ('--pid-file', pid_file, '--background'))):
        rc, out, err = server('--root', root, '--port', port, *extra)
        check(rc != 0, 'the server fails %s on a busy port' % mode, rc)
        check(('port %d' % port) in err and 'busy' in err and 'Traceback' not in err,
              'its message %s names the busy port' % mode, err)
        check(out == '', 'it prints no port %s' % mode, out)
    check(not os.path.exists(pid_file), 'no pid file for a server that never listened')
    s.close()

    # The detached server dies before it is ready: the first process must say so.
    rc, out, _ = server('--root', root, '--port', 0, '--pid-file', os.path.join(root, 'no', 'such.pid'), '--background')
    check(rc != 0 and out == '', 'a background server that dies before it is ready fails the start', (rc, out))


def running(pid):
    try:
        with open('/proc/%d/stat' % pid) as f:
            return f.read().rsplit(')', 1)[1].split()[0] != 'Z'
    except OSError:
        return False


def fetch(port, path):
    with urllib.request.urlopen('http://127.0.0.1:%d%s' % (port, path), timeout=30) as r:
        return r.read()


def check_server_start_and_stop(root):
    pid_file = os.path.join(root, 'server.pid')
    with open(os.path.join(root, 'hello.txt'), 'w') as f:
        f.write('hello')
    rc, out, err = server('--root', root, '--port', 0, '--pid-file', pid_file, '--background')
    check(rc == 0 and out.isdigit(), 'a background server reports its port', (rc, out, err))
    if not (rc == 0 and out.isdigit()):
        return
    port = int(out)
    # The first process has returned: the detached server must answer already.
    check(fetch(port, '/hello.txt') == b'hello', 'the server answers as soon as the start returns')
    with open(pid_file) as f:
        first = int(f.read())

    # A restart with the same pid file ends the first server, then takes its port.
    rc, out, err = server('--root', root, '--port', port, '--pid-file', pid_file, '--background')
    check(rc == 0 and out == str(port), 'a restart on the same port succeeds', (rc, out, err))
    with open(pid_file) as f:
        second = int(f.read())
    check(second != first and not running(first), 'the restart ended the first server', (first, second))
    check(fetch(port, '/hello.txt') == b'hello', 'the restarted server answers')

    rc, _, err = server('--stop', '--pid-file', pid_file)
    check(rc == 0, 'stop succeeds', err)
    rc, _, _ = tool('free', port)
    check(rc == 0, 'the port is free as soon as stop returns', port)

    # A stale pid file must not take down an unrelated process.
    bystander = subprocess.Popen([sys.executable, '-c', 'import sys; sys.stdin.read()'], stdin=subprocess.PIPE)
    with open(pid_file, 'w') as f:
        f.write(str(bystander.pid))
    server('--stop', '--pid-file', pid_file)
    check(bystander.poll() is None, 'stop leaves a process that is not a vendor server alone')
    bystander.stdin.close()
    bystander.wait(timeout=30)


def main():
    check_free_tool()
    with tempfile.TemporaryDirectory() as root:
        check_server_on_busy_port(root)
        check_server_start_and_stop(root)
    if failures:
        print('%d check(s) failed' % len(failures))
        return 1
    print('all checks passed')
    return 0


if __name__ == '__main__':
    sys.exit(main())
