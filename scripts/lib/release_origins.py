#!/usr/bin/env python3
"""The eleven origins a shipped tw_setup.exe talks to, read from the vendor's
origins file and refused unless each is a public origin users can reach.

Usage: release_origins.py ORIGINS_FILE
On success prints one -DNAME=VALUE argument a line for cmake; otherwise names
each faulty line on standard error and exits 2. The names and the placeholder
values come from the cache variables in CMakeLists.txt, so the two cannot drift.
The exe check uses the same host rule on the strings of the built program."""
import ipaddress
import os
import re
import sys

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

# The program downloads code and prerequisites from these: never over plain http.
HTTPS_ONLY = ('TW_VENDOR_ORIGIN', 'TW_MS_LINK_ORIGIN', 'TW_MS_SHORTLINK_ORIGIN', 'TW_MS_DOWNLOAD_ORIGIN')

# Names reserved for documentation, tests and local networks: no user's
# machine reaches a vendor there.
RESERVED_SUFFIXES = {
    'example': 'a placeholder name (.example)',
    'invalid': 'a reserved name (.invalid)',
    'test': 'a reserved name (.test)',
    'localhost': 'a loopback name',
    'local': 'a local network name (.local)',
    'internal': 'a local network name (.internal)',
    'home.arpa': 'a local network name (.home.arpa)',
}

LABEL = re.compile(r'[a-z0-9](?:[a-z0-9-]{0,61}[a-z0-9])?\Z')
ORIGIN = re.compile(r'(?P<scheme>[^:/?#]*)://(?P<host>\[[^\]/?#]*\]|[^:/?#\[\]]*)'
                    r'(?::(?P<port>[^/?#]*))?(?P<rest>.*)\Z', re.S)


def origin_names(source=SOURCE):
    """[(name, placeholder)] in the order CMakeLists.txt declares them."""
    with open(os.path.join(source, 'CMakeLists.txt'), encoding='utf-8') as f:
        text = f.read()
    return re.findall(r'set\((TW_[A-Z_]+_ORIGIN) "([^"]*)" CACHE STRING', text)


def host_problem(host):
    """Why users could not reach HOST as a vendor's server, or None."""
    if host.startswith('['):
        try:
            address = ipaddress.IPv6Address(host[1:-1])
        except ValueError:
            return 'not an IPv6 address'
    elif re.fullmatch(r'[0-9.]+', host):
        try:
            address = ipaddress.IPv4Address(host)
        except ValueError:
            return 'not an IPv4 address'
    else:
        labels = host.split('.')
        if not all(LABEL.match(label) for label in labels) or len(host) > 253:
            return 'not a host name (lower-case letters, digits and hyphens between dots)'
        for suffix, what in RESERVED_SUFFIXES.items():
            if host == suffix or host.endswith('.' + suffix):
                return what
        if len(labels) < 2:
            return 'a single-label name only a local network resolves'
        return None
    if address.is_loopback:
        return 'a loopback address'
    if address.is_unspecified:
        return 'the unspecified address'
    if not address.is_global:
        return 'a private or reserved address'
    return None


def value_problem(name, value):
    """Why VALUE is not an origin NAME may use, or None."""
    if any(c.isspace() for c in value):
        return 'spaces are not allowed'
    m = ORIGIN.match(value)
    if not m or m['scheme'] not in ('http', 'https'):
        if m and m['scheme'].lower() in ('http', 'https'):
            return 'write the scheme in lower case'
        return 'an origin starts with http:// or https://'
    if name in HTTPS_ONLY and m['scheme'] != 'https':
        return 'this origin must use https://'
    rest = m['rest']
    if '@' in value.split('//', 1)[1].split('/', 1)[0]:
        return 'no user name or password in an origin'
    if rest == '/':
        return 'no trailing slash'
    if rest.startswith('/'):
        return 'no path: the program adds its own paths'
    if rest.startswith('?'):
        return 'no query'
    if rest.startswith('#'):
        return 'no fragment'
    if rest:
        return 'not an origin'
    port = m['port']
    if port is not None and not re.fullmatch(r'[1-9][0-9]{0,4}', port) or port and int(port) > 65535:
        return 'the port must be a number from 1 to 65535'
    host = m['host']
    if not host:
        return 'no host'
    if host != host.lower():
        return 'write the host in lower case'
    problem = host_problem(host)
    return problem and 'the host is ' + problem


def read_origins(path, names):
    """({name: value} in NAMES order, [error lines]) for the file at PATH."""
    try:
        with open(path, 'rb') as f:
            text = f.read().decode('utf-8')
    except (OSError, UnicodeDecodeError) as e:
        return {}, ['%s: cannot read the origins file: %s' % (path, e)]
    origins, seen, errors = {}, {}, []
    for number, line in enumerate(text.split('\n'), 1):
        line = line[:-1] if line.endswith('\r') else line
        if not line.strip() or line.lstrip().startswith('#'):
            continue
        where = '%s:%d: ' % (path, number)
        name, equals, value = line.partition('=')
        if not equals:
            errors.append(where + 'expected NAME=scheme://host[:port], found "%s"' % line)
            continue
        if name not in names:
            errors.append(where + '%s is not one of the origin names (%s)' % (name, ', '.join(names)))
            continue
        if name in seen:
            errors.append(where + '%s is given again (first on line %d)' % (name, seen[name]))
            continue
        seen[name] = number
        problem = value_problem(name, value)
        if problem:
            errors.append(where + '%s=%s: %s' % (name, value, problem))
        origins[name] = value
    for name in names:
        if name not in seen:
            errors.append('%s: %s is missing' % (path, name))
    return {n: origins[n] for n in names if n in origins}, errors


def main(argv):
    if len(argv) != 2:
        print('usage: release_origins.py ORIGINS_FILE', file=sys.stderr)
        return 2
    names = [name for name, _ in origin_names()]
    origins, errors = read_origins(argv[1], names)
    if errors:
        print('\n'.join(errors), file=sys.stderr)
        return 2
    for name, value in origins.items():
        print('-D%s=%s' % (name, value))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
