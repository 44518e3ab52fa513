#!/usr/bin/env python3
"""Checks a tw_setup.exe before it leaves: what Windows sees of it (32-bit GUI
program, ASLR and DEP, the manifest, the version resource), that it imports
nothing the reviewed allowlist lacks, that no timestamp, debug information,
placeholder or loopback origin is left in it, and its size.

Usage: exe_check.py EXE [--allowlist FILE] [--version X.Y.Z.W]
Prints the size and one line per fault; exits 0 when there is none, 1 otherwise.
A small PE reader of its own, so the check needs nothing but Python."""
import argparse
import os
import re
import struct
import sys
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import release_origins  # noqa: E402

SOURCE = release_origins.SOURCE
MAX_SIZE = 4 * 1024 * 1024
IMAGE_FILE_MACHINE_I386 = 0x14C
PE32_MAGIC = 0x10B
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2
DYNAMIC_BASE, NX_COMPAT = 0x40, 0x100
RT_VERSION, RT_MANIFEST = 16, 24
SUPPORTED_OS = {
    '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}': 'Windows 7',
    '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}': 'Windows 8',
    '{1f676c76-80e1-4239-95bb-83d0f6d0da78}': 'Windows 8.1',
    '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}': 'Windows 10 and 11',
}
ASM_V1 = '{urn:schemas-microsoft-com:asm.v1}'
ASM_V3 = '{urn:schemas-microsoft-com:asm.v3}'
COMPAT = '{urn:schemas-microsoft-com:compatibility.v1}'


class PeError(Exception):
    pass


class Pe:
    """The headers, sections, imports and resources of a PE32 image."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b'MZ' or len(data) < 0x40:
            raise PeError('not an MZ executable')
        pe = self.u32(0x3C)
        if data[pe:pe + 4] != b'PE\0\0':
            raise PeError('no PE signature')
        (self.machine, sections, self.timestamp, self.symbol_table, self.symbols,
         optional_size, self.characteristics) = struct.unpack_from('<HHIIIHH', data, pe + 4)
        opt = pe + 24
        self.magic = self.u16(opt)
        if self.magic != PE32_MAGIC:
            self.subsystem = self.dll_characteristics = None
            self.directories = []
        else:
            self.subsystem, self.dll_characteristics = struct.unpack_from('<HH', data, opt + 68)
            count = self.u32(opt + 92)
            self.directories = [struct.unpack_from('<II', data, opt + 96 + 8 * i) for i in range(min(count, 16))]
        self.sections = []
        for i in range(sections):
            at = opt + optional_size + 40 * i
            name, vsize, va, raw_size, raw = struct.unpack_from('<8sIIII', data, at)
            self.sections.append((self.section_name(name), va, max(vsize, raw_size), raw, raw_size))

    def section_name(self, raw):
        """A name longer than eight bytes is '/offset' into the string table after the symbols."""
        name = raw.rstrip(b'\0').decode('latin-1')
        if name[:1] == '/' and name[1:].isdigit() and self.symbol_table:
            at = self.symbol_table + 18 * self.symbols + int(name[1:])
            end = self.data.find(b'\0', at)
            if at < len(self.data) and end > at:
                return self.data[at:end].decode('latin-1')
        return name

    def u16(self, at):
        return struct.unpack_from('<H', self.data, at)[0]

    def u32(self, at):
        if at + 4 > len(self.data):
            raise PeError('read past the end at 0x%x' % at)
        return struct.unpack_from('<I', self.data, at)[0]

    def offset(self, rva):
        for _, va, size, raw, raw_size in self.sections:
            if va <= rva < va + size and rva - va < raw_size:
                return raw + rva - va
        raise PeError('address 0x%x lies in no section' % rva)

    def cstring(self, rva):
        at = self.offset(rva)
        end = self.data.index(b'\0', at)
        return self.data[at:end].decode('latin-1')

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def imports(self):
        """[(dll, function or '#ordinal')] in the order of the import table."""
        rva, _ = self.directory(1)
        found = []
        while rva:
            lookup, _, _, name, thunks = struct.unpack_from('<IIIII', self.data, self.offset(rva))
            if not name:
                break
            dll = self.cstring(name)
            at = lookup or thunks
            while True:
                entry = self.u32(self.offset(at))
                if not entry:
                    break
                found.append((dll, '#%d' % (entry & 0xFFFF) if entry & 0x80000000 else self.cstring(entry + 2)))
                at += 4
            rva += 20
        return found

    def resources(self):
        """({(type, name, language): bytes}, [directory timestamps])."""
        rva, _ = self.directory(2)
        found, stamps = {}, []
        if not rva:
            return found, stamps
        base = self.offset(rva)

        def walk(at, path):
            stamps.append(self.u32(at + 4))
            named, ids = struct.unpack_from('<HH', self.data, at + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from('<II', self.data, at + 16 + 8 * i)
                if name & 0x80000000:
                    length = self.u16(base + (name & 0x7FFFFFFF))
                    start = base + (name & 0x7FFFFFFF) + 2
                    key = self.data[start:start + 2 * length].decode('utf-16-le')
                else:
                    key = name
                if target & 0x80000000:
                    if len(path) < 2:
                        walk(base + (target & 0x7FFFFFFF), path + (key,))
                else:
                    data_rva, size = struct.unpack_from('<II', self.data, base + target)
                    start = self.offset(data_rva)
                    found[path + (key,)] = self.data[start:start + size]

        walk(base, ())
        return found, stamps


def version_block(data, at=0):
    """(key, value bytes, [children]) of one VS_VERSIONINFO node."""
    length, value_length, kind = struct.unpack_from('<HHH', data, at)
    end = at + length
    key_end = at + 6
    while data[key_end:key_end + 2] != b'\0\0':
        key_end += 2
    key = data[at + 6:key_end].decode('utf-16-le')
    value_at = (key_end + 2 + 3) & ~3
    value_size = value_length * 2 if kind == 1 else value_length
    value = data[value_at:value_at + value_size]
    children, child = [], (value_at + value_size + 3) & ~3
    while child + 6 <= end:
        child_length = struct.unpack_from('<H', data, child)[0]
        if child_length == 0:
            break
        children.append(version_block(data, child))
        child = (child + child_length + 3) & ~3
    return key, value, children


def version_texts(data):
    """(file version, product version) numbers and the StringFileInfo strings."""
    key, fixed, children = version_block(data)
    if key != 'VS_VERSION_INFO' or len(fixed) < 52 or struct.unpack_from('<I', fixed)[0] != 0xFEEF04BD:
        raise PeError('no VS_FIXEDFILEINFO')
    fms, fls, pms, pls = struct.unpack_from('<IIII', fixed, 8)

    def dotted(ms, ls):
        return '%d.%d.%d.%d' % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    strings = {}
    for child_key, _, tables in children:
        if child_key == 'StringFileInfo':
            for _, _, entries in tables:
                for name, value, _ in entries:
                    strings[name] = value.decode('utf-16-le').rstrip('\0')
    return dotted(fms, fls), dotted(pms, pls), strings


def read_allowlist(path):
    """{(dll lower-case, function)} from 'DLL!Function' lines; '#' starts a comment."""
    allowed = set()
    with open(path, encoding='utf-8') as f:
        for line in f:
            line = line.split('#', 1)[0].strip()
            if line:
                dll, _, function = line.partition('!')
                allowed.add((dll.lower(), function))
    return allowed


def embedded_origins(data):
    """Every scheme://host text in the file, as ASCII or as UTF-16."""
    found = set()
    for text in (data.decode('latin-1'), data.decode('utf-16-le', 'replace'), data[1:].decode('utf-16-le', 'replace')):
        for m in re.finditer(r'https?://(\[[0-9A-Fa-f:.]*\]|[A-Za-z0-9.-]+)', text):
            found.add((m.group(0), m.group(1).lower()))
    return found


def check_manifest(text, version, faults):
    try:
        root = ET.fromstring(text)
    except ET.ParseError as e:
        faults.append('manifest: not XML (%s)' % e)
        return
    identity = root.find(ASM_V1 + 'assemblyIdentity')
    if identity is None or identity.get('version') != version:
        faults.append('manifest: the assembly version is %s, not %s'
                      % (None if identity is None else identity.get('version'), version))
    levels = [e.get('level') for e in root.iter(ASM_V3 + 'requestedExecutionLevel')]
    if levels != ['requireAdministrator']:
        faults.append('manifest: asks for %s, not requireAdministrator' % levels)
    controls = [e for e in root.iter(ASM_V1 + 'assemblyIdentity')
                if e.get('name') == 'Microsoft.Windows.Common-Controls' and e.get('version', '').startswith('6.')]
    if not controls:
        faults.append('manifest: no dependency on common controls version 6')
    named = {e.get('Id', '').lower() for e in root.iter(COMPAT + 'supportedOS')}
    for guid, system in SUPPORTED_OS.items():
        if guid not in named:
            faults.append('manifest: %s is not among the supported systems' % system)


def check(path, allowlist, version):
    """[faults] of the exe at PATH, and its size."""
    with open(path, 'rb') as f:
        data = f.read()
    faults = []
    try:
        pe = Pe(data)
    except (PeError, struct.error) as e:
        return ['not a PE file: %s' % e], len(data)
    if pe.machine != IMAGE_FILE_MACHINE_I386 or pe.magic != PE32_MAGIC:
        return ['not a 32-bit x86 program (machine 0x%x, magic 0x%x)' % (pe.machine, pe.magic)], len(data)
    if pe.subsystem != IMAGE_SUBSYSTEM_WINDOWS_GUI:
        faults.append('subsystem %d, not a Windows GUI program' % pe.subsystem)
    if not pe.dll_characteristics & DYNAMIC_BASE:
        faults.append('ASLR is off (no DYNAMIC_BASE)')
    if not pe.dll_characteristics & NX_COMPAT:
        faults.append('DEP is off (no NX_COMPAT)')
    if pe.timestamp:
        faults.append('the PE header holds a timestamp (0x%08x)' % pe.timestamp)
    debug = [name for name, *_ in pe.sections if name.startswith(('.debug', '/', '.zdebug'))]
    if debug or pe.symbols:
        faults.append('debug information left in the exe (%d symbols, sections %s)' % (pe.symbols, debug))
    try:
        imports = pe.imports()
        resources, stamps = pe.resources()
    except (PeError, struct.error, ValueError) as e:
        return faults + ['unreadable tables: %s' % e], len(data)
    for dll, function in imports:
        if (dll.lower(), function) not in allowlist:
            faults.append('import %s!%s is not in the allowlist' % (dll, function))
    if any(stamps):
        faults.append('the resource directories hold a timestamp')
    manifests = [v for k, v in resources.items() if k[0] == RT_MANIFEST]
    if len(manifests) != 1:
        faults.append('%d manifests, expected one' % len(manifests))
    else:
        check_manifest(manifests[0], version, faults)
    versions = [v for k, v in resources.items() if k[0] == RT_VERSION]
    try:
        file_version, product_version, strings = version_texts(versions[0]) if len(versions) == 1 else (None,) * 3
        if file_version is None:
            faults.append('%d version resources, expected one' % len(versions))
        else:
            shown = {'FILEVERSION': file_version, 'PRODUCTVERSION': product_version,
                     'FileVersion': strings.get('FileVersion'), 'ProductVersion': strings.get('ProductVersion')}
            for field, value in shown.items():
                if value != version:
                    faults.append('version resource: %s is %s, not %s' % (field, value, version))
    except (PeError, struct.error, UnicodeDecodeError) as e:
        faults.append('version resource unreadable: %s' % e)
    placeholders = {re.sub(r'^[a-z]+://', '', v) for _, v in release_origins.origin_names()}
    for text, host in sorted(embedded_origins(data)):
        problem = release_origins.host_problem(host)
        if problem and (problem.startswith(('a placeholder', 'a loopback', 'a private')) or host in placeholders):
            faults.append('origin %s in the exe: the host is %s' % (text, problem))
    for host in sorted(placeholders):
        if host.encode('utf-16-le') in data or host.encode() in data:
            faults.append('placeholder host %s in the exe' % host)
    if len(data) >= MAX_SIZE:
        faults.append('%d bytes: not under %d' % (len(data), MAX_SIZE))
    return faults, len(data)


def main(argv):
    parser = argparse.ArgumentParser(description='Checks tw_setup.exe before it ships.')
    parser.add_argument('exe')
    parser.add_argument('--allowlist', default=os.path.join(SOURCE, 'resources', 'exe_imports.allow'))
    parser.add_argument('--version')
    args = parser.parse_args(argv[1:])
    if args.version is None:
        with open(os.path.join(SOURCE, 'VERSION'), encoding='utf-8') as f:
            args.version = f.readline().strip()
    faults, size = check(args.exe, read_allowlist(args.allowlist), args.version)
    print('%s: %d bytes (%.2f MiB, limit %d MiB)' % (args.exe, size, size / 1048576, MAX_SIZE // 1048576))
    for fault in faults:
        print('%s: %s' % (args.exe, fault))
    if not faults:
        print('%s: checked: 32-bit GUI, ASLR and DEP, allowed imports, manifest, version %s, no timestamp, '
              'no debug information, no placeholder or loopback origin' % (args.exe, args.version))
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
