/* The floor of the benchmark: a bare program that carries the payload as its
 * own resource (ORFM, type COK) and writes it to the file its command line
 * names (everything after its own name), in large writes straight from the
 * mapped image. Nothing else: no checks, no temporary file, no window, no
 * DLL beyond kernel32. Exit code 0 on success, else the system error code.
 * Built by tools/bench.sh with page-aligned sections. */
#include <windows.h>

#include "own_name.h"

/* The command line after the program's own name, quotes removed: the path. */
static LPWSTR TargetPath(void)
{
    LPWSTR line = AfterOwnName(), out, in;
    for (in = out = line; *in; ++in)
        if (*in != L'"')
            *out++ = *in;
    *out = 0;
    return line;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE prev, LPSTR cmd, int show)
{
    (void)prev; (void)cmd; (void)show;
    LPWSTR target = TargetPath();
    if (!*target)
        return ERROR_INVALID_PARAMETER;
    HRSRC found = FindResourceW(instance, L"ORFM", L"COK");
    HGLOBAL loaded = found ? LoadResource(instance, found) : NULL;
    const char *data = loaded ? (const char *)LockResource(loaded) : NULL;
    if (!data)
        return (int)GetLastError();
    DWORD left = SizeofResource(instance, found);
    HANDLE file = CreateFileW(target, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return (int)GetLastError();
    while (left > 0) {
        DWORD chunk = left > (8u << 20) ? (8u << 20) : left, written = 0;
        if (!WriteFile(file, data, chunk, &written, NULL) || written == 0) {
            DWORD error = GetLastError();
            CloseHandle(file);
            return (int)error;
        }
        data += written;
        left -= written;
    }
    if (!CloseHandle(file))
        return (int)GetLastError();
    return 0;
}
