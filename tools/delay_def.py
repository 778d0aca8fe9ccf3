#!/usr/bin/env python3
"""Writes the module-definition file of a system DLL from the toolchain's
import library, for dlltool to make a delay-import library of it:

    delay_def.py NM IMPORT_LIB DLL_NAME OUTPUT_DEF

Every function the import library offers (`__imp__Name@N`) becomes an export
`Name@N`; a symbol without its call thunk is data (DATA). The output is sorted,
so that the build stays reproducible."""
import subprocess
import sys


def main() -> int:
    nm, library, dll, output = sys.argv[1:5]
    listing = subprocess.run([nm, library], capture_output=True, text=True, check=True).stdout
    imports, thunks = set(), set()
    for line in listing.splitlines():
        parts = line.split()
        if len(parts) != 3:
            continue
        _, kind, symbol = parts
        if kind == "I" and symbol.startswith("__imp__"):
            imports.add(symbol[len("__imp__"):])
        elif kind == "T" and symbol.startswith("_"):
            thunks.add(symbol[1:])
    if not imports:
        print(f"delay_def: no imports in {library}", file=sys.stderr)
        return 1
    lines = [f"LIBRARY {dll}", "EXPORTS"]
    lines += [f"  {name}" + ("" if name in thunks else " DATA") for name in sorted(imports)]
    with open(output, "w", encoding="ascii", newline="\n") as out:
        out.write("\n".join(lines) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
