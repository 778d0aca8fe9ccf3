/* The floors of the benchmark: a bare program that carries the payload as its
 * own resource (ORFM, type COK) and writes it to the file its command line
 * names (everything after its own name), in large writes straight from the
 * mapped image. Nothing else: no checks, no window, no DLL beyond kernel32.
 *
 *   bare_writer.exe PATH             writes PATH (the plain floor)
 *   bare_writer.exe /durable PATH    writes "~" + the file name beside PATH,
 *                                    flushes it to the disk and moves it over
 *                                    PATH in one step, written through (the
 *                                    durable floor: what a safe replacement
 *                                    cannot do without)
 *
 * Exit code 0 on success, else the system error code. Built by
 * tools/bench.sh with page-aligned sections. */
#include <windows.h>

#include "own_name.h"

static const WCHAR durable_switch[] = L"/durable ";

/* The command line after the program's own name and the durable switch,
 * quotes removed: the path. */
static LPWSTR TargetPath(BOOL *durable)
{
    LPWSTR line = AfterOwnName(), out, in;
    int i = 0;
    while (durable_switch[i] && line[i] == durable_switch[i])
        ++i;
    *durable = !durable_switch[i];
    if (*durable)
        line += i;
    for (in = out = line; *in; ++in)
        if (*in != L'"')
            *out++ = *in;
    *out = 0;
    return line;
}

/* PATH with "~" before its file name, in a buffer of the process's heap. */
static LPWSTR TempPathFor(LPCWSTR path)
{
    size_t length = (size_t)lstrlenW(path), name = length;
    while (name > 0 && path[name - 1] != L'\\')
        --name;
    LPWSTR temp = HeapAlloc(GetProcessHeap(), 0, (length + 2) * sizeof(WCHAR));
    if (!temp)
        return NULL;
    CopyMemory(temp, path, name * sizeof(WCHAR));
    temp[name] = L'~';
    CopyMemory(temp + name + 1, path + name, (length - name + 1) * sizeof(WCHAR));
    return temp;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE prev, LPSTR cmd, int show)
{
    (void)prev; (void)cmd; (void)show;
    BOOL durable = FALSE;
    LPWSTR target = TargetPath(&durable);
    if (!*target)
        return ERROR_INVALID_PARAMETER;
    LPWSTR written_path = durable ? TempPathFor(target) : target;
    if (!written_path)
        return ERROR_NOT_ENOUGH_MEMORY;
    HRSRC found = FindResourceW(instance, L"ORFM", L"COK");
    HGLOBAL loaded = found ? LoadResource(instance, found) : NULL;
    const char *data = loaded ? (const char *)LockResource(loaded) : NULL;
    if (!data)
        return (int)GetLastError();
    DWORD left = SizeofResource(instance, found);
    HANDLE file = CreateFileW(written_path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
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
    if (durable && !FlushFileBuffers(file)) {
        DWORD error = GetLastError();
        CloseHandle(file);
        return (int)error;
    }
    if (!CloseHandle(file))
        return (int)GetLastError();
    if (durable && !MoveFileExW(written_path, target,
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return (int)GetLastError();
    return 0;
}
