/* The end-to-end robot: runs beside the installer under Wine, watches for the
 * message boxes of other processes, writes one JSON line per box to a log and
 * answers each box from a script.
 *
 *   robot.exe --log PATH [--answers yes,no,ok] [--answers-file PATH]
 *             [--stop PATH] [--ready PATH] [--timeout SECONDS] [--delay MS]
 *             [--shots FOLDER]
 *
 * A box is a visible top-level window of the class "#32770" that belongs to
 * another process. Each answer names the button to press: "yes", "no", "ok",
 * "cancel", or "leave" (the box is logged and left open). When the script is
 * used up, or its answer has no button on the box, the robot presses No, else
 * OK, else Cancel. It exits with 0 when the stop file appears and with 3 when
 * the timeout runs out first; 2 on a bad command line. With --shots, each box
 * is copied from the screen before it is answered, into FOLDER\box-SEQ.bmp
 * (32-bit, top-down), and its log line names the file under "shot". */
#include <windows.h>
#include <shellapi.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#define POLL_MS 40
#define RETRY_MS 1500

/* ---- growable UTF-8 text ---- */

typedef struct {
  char* data;
  size_t len;
  size_t cap;
} Text;

static void text_reserve(Text* t, size_t extra) {
  if (t->len + extra + 1 <= t->cap) return;
  size_t cap = t->cap ? t->cap : 256;
  while (cap < t->len + extra + 1) cap *= 2;
  char* grown = (char*)realloc(t->data, cap);
  if (!grown) ExitProcess(4);
  t->data = grown;
  t->cap = cap;
}

static void text_append(Text* t, const char* s, size_t n) {
  text_reserve(t, n);
  memcpy(t->data + t->len, s, n);
  t->len += n;
  t->data[t->len] = '\0';
}

static void text_puts(Text* t, const char* s) { text_append(t, s, strlen(s)); }

static void text_printf(Text* t, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int n = vsnprintf(NULL, 0, fmt, ap);
  va_end(ap);
  if (n < 0) return;
  text_reserve(t, (size_t)n);
  va_start(ap, fmt);
  vsnprintf(t->data + t->len, (size_t)n + 1, fmt, ap);
  va_end(ap);
  t->len += (size_t)n;
}

static void text_free(Text* t) {
  free(t->data);
  t->data = NULL;
  t->len = t->cap = 0;
}

/* Appends a wide string as a JSON string literal in UTF-8. */
static void text_json_string(Text* t, const wchar_t* w) {
  text_puts(t, "\"");
  for (; *w; ++w) {
    wchar_t c = *w;
    switch (c) {
      case L'"': text_puts(t, "\\\""); continue;
      case L'\\': text_puts(t, "\\\\"); continue;
      case L'\r': text_puts(t, "\\r"); continue;
      case L'\n': text_puts(t, "\\n"); continue;
      case L'\t': text_puts(t, "\\t"); continue;
      default: break;
    }
    if (c < 0x20) {
      text_printf(t, "\\u%04x", (unsigned)c);
      continue;
    }
    /* One UTF-16 unit, or a surrogate pair, to UTF-8. */
    int units = (c >= 0xD800 && c <= 0xDBFF && w[1] >= 0xDC00 && w[1] <= 0xDFFF) ? 2 : 1;
    char out[8];
    int n = WideCharToMultiByte(CP_UTF8, 0, w, units, out, (int)sizeof out, NULL, NULL);
    if (n > 0) text_append(t, out, (size_t)n);
    if (units == 2) ++w;
  }
  text_puts(t, "\"");
}

/* ---- window texts ---- */

/* The window's text, freshly allocated; never NULL. */
static wchar_t* window_text(HWND hwnd) {
  int len = GetWindowTextLengthW(hwnd);
  if (len < 0) len = 0;
  size_t size = (size_t)len + 1;
  wchar_t* buf = (wchar_t*)calloc(size, sizeof(wchar_t));
  if (!buf) ExitProcess(4);
  if (len > 0) GetWindowTextW(hwnd, buf, (int)size);
  return buf;
}

static int class_is(HWND hwnd, const wchar_t* name) {
  wchar_t cls[64];
  int n = GetClassNameW(hwnd, cls, (int)(sizeof cls / sizeof cls[0]));
  return n > 0 && _wcsicmp(cls, name) == 0;
}

/* ---- icons ----
 * The icon's handle belongs to the box's process and cannot be read from
 * here, so the icon is told by its pixels: the icon control's area is copied
 * from the screen and compared with each system icon drawn on the same
 * background. */

typedef struct {
  HDC dc;
  HBITMAP bitmap;
  HGDIOBJ old;
  unsigned char* bits; /* 32-bit pixels, top-down */
} Canvas;

static int canvas_open(Canvas* c, int w, int h) {
  BITMAPINFO bi;
  memset(&bi, 0, sizeof bi);
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = NULL;
  c->dc = CreateCompatibleDC(NULL);
  c->bitmap = CreateDIBSection(NULL, &bi, DIB_RGB_COLORS, &bits, NULL, 0);
  if (!c->dc || !c->bitmap) {
    if (c->bitmap) DeleteObject(c->bitmap);
    if (c->dc) DeleteDC(c->dc);
    return 0;
  }
  c->old = SelectObject(c->dc, c->bitmap);
  c->bits = (unsigned char*)bits;
  return 1;
}

static void canvas_close(Canvas* c) {
  SelectObject(c->dc, c->old);
  DeleteObject(c->bitmap);
  DeleteDC(c->dc);
}

static int pixel_differs(const unsigned char* a, const unsigned char* b) {
  int d = 0;
  for (int k = 0; k < 3; ++k) d += a[k] > b[k] ? a[k] - b[k] : b[k] - a[k];
  return d > 24;
}

static const char* icon_name(HWND icon_control) {
  if (!icon_control) return "none";
  RECT r;
  if (!GetWindowRect(icon_control, &r)) return "present";
  int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0 || w > 256 || h > 256) return "present";
  Canvas shown;
  if (!canvas_open(&shown, w, h)) return "present";
  HDC screen = GetDC(NULL);
  BitBlt(shown.dc, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  ReleaseDC(NULL, screen);
  GdiFlush();

  static const struct {
    WORD id;
    const char* name;
  } known[] = {{32513 /* IDI_HAND */, "error"},
               {32514 /* IDI_QUESTION */, "question"},
               {32515 /* IDI_EXCLAMATION */, "warning"},
               {32516 /* IDI_ASTERISK */, "information"}};
  const char* result = "present";
  long best = (long)w * h / 20 + 1; /* at most 5 % of the pixels may differ */
  const unsigned char* corner = shown.bits;
  COLORREF background = RGB(corner[2], corner[1], corner[0]);
  for (size_t i = 0; i < sizeof known / sizeof known[0]; ++i) {
    Canvas ref;
    if (!canvas_open(&ref, w, h)) break;
    HBRUSH brush = CreateSolidBrush(background);
    RECT all = {0, 0, w, h};
    FillRect(ref.dc, &all, brush);
    DeleteObject(brush);
    DrawIconEx(ref.dc, 0, 0, LoadIconW(NULL, MAKEINTRESOURCEW(known[i].id)), w, h, 0, NULL, DI_NORMAL);
    GdiFlush();
    long differing = 0;
    for (long p = 0; p < (long)w * h; ++p) differing += pixel_differs(shown.bits + 4 * p, ref.bits + 4 * p);
    canvas_close(&ref);
    if (differing < best) {
      best = differing;
      result = known[i].name;
    }
  }
  canvas_close(&shown);
  return result;
}

/* The icon once the box has painted it: a busy machine may show the box
 * before its icon, so an icon that matches none is looked at again a few
 * times. */
static const char* settled_icon_name(HWND box, HWND icon_control) {
  SendMessageTimeoutW(box, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, NULL);
  const char* name = icon_name(icon_control);
  for (int i = 0; i < 20 && !strcmp(name, "present"); ++i) {
    Sleep(50);
    name = icon_name(icon_control);
  }
  return name;
}

/* ---- what a box shows ---- */

typedef struct {
  HWND hwnd;
  int id;
  wchar_t* text;
} Button;

typedef struct {
  Text statics; /* texts of the static controls, joined by "\n" */
  HWND icon; /* the icon control */
  Button* buttons;
  size_t count;
  size_t cap;
} BoxContent;

static BOOL CALLBACK collect_child(HWND child, LPARAM param) {
  BoxContent* box = (BoxContent*)param;
  if (!IsWindowVisible(child)) return TRUE;
  LONG style = GetWindowLongW(child, GWL_STYLE);
  if (class_is(child, L"Static")) {
    if ((style & SS_TYPEMASK) == SS_ICON) {
      if (SendMessageW(child, STM_GETICON, 0, 0)) box->icon = child;
      return TRUE;
    }
    wchar_t* text = window_text(child);
    if (text[0]) {
      if (box->statics.len) text_puts(&box->statics, "\n");
      /* stored raw; converted to JSON when written */
      int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
      if (n > 1) {
        text_reserve(&box->statics, (size_t)n);
        WideCharToMultiByte(CP_UTF8, 0, text, -1, box->statics.data + box->statics.len, n, NULL, NULL);
        box->statics.len += (size_t)n - 1;
      }
    }
    free(text);
  } else if (class_is(child, L"Button")) {
    if (box->count == box->cap) {
      size_t cap = box->cap ? box->cap * 2 : 4;
      Button* grown = (Button*)realloc(box->buttons, cap * sizeof(Button));
      if (!grown) ExitProcess(4);
      box->buttons = grown;
      box->cap = cap;
    }
    Button* b = &box->buttons[box->count++];
    b->hwnd = child;
    b->id = GetDlgCtrlID(child);
    b->text = window_text(child);
  }
  return TRUE;
}

static void box_free(BoxContent* box) {
  for (size_t i = 0; i < box->count; ++i) free(box->buttons[i].text);
  free(box->buttons);
  text_free(&box->statics);
  memset(box, 0, sizeof *box);
}

static const Button* box_button(const BoxContent* box, int id) {
  for (size_t i = 0; i < box->count; ++i)
    if (box->buttons[i].id == id) return &box->buttons[i];
  return NULL;
}

/* ---- settings ---- */

typedef struct {
  wchar_t* log;
  wchar_t* stop;
  wchar_t* ready;
  char** answers;
  size_t answer_count;
  size_t next_answer;
  DWORD timeout_ms;
  DWORD delay_ms;
  wchar_t* shots; /* folder for the pictures of the boxes, or NULL */
} Settings;

static void add_answer(Settings* s, const wchar_t* word, size_t len) {
  while (len && (word[0] == L' ' || word[0] == L'\t')) ++word, --len;
  while (len && (word[len - 1] == L' ' || word[len - 1] == L'\t' || word[len - 1] == L'\r' ||
                 word[len - 1] == L'\n'))
    --len;
  if (!len) return;
  char* a = (char*)calloc(len + 1, 1);
  if (!a) ExitProcess(4);
  for (size_t i = 0; i < len; ++i) {
    wchar_t c = word[i];
    if (c >= L'A' && c <= L'Z') c = (wchar_t)(c - L'A' + L'a');
    a[i] = (c < 128) ? (char)c : '?';
  }
  char** grown = (char**)realloc(s->answers, (s->answer_count + 1) * sizeof(char*));
  if (!grown) ExitProcess(4);
  s->answers = grown;
  s->answers[s->answer_count++] = a;
}

static void add_answers(Settings* s, const wchar_t* list) {
  const wchar_t* start = list;
  for (const wchar_t* p = list;; ++p) {
    if (*p == L',' || *p == L'\n' || *p == L'\0') {
      add_answer(s, start, (size_t)(p - start));
      start = p + 1;
      if (!*p) break;
    }
  }
}

static int read_answers_file(Settings* s, const wchar_t* path) {
  HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, NULL);
  if (f == INVALID_HANDLE_VALUE) return 0;
  Text content = {0};
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(f, chunk, sizeof chunk, &got, NULL) && got > 0) text_append(&content, chunk, got);
  CloseHandle(f);
  if (!content.data) return 1;
  int n = MultiByteToWideChar(CP_UTF8, 0, content.data, -1, NULL, 0);
  wchar_t* wide = (wchar_t*)calloc((size_t)(n > 0 ? n : 1), sizeof(wchar_t));
  if (!wide) ExitProcess(4);
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, content.data, -1, wide, n);
  add_answers(s, wide);
  free(wide);
  text_free(&content);
  return 1;
}

static int file_exists(const wchar_t* path) {
  return path && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

static void append_line(const wchar_t* path, const char* line, size_t len) {
  HANDLE f = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 50 && f == INVALID_HANDLE_VALUE; ++attempt) {
    f = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (f == INVALID_HANDLE_VALUE) Sleep(20);
  }
  if (f == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(f, line, (DWORD)len, &written, NULL);
  CloseHandle(f);
}

/* ---- boxes being handled ---- */

typedef struct {
  HWND hwnd;
  DWORD first_seen;
  DWORD answered_at;
  int answered; /* 0 seen, 1 answered, 2 left open */
  int button;   /* the button pressed */
} Tracked;

typedef struct {
  Tracked* items;
  size_t count;
  size_t cap;
  DWORD own_pid;
} Tracker;

static Tracked* tracker_find(Tracker* t, HWND hwnd) {
  for (size_t i = 0; i < t->count; ++i)
    if (t->items[i].hwnd == hwnd) return &t->items[i];
  return NULL;
}

static Tracked* tracker_add(Tracker* t, HWND hwnd, DWORD now) {
  if (t->count == t->cap) {
    size_t cap = t->cap ? t->cap * 2 : 8;
    Tracked* grown = (Tracked*)realloc(t->items, cap * sizeof(Tracked));
    if (!grown) ExitProcess(4);
    t->items = grown;
    t->cap = cap;
  }
  Tracked* item = &t->items[t->count++];
  memset(item, 0, sizeof *item);
  item->hwnd = hwnd;
  item->first_seen = now;
  return item;
}

/* Forgets boxes that have gone, so that a later box with a reused handle is new. */
static void tracker_prune(Tracker* t) {
  size_t kept = 0;
  for (size_t i = 0; i < t->count; ++i)
    if (IsWindow(t->items[i].hwnd)) t->items[kept++] = t->items[i];
  t->count = kept;
}

typedef struct {
  HWND* items;
  size_t count;
  size_t cap;
  DWORD own_pid;
} BoxList;

static BOOL CALLBACK collect_box(HWND hwnd, LPARAM param) {
  BoxList* list = (BoxList*)param;
  if (!IsWindowVisible(hwnd) || !class_is(hwnd, L"#32770")) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == list->own_pid) return TRUE;
  if (list->count == list->cap) {
    size_t cap = list->cap ? list->cap * 2 : 8;
    HWND* grown = (HWND*)realloc(list->items, cap * sizeof(HWND));
    if (!grown) ExitProcess(4);
    list->items = grown;
    list->cap = cap;
  }
  list->items[list->count++] = hwnd;
  return TRUE;
}

static int answer_button(const char* answer) {
  if (!strcmp(answer, "yes")) return IDYES;
  if (!strcmp(answer, "no")) return IDNO;
  if (!strcmp(answer, "ok")) return IDOK;
  if (!strcmp(answer, "cancel")) return IDCANCEL;
  return 0;
}

static int default_button(const BoxContent* box) {
  static const int order[] = {IDNO, IDOK, IDCANCEL};
  for (size_t i = 0; i < sizeof order / sizeof order[0]; ++i)
    if (box_button(box, order[i])) return order[i];
  return box->count ? box->buttons[0].id : 0;
}

static void press(HWND box, const Button* button) {
  PostMessageW(box, WM_COMMAND, MAKEWPARAM((WORD)button->id, BN_CLICKED), (LPARAM)button->hwnd);
}

/* Copies the box's window from the screen into a BMP file; 1 when written. */
static int write_shot(HWND hwnd, const wchar_t* path) {
  /* let the box's thread finish painting first */
  SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, NULL);
  Sleep(100);
  RECT r;
  if (!GetWindowRect(hwnd, &r)) return 0;
  int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0 || w > 8192 || h > 8192) return 0;
  Canvas shot;
  if (!canvas_open(&shot, w, h)) return 0;
  HDC screen = GetDC(NULL);
  BitBlt(shot.dc, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  ReleaseDC(NULL, screen);
  GdiFlush();
  DWORD pixels = (DWORD)w * (DWORD)h * 4u;
  BITMAPFILEHEADER fh;
  BITMAPINFOHEADER ih;
  memset(&fh, 0, sizeof fh);
  memset(&ih, 0, sizeof ih);
  fh.bfType = 0x4D42; /* "BM" */
  fh.bfOffBits = (DWORD)(sizeof fh + sizeof ih);
  fh.bfSize = fh.bfOffBits + pixels;
  ih.biSize = sizeof ih;
  ih.biWidth = w;
  ih.biHeight = -h;
  ih.biPlanes = 1;
  ih.biBitCount = 32;
  ih.biCompression = BI_RGB;
  int ok = 0;
  HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (f != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    ok = WriteFile(f, &fh, sizeof fh, &written, NULL) && written == sizeof fh &&
         WriteFile(f, &ih, sizeof ih, &written, NULL) && written == sizeof ih &&
         WriteFile(f, shot.bits, pixels, &written, NULL) && written == pixels;
    CloseHandle(f);
  }
  canvas_close(&shot);
  return ok;
}

/* Logs the box and answers it. */
static void handle_box(Settings* s, Tracked* item, DWORD start, unsigned seq) {
  HWND hwnd = item->hwnd;
  BoxContent box;
  memset(&box, 0, sizeof box);
  EnumChildWindows(hwnd, collect_child, (LPARAM)&box);
  wchar_t* caption = window_text(hwnd);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);

  const char* answer = "default";
  if (s->next_answer < s->answer_count) answer = s->answers[s->next_answer++];
  int wanted = answer_button(answer);
  const Button* chosen = NULL;
  if (strcmp(answer, "leave") != 0) {
    chosen = wanted ? box_button(&box, wanted) : NULL;
    if (!chosen) chosen = box_button(&box, default_button(&box));
  }

  wchar_t shot_name[32] = L"";
  if (s->shots) {
    size_t n = wcslen(s->shots) + 40;
    wchar_t* path = (wchar_t*)calloc(n, sizeof(wchar_t));
    if (!path) ExitProcess(4);
    _snwprintf(shot_name, sizeof shot_name / sizeof shot_name[0] - 1, L"box-%u.bmp", seq);
    _snwprintf(path, n - 1, L"%ls\\%ls", s->shots, shot_name);
    if (!write_shot(hwnd, path)) shot_name[0] = L'\0';
    free(path);
  }

  Text line = {0};
  DWORD tick = item->first_seen; /* when the box was first seen */
  text_printf(&line, "{\"seq\":%u,\"t_ms\":%lu,\"tick\":%lu,\"pid\":%lu,\"caption\":", seq,
              (unsigned long)(tick - start), (unsigned long)tick, (unsigned long)pid);
  text_json_string(&line, caption);
  text_puts(&line, ",\"text\":");
  {
    int n = box.statics.data ? MultiByteToWideChar(CP_UTF8, 0, box.statics.data, -1, NULL, 0) : 0;
    wchar_t* wide = (wchar_t*)calloc((size_t)(n > 0 ? n : 1), sizeof(wchar_t));
    if (!wide) ExitProcess(4);
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, box.statics.data, -1, wide, n);
    text_json_string(&line, wide);
    free(wide);
  }
  text_puts(&line, ",\"buttons\":[");
  for (size_t i = 0; i < box.count; ++i) {
    text_printf(&line, "%s{\"id\":%d,\"text\":", i ? "," : "", box.buttons[i].id);
    text_json_string(&line, box.buttons[i].text);
    text_puts(&line, "}");
  }
  LONG ex = GetWindowLongW(hwnd, GWL_EXSTYLE);
  text_puts(&line, "],\"shot\":");
  text_json_string(&line, shot_name);
  text_printf(&line, ",\"icon\":\"%s\",\"topmost\":%s,\"owned\":%s,\"answer\":\"%s\",\"pressed\":%d}\n",
              settled_icon_name(hwnd, box.icon), (ex & WS_EX_TOPMOST) ? "true" : "false",
              GetWindow(hwnd, GW_OWNER) ? "true" : "false", answer, chosen ? chosen->id : 0);
  append_line(s->log, line.data, line.len);
  text_free(&line);

  if (chosen) {
    press(hwnd, chosen);
    item->answered = 1;
    item->button = chosen->id;
    item->answered_at = GetTickCount();
  } else {
    item->answered = 2;
  }
  free(caption);
  box_free(&box);
}

/* A box that did not close after its answer is pressed again. */
static void retry_box(const Settings* s, Tracked* item, DWORD now, DWORD start) {
  char line[128];
  int n = snprintf(line, sizeof line, "{\"event\":\"retry\",\"t_ms\":%lu,\"pressed\":%d}\n",
                   (unsigned long)(now - start), item->button);
  if (n > 0) append_line(s->log, line, (size_t)n);
  BoxContent box;
  memset(&box, 0, sizeof box);
  EnumChildWindows(item->hwnd, collect_child, (LPARAM)&box);
  const Button* b = box_button(&box, item->button);
  if (b) {
    SendMessageTimeoutW(b->hwnd, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 500, NULL);
    if (IsWindow(item->hwnd)) press(item->hwnd, b);
  }
  item->answered_at = now;
  box_free(&box);
}

static wchar_t* copy_arg(const wchar_t* a) {
  size_t n = wcslen(a) + 1;
  wchar_t* c = (wchar_t*)calloc(n, sizeof(wchar_t));
  if (!c) ExitProcess(4);
  memcpy(c, a, n * sizeof(wchar_t));
  return c;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR cmdline, int show) {
  (void)instance;
  (void)previous;
  (void)cmdline;
  (void)show;
  Settings s;
  memset(&s, 0, sizeof s);
  s.timeout_ms = 120000;
  s.delay_ms = 150;

  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return 2;
  for (int i = 1; i < argc; ++i) {
    const wchar_t* opt = argv[i];
    const wchar_t* val = (i + 1 < argc) ? argv[i + 1] : NULL;
    if (!val) return 2;
    if (!wcscmp(opt, L"--log")) s.log = copy_arg(val);
    else if (!wcscmp(opt, L"--answers")) add_answers(&s, val);
    else if (!wcscmp(opt, L"--answers-file")) {
      if (!read_answers_file(&s, val)) return 2;
    } else if (!wcscmp(opt, L"--stop")) s.stop = copy_arg(val);
    else if (!wcscmp(opt, L"--ready")) s.ready = copy_arg(val);
    else if (!wcscmp(opt, L"--timeout")) s.timeout_ms = (DWORD)(wcstoul(val, NULL, 10) * 1000u);
    else if (!wcscmp(opt, L"--delay")) s.delay_ms = (DWORD)wcstoul(val, NULL, 10);
    else if (!wcscmp(opt, L"--shots")) s.shots = copy_arg(val);
    else return 2;
    ++i;
  }
  LocalFree(argv);
  if (!s.log) return 2;

  Tracker tracker;
  memset(&tracker, 0, sizeof tracker);
  BoxList list;
  memset(&list, 0, sizeof list);
  list.own_pid = GetCurrentProcessId();
  DWORD start = GetTickCount();
  unsigned seq = 0;

  if (s.ready) {
    HANDLE r = CreateFileW(s.ready, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (r != INVALID_HANDLE_VALUE) CloseHandle(r);
  }

  int code = 3;
  for (;;) {
    DWORD now = GetTickCount();
    if (file_exists(s.stop)) {
      code = 0;
      break;
    }
    if (now - start >= s.timeout_ms) break;

    tracker_prune(&tracker);
    list.count = 0;
    EnumWindows(collect_box, (LPARAM)&list);
    for (size_t i = 0; i < list.count; ++i) {
      Tracked* item = tracker_find(&tracker, list.items[i]);
      if (!item) item = tracker_add(&tracker, list.items[i], now);
      if (item->answered == 0 && now - item->first_seen >= s.delay_ms)
        handle_box(&s, item, start, ++seq);
      else if (item->answered == 1 && now - item->answered_at >= RETRY_MS)
        retry_box(&s, item, now, start);
    }
    /* keep our own (absent) queue drained */
    MSG msg;
    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(POLL_MS);
  }
  free(list.items);
  free(tracker.items);
  return code;
}
