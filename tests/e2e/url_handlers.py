"""Recording stand-ins as the handlers of URL schemes in the tests' prefix: a
link the program opens then starts no browser, and the address it asked for is
kept in the stand-in's "<exe>.args". Standard library only."""
import subprocess


def _key(scheme):
    # HKLM, not HKCU: Wine's own http/https handlers live there and a 32-bit
    # program sees this key too.
    return 'HKLM\\Software\\Classes\\' + scheme


def _reg(session_or_env, wine_run, wine_root, *arguments):
    # A Session carries its display in .env; the registry tool must run on the
    # same one, or it may start a Wine desktop that takes the tests' windows.
    env = getattr(session_or_env, 'env', session_or_env)
    return subprocess.run([wine_run, wine_root, 'reg', *arguments], env=env,
                          capture_output=True, timeout=120)


def register(session_or_env, wine_run, wine_root, scheme, exe_windows_path):
    """Makes exe_windows_path the handler of scheme: it is started as "<exe>" "<address>"."""
    key = _key(scheme)
    for arguments in (['add', key, '/ve', '/d', 'URL:' + scheme, '/f'],
                      ['add', key, '/v', 'URL Protocol', '/d', '', '/f'],
                      ['add', key + '\\shell\\open\\command', '/ve', '/d', '"%s" "%%1"' % exe_windows_path, '/f']):
        proc = _reg(session_or_env, wine_run, wine_root, *arguments)
        if proc.returncode != 0:
            raise RuntimeError('reg %s failed: %s' % (' '.join(arguments), proc.stderr.decode('utf-8', 'replace')))


def unregister(session_or_env, wine_run, wine_root, scheme):
    """Deletes the scheme's key (for http and https that removes Wine's own browser handler too)."""
    _reg(session_or_env, wine_run, wine_root, 'delete', _key(scheme), '/f')  # fails harmlessly when absent
    if _reg(session_or_env, wine_run, wine_root, 'query', _key(scheme)).returncode == 0:
        raise RuntimeError('reg delete %s left the key' % _key(scheme))


def recorded(stand_in_unix_path):
    """The command lines the stand-in was started with, oldest first."""
    try:
        with open(stand_in_unix_path + '.args', 'rb') as f:
            return f.read().decode('utf-8').splitlines()
    except FileNotFoundError:
        return []


def saved(session_or_env, wine_run, wine_root, scheme):
    """The scheme's open command as it is now, None when the scheme has no key."""
    proc = _reg(session_or_env, wine_run, wine_root, 'query', _key(scheme) + '\\shell\\open\\command', '/ve')
    if proc.returncode != 0:
        return None
    for line in proc.stdout.decode('utf-8', 'replace').splitlines():
        fields = line.strip().split(None, 2)
        if len(fields) == 3 and fields[1].startswith('REG_'):
            return fields[2]
    return ''


def restore(session_or_env, wine_run, wine_root, scheme, command):
    """Puts back what saved() returned, so Wine's own handlers survive a test."""
    if command is None:
        unregister(session_or_env, wine_run, wine_root, scheme)
        return
    _reg(session_or_env, wine_run, wine_root, 'add', _key(scheme) + '\\shell\\open\\command', '/ve', '/d', command,
         '/f')
