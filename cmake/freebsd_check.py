#!/usr/bin/env python3
"""freebsd_check.py READELF LIBC PROGRAM...

Checks programs cross-built for FreeBSD against the sysroot's libc.so.7 (LIBC): each
program needs libc.so.7 alone, every symbol it binds is exported by LIBC under the same
version, and nothing refers to an unwinder (libgcc_s). Prints one line per fault, naming
the program and the symbol, and exits with 1 when there is any."""
import os
import re
import subprocess
import sys

UNWINDER = re.compile(r'__aeabi_unwind_cpp_pr|_Unwind_')


def readelf(tool, path, *options):
    run = subprocess.run([tool, '-W', *options, path], capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit(f'FreeBSD check: {tool} cannot read {path}: {run.stderr.strip()}')
    return run.stdout


def symbols(text):
    """(name, version, binding, defined) of every named entry of the symbol tables printed."""
    for line in text.splitlines():
        fields = line.split()
        if len(fields) == 8 and re.fullmatch(r'\d+:', fields[0]):
            name, _, version = fields[7].partition('@')
            yield name, version.lstrip('@'), fields[4], fields[6] != 'UND'


def main(tool, libc, programs):
    exported = {(name, version) for name, version, _, defined in symbols(readelf(tool, libc, '--dyn-syms'))
                if defined and version}
    faults = []
    for path in programs:
        program = os.path.basename(path)
        needed = re.findall(r'\(NEEDED\).*\[(.*)\]', readelf(tool, path, '--dynamic'))
        if needed != ['libc.so.7']:
            faults.append(f'{program} needs {", ".join(needed) or "no library"}; libc.so.7 alone is wanted')
        for name, version, binding, defined in symbols(readelf(tool, path, '--dyn-syms')):
            if version and (name, version) not in exported:
                faults.append(f'{program} binds {name}@{version}, which {libc} does not export')
            elif not version and not defined and binding != 'WEAK':
                faults.append(f'{program} binds {name} with no version, so from no FreeBSD libc')
        for name in sorted({s[0] for s in symbols(readelf(tool, path, '--syms', '--dyn-syms'))}):
            if UNWINDER.match(name):
                faults.append(f'{program} refers to the unwinder: {name}')
    for fault in faults:
        print(f'FreeBSD check: {fault}')
    if not faults:
        print(f'FreeBSD check: {", ".join(map(os.path.basename, programs))} bind only what {libc} exports')
    return 1 if faults else 0


if __name__ == '__main__':
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2], sys.argv[3:]))
