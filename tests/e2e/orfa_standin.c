/* A stand-in for the product's executable in end-to-end runs. Installed as
 * "orfa.exe" in the sample product folder, it records every start and can
 * behave like a running product: hold the named mapping "orfa_memfile", own a
 * top-level window of the class "TOrfaMainForm" and keep a file open without
 * sharing, until it receives WM_QUIT.
 *
 * Options come from the command line, else from "orfa_standin.cfg" beside the
 * executable (one "key=value" a line, same keys without the dashes):
 *   --log PATH        where to append the JSON event lines; default: the
 *                     environment variable ORFA_STANDIN_LOG, else
 *                     "orfa_standin.log" beside the executable
 *   --mapping         hold the mapping "orfa_memfile" (64 bytes)
 *   --window          create the window of the class "TOrfaMainForm"
 *   --lock PATH       keep PATH open for reading with no sharing
 *   --ignore-quit     log WM_QUIT but keep running (and the file locked)
 *   --quit-delay MS   on WM_QUIT, keep running (and the file locked) MS ms
 *                     more, as a product that first saves its work
 *   --ready PATH      create PATH once everything above is in place
 *   --stop PATH       exit when PATH exists
 *   --lifetime SEC    exit after SEC seconds at the latest (default 60)
 * With none of --mapping, --window and --lock it records its start and exits. */
#include <windows.h>
#include <shellapi.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

typedef struct {
  wchar_t* log;
  wchar_t* lock;
  wchar_t* ready;
  wchar_t* stop;
  int mapping;
  int window;
  int ignore_quit;
  DWORD quit_delay_ms;
  DWORD lifetime_ms;
  int any_option;
} Options;

static wchar_t* wcopy(const wchar_t* s, size_t n) {
  wchar_t* c = (wchar_t*)calloc(n + 1, sizeof(wchar_t));
  if (!c) ExitProcess(4);
  memcpy(c, s, n * sizeof(wchar_t));
  return c;
}

static wchar_t* wconcat(const wchar_t* a, const wchar_t* b) {
  size_t na = wcslen(a), nb = wcslen(b);
  wchar_t* c = (wchar_t*)calloc(na + nb + 1, sizeof(wchar_t));
  if (!c) ExitProcess(4);
  memcpy(c, a, na * sizeof(wchar_t));
  memcpy(c + na, b, nb * sizeof(wchar_t));
  return c;
}

/* The own executable's full path, freshly allocated. */
static wchar_t* own_path(void) {
  DWORD size = 260;
  for (;;) {
    wchar_t* buf = (wchar_t*)calloc(size, sizeof(wchar_t));
    if (!buf) ExitProcess(4);
    DWORD n = GetModuleFileNameW(NULL, buf, size);
    if (n > 0 && n < size) return buf;
    free(buf);
    if (n == 0) return wcopy(L"", 0);
    size *= 2;
  }
}

static wchar_t* current_dir(void) {
  DWORD size = GetCurrentDirectoryW(0, NULL);
  wchar_t* buf = (wchar_t*)calloc(size + 1, sizeof(wchar_t));
  if (!buf) ExitProcess(4);
  if (size) GetCurrentDirectoryW(size + 1, buf);
  return buf;
}

/* Folder part of a path, with its final backslash. */
static wchar_t* folder_of(const wchar_t* path) {
  const wchar_t* slash = wcsrchr(path, L'\\');
  return slash ? wcopy(path, (size_t)(slash - path) + 1) : wcopy(L"", 0);
}

/* ---- JSON event lines ---- */

static wchar_t* g_log;

static void json_string(char** out, size_t* len, size_t* cap, const wchar_t* w);

static void buf_add(char** out, size_t* len, size_t* cap, const char* s, size_t n) {
  if (*len + n + 1 > *cap) {
    size_t c = *cap ? *cap : 256;
    while (*len + n + 1 > c) c *= 2;
    char* grown = (char*)realloc(*out, c);
    if (!grown) ExitProcess(4);
    *out = grown;
    *cap = c;
  }
  memcpy(*out + *len, s, n);
  *len += n;
  (*out)[*len] = '\0';
}

static void json_string(char** out, size_t* len, size_t* cap, const wchar_t* w) {
  buf_add(out, len, cap, "\"", 1);
  for (; *w; ++w) {
    char esc[8];
    switch (*w) {
      case L'"': buf_add(out, len, cap, "\\\"", 2); continue;
      case L'\\': buf_add(out, len, cap, "\\\\", 2); continue;
      default: break;
    }
    if (*w < 0x20) {
      snprintf(esc, sizeof esc, "\\u%04x", (unsigned)*w);
      buf_add(out, len, cap, esc, strlen(esc));
      continue;
    }
    int units = (*w >= 0xD800 && *w <= 0xDBFF && w[1] >= 0xDC00 && w[1] <= 0xDFFF) ? 2 : 1;
    int n = WideCharToMultiByte(CP_UTF8, 0, w, units, esc, (int)sizeof esc, NULL, NULL);
    if (n > 0) buf_add(out, len, cap, esc, (size_t)n);
    if (units == 2) ++w;
  }
  buf_add(out, len, cap, "\"", 1);
}

/* Appends {"event":EVENT,"pid":N, KEY:VALUE...} with wide string values. */
static void log_event(const char* event, int pairs, ...) {
  char* out = NULL;
  size_t len = 0, cap = 0;
  char head[96];
  snprintf(head, sizeof head, "{\"event\":\"%s\",\"pid\":%lu,\"t\":%lu", event,
           (unsigned long)GetCurrentProcessId(), (unsigned long)GetTickCount());
  buf_add(&out, &len, &cap, head, strlen(head));
  va_list ap;
  va_start(ap, pairs);
  for (int i = 0; i < pairs; ++i) {
    const char* key = va_arg(ap, const char*);
    const wchar_t* value = va_arg(ap, const wchar_t*);
    buf_add(&out, &len, &cap, ",\"", 2);
    buf_add(&out, &len, &cap, key, strlen(key));
    buf_add(&out, &len, &cap, "\":", 2);
    json_string(&out, &len, &cap, value ? value : L"");
  }
  va_end(ap);
  buf_add(&out, &len, &cap, "}\n", 2);

  HANDLE f = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 50 && f == INVALID_HANDLE_VALUE; ++attempt) {
    f = CreateFileW(g_log, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (f == INVALID_HANDLE_VALUE) Sleep(20);
  }
  if (f != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(f, out, (DWORD)len, &written, NULL);
    CloseHandle(f);
  }
  free(out);
}

/* ---- options ---- */

static int set_option(Options* o, const wchar_t* key, const wchar_t* value) {
  if (!wcscmp(key, L"mapping")) o->mapping = 1;
  else if (!wcscmp(key, L"window")) o->window = 1;
  else if (!wcscmp(key, L"ignore-quit")) o->ignore_quit = 1;
  else if (!value) return 0;
  else if (!wcscmp(key, L"log")) o->log = wcopy(value, wcslen(value));
  else if (!wcscmp(key, L"lock")) o->lock = wcopy(value, wcslen(value));
  else if (!wcscmp(key, L"ready")) o->ready = wcopy(value, wcslen(value));
  else if (!wcscmp(key, L"stop")) o->stop = wcopy(value, wcslen(value));
  else if (!wcscmp(key, L"quit-delay")) o->quit_delay_ms = (DWORD)wcstoul(value, NULL, 10);
  else if (!wcscmp(key, L"lifetime")) o->lifetime_ms = (DWORD)(wcstoul(value, NULL, 10) * 1000u);
  else return 0;
  o->any_option = 1;
  return 1;
}

static int takes_value(const wchar_t* key) {
  return wcscmp(key, L"mapping") && wcscmp(key, L"window") && wcscmp(key, L"ignore-quit");
}

/* Reads "key=value" lines (UTF-8) from the configuration file, when there is one. */
static void read_config(Options* o, const wchar_t* path) {
  HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, NULL);
  if (f == INVALID_HANDLE_VALUE) return;
  char* bytes = NULL;
  size_t len = 0, cap = 0;
  char chunk[1024];
  DWORD got = 0;
  while (ReadFile(f, chunk, sizeof chunk, &got, NULL) && got > 0) buf_add(&bytes, &len, &cap, chunk, got);
  CloseHandle(f);
  if (!bytes) return;
  int n = MultiByteToWideChar(CP_UTF8, 0, bytes, -1, NULL, 0);
  wchar_t* text = (wchar_t*)calloc((size_t)(n > 0 ? n : 1), sizeof(wchar_t));
  if (!text) ExitProcess(4);
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, bytes, -1, text, n);
  free(bytes);
  wchar_t* line = text;
  while (*line) {
    wchar_t* end = line + wcscspn(line, L"\r\n");
    wchar_t saved = *end;
    *end = L'\0';
    if (*line && *line != L'#') {
      wchar_t* eq = wcschr(line, L'=');
      if (eq) *eq = L'\0';
      set_option(o, line, eq ? eq + 1 : NULL);
    }
    if (!saved) break;
    line = end + 1;
  }
  free(text);
}

static LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  return DefWindowProcW(hwnd, msg, wp, lp);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR cmdline, int show) {
  (void)previous;
  (void)cmdline;
  (void)show;
  Options o;
  memset(&o, 0, sizeof o);
  o.lifetime_ms = 60000;

  wchar_t* exe = own_path();
  wchar_t* exe_dir = folder_of(exe);
  wchar_t* cwd = current_dir();

  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  int from_command_line = 0;
  for (int i = 1; argv && i < argc; ++i) {
    const wchar_t* a = argv[i];
    if (wcsncmp(a, L"--", 2) != 0) continue; /* plain arguments are only recorded */
    const wchar_t* key = a + 2;
    const wchar_t* value = NULL;
    if (takes_value(key) && i + 1 < argc) value = argv[++i];
    if (set_option(&o, key, value)) from_command_line = 1;
  }
  if (!from_command_line) {
    wchar_t* cfg = wconcat(exe_dir, L"orfa_standin.cfg");
    read_config(&o, cfg);
    free(cfg);
  }

  if (o.log) {
    g_log = o.log;
  } else {
    DWORD n = GetEnvironmentVariableW(L"ORFA_STANDIN_LOG", NULL, 0);
    if (n > 1) {
      g_log = (wchar_t*)calloc(n, sizeof(wchar_t));
      if (!g_log) ExitProcess(4);
      GetEnvironmentVariableW(L"ORFA_STANDIN_LOG", g_log, n);
    } else {
      g_log = wconcat(exe_dir, L"orfa_standin.log");
    }
  }
  log_event("start", 4, "exe", exe, "exe_dir", exe_dir, "cwd", cwd, "cmdline", GetCommandLineW());
  if (argv) LocalFree(argv);

  if (!o.mapping && !o.window && !o.lock) {
    log_event("exit", 0);
    return 0;
  }

  HANDLE mapping = NULL;
  if (o.mapping) {
    mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 64, "orfa_memfile");
    log_event(mapping ? "mapping" : "mapping-failed", 0);
  }
  HANDLE locked = INVALID_HANDLE_VALUE;
  if (o.lock) {
    locked = CreateFileW(o.lock, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    log_event(locked != INVALID_HANDLE_VALUE ? "locked" : "lock-failed", 1, "path", o.lock);
  }
  HWND window = NULL;
  if (o.window) {
    WNDCLASSW wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = window_proc;
    wc.hInstance = instance;
    wc.lpszClassName = L"TOrfaMainForm";
    RegisterClassW(&wc);
    window = CreateWindowExW(0, L"TOrfaMainForm", L"Orfa", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, NULL, NULL,
                             instance, NULL);
    log_event(window ? "window" : "window-failed", 0);
  }
  if (o.ready) {
    HANDLE r = CreateFileW(o.ready, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (r != INVALID_HANDLE_VALUE) CloseHandle(r);
  }

  DWORD start = GetTickCount();
  const char* reason = "lifetime";
  int quitting = 0;
  DWORD quit_asked = 0;
  for (int running = 1; running;) {
    MsgWaitForMultipleObjects(0, NULL, FALSE, 50, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        log_event(o.ignore_quit ? "quit-ignored" : "quit", 0);
        if (!o.ignore_quit && o.quit_delay_ms > 0) {
          quitting = 1;
          quit_asked = GetTickCount();
        } else if (!o.ignore_quit) {
          reason = "quit";
          running = 0;
          break;
        }
        continue;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (!running) break;
    if (quitting && GetTickCount() - quit_asked >= o.quit_delay_ms) {
      reason = "quit";
      break;
    }
    if (o.stop && GetFileAttributesW(o.stop) != INVALID_FILE_ATTRIBUTES) {
      reason = "stop";
      break;
    }
    if (GetTickCount() - start >= o.lifetime_ms) break;
  }

  if (window) DestroyWindow(window);
  if (locked != INVALID_HANDLE_VALUE) CloseHandle(locked);
  if (mapping) CloseHandle(mapping);
  {
    size_t n = strlen(reason);
    wchar_t* wreason = (wchar_t*)calloc(n + 1, sizeof(wchar_t));
    if (!wreason) ExitProcess(4);
    for (size_t i = 0; i < n; ++i) wreason[i] = (wchar_t)reason[i];
    log_event("exit", 1, "reason", wreason);
    free(wreason);
  }
  return 0;
}
