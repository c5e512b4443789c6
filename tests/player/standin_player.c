/* A stand-in Flash player for the engine's tests and the bundled example: a
 * plain Win32 window that says what it is and paints the facts of the movie
 * that follows it in its own file (a Flash projector is the player followed by
 * its movie). VS_TEST_PLAYER_DIR names a folder through which a test talks to
 * it (without it the program writes no files):
 *   shown.txt       written once the window is shown: the time, in
 *                   microseconds since 1970, and the command line
 *   report.request  asks for report.txt: caption, rectangle, styles, region
 *                   rectangles, topmost state, current folder and its files,
 *                   the input that reached the window, whether the pointer
 *                   was shown, the text the window shows
 *   close.request   asks the window to close (as WM_CLOSE from outside does)
 *   size.request    "W H": resizes the window, as a drag on its border ends
 *   menu.request    tells the engine of a right click, which opens its menu
 *   http.request    a request sent to 127.0.0.1:5905 as the movie sends it;
 *                   the answer goes to http.txt
 *   input.request   "X Y": a round of clicks and keys at X, Y of the window
 *                   (from its top left corner), as the user makes them
 * With the argument --args-only it writes args.txt (its command line and
 * current folder) and ends without a window. */
#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>
#include <windows.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

static wchar_t g_dir[MAX_PATH];

static void path_in_dir(wchar_t* out, const wchar_t* name) { _snwprintf(out, MAX_PATH, L"%ls\\%ls", g_dir, name); }

static void put_utf8(FILE* f, const wchar_t* text) {
    char buf[8192];
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, buf, sizeof buf, NULL, NULL);
    if (n > 0) fputs(buf, f);
}

/* Written beside the target and renamed, so the test never reads half a file. */
static FILE* open_temp(const wchar_t* name, wchar_t* temp) {
    if (!g_dir[0]) return NULL;
    path_in_dir(temp, name);
    wcscat(temp, L".part");
    return _wfopen(temp, L"wb");
}
static void commit(const wchar_t* temp, const wchar_t* name) {
    wchar_t target[MAX_PATH];
    path_in_dir(target, name);
    MoveFileExW(temp, target, MOVEFILE_REPLACE_EXISTING);
}

static unsigned long long now_us(void) {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    unsigned long long t = ((unsigned long long)ft.dwHighDateTime << 32) | ft.dwLowDateTime;
    return t / 10 - 11644473600ULL * 1000000ULL;
}

/* What the window says: what this program is, and the movie's facts. */
static const wchar_t k_title[] = L"Stand-in player";
static const wchar_t k_about[] = L"Stand-in player - this program stands in for a Flash player";
static wchar_t g_movie[160] = L"No movie follows this program";

static unsigned read_bits(const unsigned char* p, unsigned* bit, unsigned count) {
    unsigned v = 0;
    for (unsigned i = 0; i < count; ++i, ++*bit) v = (v << 1) | ((p[*bit >> 3] >> (7 - (*bit & 7))) & 1u);
    return v;
}
static int signed_bits(unsigned v, unsigned count) {
    return count && (v >> (count - 1)) & 1u ? (int)(v | ~((1u << count) - 1u)) : (int)v;
}

/* The facts of an uncompressed movie of `length` bytes at `m`; false when it
 * is no such movie. */
static int describe_movie(const unsigned char* m, DWORD length) {
    /* The smallest movie: the 8-byte header, a 1-byte rectangle, rate and count. */
    if (length < 13 || m[0] != 'F' || m[1] != 'W' || m[2] != 'S') return 0;
    if ((m[4] | m[5] << 8 | m[6] << 16 | (DWORD)m[7] << 24) != length) return 0;
    unsigned bit = 0, nbits = read_bits(m + 8, &bit, 5);
    const unsigned char* tail = m + 8 + (5 + 4 * nbits + 7) / 8;
    if (tail + 4 > m + length) return 1;
    int xmin = signed_bits(read_bits(m + 8, &bit, nbits), nbits);
    int xmax = signed_bits(read_bits(m + 8, &bit, nbits), nbits);
    int ymin = signed_bits(read_bits(m + 8, &bit, nbits), nbits);
    int ymax = signed_bits(read_bits(m + 8, &bit, nbits), nbits);
    const int width = (int)(((long long)xmax - xmin) / 20), height = (int)(((long long)ymax - ymin) / 20);
    const double rate = tail[1] + tail[0] / 256.0; /* 8.8 fixed point, fraction first */
    _snwprintf(g_movie, sizeof g_movie / sizeof g_movie[0] - 1, L"Movie: %d x %d pixels, %g frames per second, %u frames",
               width, height, rate, (unsigned)(tail[2] | tail[3] << 8));
    return 1;
}

/* The movie is the uncompressed SWF at the end of this program's file. A
 * player finds it as projectors lay it out: an 8-byte trailer at the very end
 * (0xFA123456 and the movie's length) and the movie just before it. Without
 * a trailer it is the last "FWS" whose stored length reaches exactly to the
 * end of the file. */
static void read_movie_facts(void) {
    wchar_t self[MAX_PATH];
    if (!GetModuleFileNameW(NULL, self, MAX_PATH)) return;
    HANDLE h = CreateFileW(self, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD size = GetFileSize(h, NULL), got = 0;
    const DWORD smallest = 13;
    unsigned char* data =
        size != INVALID_FILE_SIZE && size >= smallest ? (unsigned char*)HeapAlloc(GetProcessHeap(), 0, size) : NULL;
    int ok = data && ReadFile(h, data, size, &got, NULL) && got == size;
    CloseHandle(h);
    if (ok) {
        const unsigned char* t = data + size - 8;
        const DWORD magic = t[0] | t[1] << 8 | t[2] << 16 | (DWORD)t[3] << 24;
        const DWORD length = t[4] | t[5] << 8 | t[6] << 16 | (DWORD)t[7] << 24;
        if (magic == 0xFA123456u && length <= size - 8) {
            if (!describe_movie(data + size - 8 - length, length))
                wcscpy(g_movie, L"The trailer names no uncompressed movie");
            ok = 0;
        }
    }
    for (DWORD at = ok ? size - smallest : 0; ok; --at) {
        if (describe_movie(data + at, size - at)) break;
        if (at == 0) break;
    }
    if (data) HeapFree(GetProcessHeap(), 0, data);
}

/* A dark blue to teal gradient, the caption (when one was given) and the two
 * lines of text, centred and wrapped to stay inside a rounded shape. */
static void paint(HWND w) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w, &ps);
    RECT client;
    GetClientRect(w, &client);
    for (int y = client.top; y < client.bottom; y += 2) {
        int t = client.bottom > 1 ? y * 255 / (client.bottom - 1) : 0;
        HBRUSH b = CreateSolidBrush(RGB(24 + t / 8, 48 + t / 3, 112 + t / 4));
        RECT band = {client.left, y, client.right, y + 2};
        FillRect(dc, &band, b);
        DeleteObject(b);
    }
    LOGFONTW lf;
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
    lf.lfHeight = -13;
    lf.lfQuality = ANTIALIASED_QUALITY;
    HFONT body = CreateFontIndirectW(&lf);
    lf.lfHeight = -15;
    lf.lfWeight = FW_BOLD;
    HFONT bold = CreateFontIndirectW(&lf);

    wchar_t caption[256];
    GetWindowTextW(w, caption, 256);
    const int has_caption = caption[0] && wcscmp(caption, k_title) != 0;
    const wchar_t* lines[3];
    HFONT fonts[3];
    int n = 0;
    if (has_caption) lines[n] = caption, fonts[n++] = bold;
    lines[n] = k_about, fonts[n++] = has_caption ? body : bold;
    lines[n] = g_movie, fonts[n++] = body;

    const int inset = (client.right - client.left) / 8, gap = 8;
    RECT boxes[3];
    int total = 0;
    const UINT format = DT_CENTER | DT_WORDBREAK | DT_NOPREFIX;
    for (int i = 0; i < n; ++i) {
        SelectObject(dc, fonts[i]);
        boxes[i] = (RECT){client.left + inset, 0, client.right - inset, 0};
        DrawTextW(dc, lines[i], -1, &boxes[i], format | DT_CALCRECT);
        boxes[i].left = client.left + inset;
        boxes[i].right = client.right - inset;
        total += boxes[i].bottom + (i ? gap : 0);
    }
    int y = client.top + (client.bottom - client.top - total) / 2;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    for (int i = 0; i < n; ++i) {
        SelectObject(dc, fonts[i]);
        const int height = boxes[i].bottom;
        boxes[i].top = y;
        boxes[i].bottom = y + height;
        DrawTextW(dc, lines[i], -1, &boxes[i], format);
        y += height + gap;
    }
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(body);
    DeleteObject(bold);
    EndPaint(w, &ps);
}

/* What reached the window, in order: L, R and M the left, right and middle
 * button, K the key A and W the Windows key (each by its press). */
static char g_input[256];
/* Whether the pointer was shown when it last moved over the window. */
static const char* g_pointer = "unmoved";

static void note_input(char what) {
    size_t n = strlen(g_input);
    if (n + 1 < sizeof g_input) g_input[n] = what, g_input[n + 1] = 0;
}

/* A round of input as the user makes it, with the window in front and the
 * pointer at (x, y) of it: a right click and the Windows key, a small move,
 * a left click and the key A, and last a middle click, whose arrival ends
 * the round. Low-level hooks see input in the order it is made. */
static void make_input(HWND w, int x, int y) {
    static const struct {
        DWORD mouse;
        WORD key, keyFlags;
    } steps[] = {{MOUSEEVENTF_RIGHTDOWN, 0, 0}, {MOUSEEVENTF_RIGHTUP, 0, 0}, {0, VK_LWIN, 0},
                 {0, VK_LWIN, KEYEVENTF_KEYUP},  {MOUSEEVENTF_MOVE, 0, 0},    {MOUSEEVENTF_LEFTDOWN, 0, 0},
                 {MOUSEEVENTF_LEFTUP, 0, 0},    {0, 'A', 0},                 {0, 'A', KEYEVENTF_KEYUP},
                 {MOUSEEVENTF_MIDDLEDOWN, 0, 0}, {MOUSEEVENTF_MIDDLEUP, 0, 0}};
    enum { count = sizeof steps / sizeof steps[0] };
    static LONG step = 1; /* to and fro, so that the pointer stays */
    INPUT in[count];
    RECT r;
    memset(in, 0, sizeof in);
    for (int i = 0; i < count; ++i) {
        if (steps[i].mouse) {
            in[i].type = INPUT_MOUSE;
            in[i].mi.dwFlags = steps[i].mouse;
            if (steps[i].mouse == MOUSEEVENTF_MOVE) in[i].mi.dx = step;
        } else {
            in[i].type = INPUT_KEYBOARD;
            in[i].ki.wVk = steps[i].key;
            in[i].ki.dwFlags = steps[i].keyFlags;
        }
    }
    step = -step;
    GetWindowRect(w, &r);
    SetForegroundWindow(w);
    SetCursorPos(r.left + x, r.top + y);
    SendInput(count, in, sizeof in[0]);
}

static void write_report(HWND w) {
    wchar_t temp[MAX_PATH], text[1024], cwd[MAX_PATH];
    FILE* f = open_temp(L"report.txt", temp);
    if (!f) return;
    GetWindowTextW(w, text, 1024);
    fputs("caption=", f);
    put_utf8(f, text);
    RECT r;
    GetWindowRect(w, &r);
    fprintf(f, "\nrect=%ld,%ld,%ld,%ld\n", r.left, r.top, r.right, r.bottom);
    fprintf(f, "style=%08lx\nexstyle=%08lx\n", (unsigned long)GetWindowLongW(w, GWL_STYLE),
            (unsigned long)GetWindowLongW(w, GWL_EXSTYLE));
    fprintf(f, "topmost=%d\n", (GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_TOPMOST) ? 1 : 0);
    fputs("region=", f);
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    if (GetWindowRgn(w, rgn) != ERROR) {
        DWORD size = GetRegionData(rgn, 0, NULL);
        RGNDATA* data = (RGNDATA*)HeapAlloc(GetProcessHeap(), 0, size);
        if (data && GetRegionData(rgn, size, data)) {
            RECT* rects = (RECT*)data->Buffer;
            for (DWORD i = 0; i < data->rdh.nCount; ++i)
                fprintf(f, "%s%ld,%ld,%ld,%ld", i ? ";" : "", rects[i].left, rects[i].top, rects[i].right, rects[i].bottom);
        }
        if (data) HeapFree(GetProcessHeap(), 0, data);
    } else {
        fputs("none", f);
    }
    DeleteObject(rgn);
    GetCurrentDirectoryW(MAX_PATH, cwd);
    fputs("\ncwd=", f);
    put_utf8(f, cwd);
    fputs("\nprojector_dir=", f);
    if (GetEnvironmentVariableW(L"VEXELSCREEN_PROJECTOR_DIR", text, 1024)) put_utf8(f, text);
    fputs("\nengine_window=", f);
    if (GetEnvironmentVariableW(L"VEXELSCREEN_ENGINE_WINDOW", text, 1024)) put_utf8(f, text);
    fputs("\nfiles=", f);
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(L"*", &fd);
    if (h != INVALID_HANDLE_VALUE) {
        int first = 1;
        do {
            if (wcscmp(fd.cFileName, L".") && wcscmp(fd.cFileName, L"..")) {
                if (!first) fputs("|", f);
                put_utf8(f, fd.cFileName);
                first = 0;
            }
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    fputs("\ninput=", f);
    fputs(g_input, f);
    fputs("\npointer=", f);
    fputs(g_pointer, f);
    fputs("\ntext=", f);
    put_utf8(f, k_about);
    fputs("|", f);
    put_utf8(f, g_movie);
    fputs("\n", f);
    fclose(f);
    commit(temp, L"report.txt");
}

static int take_request(const wchar_t* name) {
    wchar_t p[MAX_PATH];
    if (!g_dir[0]) return 0;
    path_in_dir(p, name);
    if (GetFileAttributesW(p) == INVALID_FILE_ATTRIBUTES) return 0;
    DeleteFileW(p);
    return 1;
}

/* The contents of a request file (up to 64 KiB), taken away; 0 when none. */
static int take_content(const wchar_t* name, char* buf, int size) {
    wchar_t p[MAX_PATH];
    path_in_dir(p, name);
    FILE* f = _wfopen(p, L"rb");
    if (!f) return 0;
    int n = (int)fread(buf, 1, (size_t)size - 1, f);
    fclose(f);
    DeleteFileW(p);
    buf[n < 0 ? 0 : n] = 0;
    return n < 0 ? 0 : n + 1;
}

static void ask_variable_service(const char* request, int length) {
    static char reply[65536];
    int got = 0;
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    struct sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_port = htons(5905);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (s != INVALID_SOCKET && connect(s, (struct sockaddr*)&a, sizeof a) == 0) {
        send(s, request, length, 0);
        shutdown(s, SD_SEND);
        for (int n; got < (int)sizeof reply - 1 && (n = recv(s, reply + got, (int)sizeof reply - 1 - got, 0)) > 0;) got += n;
    }
    if (s != INVALID_SOCKET) closesocket(s);
    wchar_t temp[MAX_PATH];
    FILE* f = open_temp(L"http.txt", temp);
    if (!f) return;
    fwrite(reply, 1, (size_t)got, f);
    fclose(f);
    commit(temp, L"http.txt");
}

static LRESULT CALLBACK proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_TIMER:
            if (take_request(L"report.request")) write_report(w);
            if (take_request(L"close.request")) PostMessageW(w, WM_CLOSE, 0, 0);
            {
                static char buf[65536];
                int n = take_content(L"size.request", buf, 64);
                int width = 0, height = 0, x = 0, y = 0;
                if (n && sscanf(buf, "%d %d", &width, &height) == 2)
                    SetWindowPos(w, NULL, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
                if ((n = take_content(L"http.request", buf, sizeof buf)) > 0) ask_variable_service(buf, n - 1);
                if ((n = take_content(L"input.request", buf, 64)) && sscanf(buf, "%d %d", &x, &y) == 2)
                    make_input(w, x, y);
                if (take_request(L"menu.request")) {
                    wchar_t engine[32];
                    if (GetEnvironmentVariableW(L"VEXELSCREEN_ENGINE_WINDOW", engine, 32))
                        PostMessageW((HWND)(ULONG_PTR)_wcstoui64(engine, NULL, 10), 0x040C, 0x0204, 0);
                }
            }
            return 0;
        case WM_LBUTTONDOWN:
            note_input('L');
            break;
        case WM_RBUTTONDOWN:
            note_input('R');
            break;
        case WM_MBUTTONDOWN:
            note_input('M');
            break;
        case WM_KEYDOWN:
            if (wp == 'A') note_input('K');
            if (wp == VK_LWIN) note_input('W');
            break;
        case WM_MOUSEMOVE:
            g_pointer = GetCursor() ? "shown" : "hidden";
            break;
        case WM_PAINT:
            paint(w);
            return 0;
        case WM_SETTEXT: {
            LRESULT r = DefWindowProcW(w, msg, wp, lp);
            InvalidateRect(w, NULL, FALSE);
            return r;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(w, msg, wp, lp);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE prev, PWSTR args, int show) {
    (void)prev;
    (void)show;
    if (!GetEnvironmentVariableW(L"VS_TEST_PLAYER_DIR", g_dir, MAX_PATH)) g_dir[0] = 0;
    if (wcsstr(args, L"--args-only")) {
        wchar_t temp[MAX_PATH], cwd[MAX_PATH];
        FILE* f = open_temp(L"args.txt", temp);
        if (!f) return 1;
        GetCurrentDirectoryW(MAX_PATH, cwd);
        fputs("args=", f);
        put_utf8(f, args);
        fputs("\ncwd=", f);
        put_utf8(f, cwd);
        fputs("\n", f);
        fclose(f);
        commit(temp, L"args.txt");
        return 0;
    }
    read_movie_facts();
    WNDCLASSW wc;
    memset(&wc, 0, sizeof wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszClassName = L"VexelSCREENTestPlayer";
    RegisterClassW(&wc);
    HWND w = CreateWindowExW(0, wc.lpszClassName, k_title, WS_OVERLAPPEDWINDOW, 10, 10, 320, 240, NULL, NULL,
                             instance, NULL);
    ShowWindow(w, SW_SHOW);
    UpdateWindow(w);
    {
        wchar_t temp[MAX_PATH];
        FILE* f = open_temp(L"shown.txt", temp);
        if (f) {
            fprintf(f, "%llu\n", now_us());
            put_utf8(f, GetCommandLineW());
            fputs("\n", f);
            fclose(f);
            commit(temp, L"shown.txt");
        }
    }
    SetTimer(w, 1, 50, NULL);
    MSG m;
    while (GetMessageW(&m, NULL, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return 0;
}
