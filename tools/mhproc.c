/* Stand-in for the engine's mouse-hook library: it loads and unloads, and its
 * hook entry points accept and ignore their calls. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI InstallHook(HWND window) {
    (void)window;
    return TRUE;
}

__declspec(dllexport) void WINAPI RemoveHook(void) {}
