"""Called first by every test module: without Wine, Xvfb or the built
executables the whole module is skipped (exit code 77, which ctest reports as
skipped) instead of failing."""
import sys

import harness


def require(installer: bool = True) -> None:
    reason = harness.unavailable_reason(installer)
    if reason:
        print(f"e2e: skipped: {reason}", file=sys.stderr)
        sys.exit(77)
