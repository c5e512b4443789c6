/* The engine's mouse and keyboard hook library. Low-level hooks run in the
 * engine's own thread: they watch the input that goes to the projector's
 * window, swallow what the settings say to ignore, and post the hook link's
 * messages (0x040B to 0x040F) to the engine's window. A message hook in the
 * projector's own thread keeps the mouse pointer hidden there.
 *
 * The data block is the library's; the engine reads it when a message comes:
 *   34  u16  library version            38  u8   behaviour flags (low byte)
 *   36  u16  1 while a window drag runs 40  i16  pointer x (screen)
 *   42  i16  pointer y (screen)         44  u32  last key's virtual code
 *   48  u32  last key's message
 */
#ifndef VS_MHPROC_H
#define VS_MHPROC_H

#include <windows.h>

#define VS_HOOK_LEFT_IGNORE 0x01u
#define VS_HOOK_LEFT_DRAG 0x02u
#define VS_HOOK_RIGHT_IGNORE 0x04u
#define VS_HOOK_RIGHT_POPUP 0x08u
#define VS_HOOK_KEYS_IGNORE 0x10u
#define VS_HOOK_CLOSE_ON_ESCAPE 0x20u
#define VS_HOOK_NO_TASK_SWITCH 0x40u

#define VS_HOOK_DATA_SIZE 64
#define VS_HOOK_VERSION 1

/* wParam codes of message 0x040D. */
#define VS_HOOK_CMD_KEY 6      /* a key the movie does not get: lParam virtual code, wParam message */
#define VS_HOOK_CMD_ESCAPE 7   /* Escape with "quit on Escape" */
#define VS_HOOK_CMD_SWITCH 8   /* a task switch that was refused */

#ifdef __cplusplus
extern "C" {
#endif
typedef const unsigned char*(WINAPI* VsHookDataProc)(void);
typedef BOOL(WINAPI* VsHookInstallProc)(HWND engine, HWND projector, DWORD flags);
typedef BOOL(WINAPI* VsHookInstallCursorProc)(DWORD projectorThread);
typedef void(WINAPI* VsHookEntryProc)(void);
#ifdef __cplusplus
}
#endif

/* Export names; the three Unhook entries in the order the link calls them. */
#define VS_HOOK_DATA "VsHookData"
#define VS_HOOK_INSTALL "VsHookInstall"
#define VS_HOOK_INSTALL_CURSOR "VsHookInstallCursor"
#define VS_HOOK_STOP "VsHookStop"
#define VS_HOOK_REMOVE_INPUT "VsHookRemoveInput"
#define VS_HOOK_REMOVE_CURSOR "VsHookRemoveCursor"

#endif
