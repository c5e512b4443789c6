/* The engine's mouse and keyboard hook library; see mhproc.h. */
#include "mhproc.h"

#include <string.h>

static unsigned char g_data[VS_HOOK_DATA_SIZE];
static HWND g_engine;
static HWND g_projector;
static DWORD g_flags;
static HHOOK g_mouse, g_keyboard, g_cursor;
static HINSTANCE g_instance;
static int g_leftSwallowed, g_rightSwallowed;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) g_instance = instance;
    return TRUE;
}

static void put16(int offset, unsigned v) {
    g_data[offset] = (unsigned char)v;
    g_data[offset + 1] = (unsigned char)(v >> 8);
}
static void put32(int offset, unsigned long v) {
    put16(offset, v & 0xFFFF);
    put16(offset + 2, v >> 16);
}

static int overProjector(POINT pt) {
    HWND w = WindowFromPoint(pt);
    return w && GetAncestor(w, GA_ROOT) == g_projector;
}

static void post(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (g_engine) PostMessageW(g_engine, msg, wParam, lParam);
}

static LRESULT CALLBACK MouseProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && g_engine) {
        const MSLLHOOKSTRUCT* m = (const MSLLHOOKSTRUCT*)lParam;
        put16(40, (unsigned)(short)m->pt.x);
        put16(42, (unsigned)(short)m->pt.y);
        switch (wParam) {
            case WM_MOUSEMOVE:
                if (g_data[36]) post(0x040C, WM_MOUSEMOVE, 0);
                break;
            case WM_LBUTTONDOWN:
                if (overProjector(m->pt)) {
                    if (g_flags & VS_HOOK_LEFT_DRAG) {
                        put16(36, 1);
                        post(0x040C, WM_LBUTTONDOWN, 0);
                        g_leftSwallowed = 1;
                        return 1;
                    }
                    if (g_flags & VS_HOOK_LEFT_IGNORE) {
                        g_leftSwallowed = 1;
                        return 1;
                    }
                }
                break;
            case WM_LBUTTONUP:
                put16(36, 0);
                if (g_leftSwallowed) {
                    g_leftSwallowed = 0;
                    return 1;
                }
                break;
            case WM_RBUTTONDOWN:
                if (overProjector(m->pt) && (g_flags & (VS_HOOK_RIGHT_IGNORE | VS_HOOK_RIGHT_POPUP))) {
                    if (g_flags & VS_HOOK_RIGHT_POPUP) post(0x040C, WM_RBUTTONDOWN, 0);
                    g_rightSwallowed = 1;
                    return 1;
                }
                break;
            case WM_RBUTTONUP:
                if (g_rightSwallowed) {
                    g_rightSwallowed = 0;
                    return 1;
                }
                break;
            default:
                break;
        }
    }
    return CallNextHookEx(g_mouse, code, wParam, lParam);
}

static LRESULT CALLBACK KeyboardProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && g_engine) {
        const KBDLLHOOKSTRUCT* k = (const KBDLLHOOKSTRUCT*)lParam;
        const int down = wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN;
        const int alt = (k->flags & LLKHF_ALTDOWN) != 0;
        if (g_flags & VS_HOOK_NO_TASK_SWITCH) {
            const int ctrl = (GetAsyncKeyState(VK_CONTROL) & 0x8000) != 0;
            if ((alt && (k->vkCode == VK_TAB || k->vkCode == VK_ESCAPE)) || (ctrl && k->vkCode == VK_ESCAPE) ||
                k->vkCode == VK_LWIN || k->vkCode == VK_RWIN) {
                if (down) post(0x040D, VS_HOOK_CMD_SWITCH, 0);
                return 1;
            }
        }
        HWND fg = GetForegroundWindow();
        if (fg && GetAncestor(fg, GA_ROOT) == g_projector) {
            if (k->vkCode == VK_ESCAPE && (g_flags & VS_HOOK_CLOSE_ON_ESCAPE)) {
                if (down) post(0x040D, VS_HOOK_CMD_ESCAPE, 0);
                return 1;
            }
            if (g_flags & VS_HOOK_KEYS_IGNORE) {
                put32(44, k->vkCode);
                put32(48, (unsigned long)wParam);
                if (down) post(0x040D, VS_HOOK_CMD_KEY, 0);
                return 1;
            }
        }
    }
    return CallNextHookEx(g_keyboard, code, wParam, lParam);
}

/* Runs inside the projector's thread: every message the window gets may set
 * its pointer, so it is taken away again each time. */
static LRESULT CALLBACK CursorProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const MSG* m = (const MSG*)lParam;
        if (m->message == WM_MOUSEMOVE || m->message == WM_NCMOUSEMOVE || m->message == WM_SETCURSOR) SetCursor(NULL);
    }
    return CallNextHookEx(g_cursor, code, wParam, lParam);
}

__declspec(dllexport) const unsigned char* WINAPI VsHookData(void) { return g_data; }

__declspec(dllexport) BOOL WINAPI VsHookInstall(HWND engine, HWND projector, DWORD flags) {
    memset(g_data, 0, sizeof g_data);
    put16(34, VS_HOOK_VERSION);
    g_data[38] = (unsigned char)flags;
    g_engine = engine;
    g_projector = projector;
    g_flags = flags;
    if (flags & (VS_HOOK_LEFT_IGNORE | VS_HOOK_LEFT_DRAG | VS_HOOK_RIGHT_IGNORE | VS_HOOK_RIGHT_POPUP))
        g_mouse = SetWindowsHookExW(WH_MOUSE_LL, MouseProc, g_instance, 0);
    if (flags & (VS_HOOK_KEYS_IGNORE | VS_HOOK_CLOSE_ON_ESCAPE | VS_HOOK_NO_TASK_SWITCH))
        g_keyboard = SetWindowsHookExW(WH_KEYBOARD_LL, KeyboardProc, g_instance, 0);
    post(0x040B, 0, 0);
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI VsHookInstallCursor(DWORD projectorThread) {
    g_cursor = SetWindowsHookExW(WH_GETMESSAGE, CursorProc, g_instance, projectorThread);
    return g_cursor != NULL;
}

__declspec(dllexport) void WINAPI VsHookStop(void) { g_engine = NULL; }

__declspec(dllexport) void WINAPI VsHookRemoveInput(void) {
    if (g_mouse) UnhookWindowsHookEx(g_mouse);
    if (g_keyboard) UnhookWindowsHookEx(g_keyboard);
    g_mouse = g_keyboard = NULL;
}

__declspec(dllexport) void WINAPI VsHookRemoveCursor(void) {
    if (g_cursor) UnhookWindowsHookEx(g_cursor);
    g_cursor = NULL;
}
