#!/usr/bin/env python3
"""Runs `parcelwright catalog check` on the catalog held in a .case file and
compares its exit code and JSON output with the case's expectations.

A case is a JSON object: "args" (after the file name), "catalog" (the file's
text, a string so that malformed catalogs can be written), "exit", and either
"error" (exact catalogError, absent for a successful load) with "products" (one
object per expected slot, in order, holding only the members to compare), or
"stderr" (text the usage message must contain)."""
import json
import os
import subprocess
import sys
import tempfile


def main(tool, case_path):
    with open(case_path, encoding='utf-8') as f:
        case = json.load(f)
    with tempfile.TemporaryDirectory() as tmp:
        catalog = os.path.join(tmp, 'catalog.json')
        with open(catalog, 'wb') as f:
            f.write(case['catalog'].encode('utf-8'))
        proc = subprocess.run([tool, 'catalog', 'check', catalog, *case.get('args', [])],
                              capture_output=True, timeout=60)
    failures = []
    if proc.returncode != case['exit']:
        failures.append('exit code %d, expected %d' % (proc.returncode, case['exit']))
    if 'stderr' in case:
        if case['stderr'] not in proc.stderr.decode('utf-8'):
            failures.append('stderr lacks %r' % case['stderr'])
        if proc.stdout:
            failures.append('unexpected output on stdout')
    else:
        out = json.loads(proc.stdout.decode('utf-8'))
        if out.get('error') != case.get('error'):
            failures.append('error %r, expected %r' % (out.get('error'), case.get('error')))
        products = out['products']
        expected = case['products']
        if len(products) != len(expected):
            failures.append('%d products, expected %d' % (len(products), len(expected)))
        for i, (got, want) in enumerate(zip(products, expected)):
            for key, value in want.items():
                if got.get(key, '<missing>') != value:
                    failures.append('product %d: %s is %r, expected %r' % (i, key, got.get(key), value))
        keys = ['puc_type', 'puc_name', 'version', 'order', 'support_os', 'os_supported', 'env_mask', 'runname',
                'run_arguments', 'has_package', 'has_home_page', 'selected', 'eligible', 'status_text', 'home_url',
                'icon', 'download_url', 'download_sha256', 'update_description', 'error_url', 'complete_url']
        for i, got in enumerate(products):
            if list(got.keys()) != keys:
                failures.append('product %d has members %s' % (i, list(got.keys())))
    for f in failures:
        print('FAILED ' + f)
    if failures:
        print('output was: ' + proc.stdout.decode('utf-8', 'replace') + proc.stderr.decode('utf-8', 'replace'))
        sys.exit(1)
    print('ok')


if __name__ == '__main__':
    main(sys.argv[1], sys.argv[2])
