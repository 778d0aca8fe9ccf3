/* Starts a program and reports its peak private memory: polls
 * GetProcessMemoryInfo while the process runs (Wine reports zeros once it has
 * ended) and keeps the largest PrivateUsage and PeakPagefileUsage seen.
 *
 *   memwatch.exe program.exe [arguments...]
 *
 * Prints one line "peak_private=<bytes> peak_pagefile=<bytes> exit=<code>
 * samples=<n>" and exits with the program's exit code (255 when it could not
 * be started). */
#include <windows.h>
#include <psapi.h>
#include <stdio.h>
#include <wchar.h>

#include "own_name.h"

int main(void)
{
    LPWSTR line = AfterOwnName();
    if (!*line) {
        fprintf(stderr, "usage: memwatch program.exe [arguments...]\n");
        return 255;
    }
    STARTUPINFOW si;
    PROCESS_INFORMATION pi;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    if (!CreateProcessW(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
        fprintf(stderr, "memwatch: cannot start the program (error %lu)\n", GetLastError());
        return 255;
    }
    SIZE_T peak_private = 0, peak_pagefile = 0;
    unsigned long samples = 0;
    for (;;) {
        PROCESS_MEMORY_COUNTERS_EX pmc;
        ZeroMemory(&pmc, sizeof pmc);
        pmc.cb = sizeof pmc;
        if (GetProcessMemoryInfo(pi.hProcess, (PROCESS_MEMORY_COUNTERS *)&pmc, sizeof pmc)) {
            if (pmc.PrivateUsage > peak_private)
                peak_private = pmc.PrivateUsage;
            if (pmc.PeakPagefileUsage > peak_pagefile)
                peak_pagefile = pmc.PeakPagefileUsage;
            ++samples;
        }
        if (WaitForSingleObject(pi.hProcess, 1) != WAIT_TIMEOUT)
            break;
    }
    DWORD code = 255;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    printf("peak_private=%llu peak_pagefile=%llu exit=%lu samples=%lu\n",
           (unsigned long long)peak_private, (unsigned long long)peak_pagefile,
           (unsigned long)code, samples);
    fflush(stdout);
    return (int)code;
}
