/* Shared by the benchmark's small programs. */
#ifndef ORFA_BENCH_OWN_NAME_H
#define ORFA_BENCH_OWN_NAME_H

#include <windows.h>

/* The command line after the program's own name (quoted or not) and the
 * blanks that follow it, as it was given. */
static LPWSTR AfterOwnName(void)
{
    LPWSTR line = GetCommandLineW();
    int quoted = 0;
    while (*line && (quoted || (*line != L' ' && *line != L'\t'))) {
        if (*line == L'"')
            quoted = !quoted;
        ++line;
    }
    while (*line == L' ' || *line == L'\t')
        ++line;
    return line;
}

#endif
