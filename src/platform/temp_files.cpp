#include "platform/temp_files.h"

#include <atomic>
#include <csignal>
#include <cstring>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace vs {

namespace {

// A slot is free, being filled, or live. Only live slots are read by the
// removal pass; a slot's name is written only while it is being filled.
enum SlotState : int { kFree = 0, kFilling = 1, kLive = 2 };

constexpr int kSlots = 16;
constexpr std::size_t kMaxName = 4096;

struct Slot {
    std::atomic<int> state{kFree};
    char name[kMaxName];
};
static_assert(std::atomic<int>::is_always_lock_free);

Slot g_slots[kSlots];

void RemoveName(const char* name) noexcept {
#ifdef _WIN32
    // The name is UTF-8. A file still open (the stream writing it shares
    // deletion, file_system.cpp) is only marked here and goes when its last
    // handle closes, at the latest when the process ends.
    wchar_t wide[kMaxName];
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, -1, wide, kMaxName) > 0) DeleteFileW(wide);
#else
    ::unlink(name);
#endif
}

#ifdef _WIN32
// Held shared while a temporary file is created and registered, and taken
// for good by the console handler, so that no file falls between the two.
SRWLOCK g_registering = SRWLOCK_INIT;

// Runs on a thread of its own that the system starts for the event, while
// the program goes on: the live files are removed and the process ends at
// once with the code a POSIX shell gives for the matching signal (Ctrl+C and
// Ctrl+Break as SIGINT, a closed console as SIGHUP, log-off and shut-down as
// SIGTERM).
BOOL WINAPI EndOnConsoleEvent(DWORD event) {
    int code = 0;
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT: code = 130; break;
    case CTRL_CLOSE_EVENT: code = 129; break;
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: code = 143; break;
    default: return FALSE;
    }
    AcquireSRWLockExclusive(&g_registering);
    RemoveLiveTempFiles();
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
    return TRUE;
}
#else
extern "C" void EndOnSignal(int signal) {
    RemoveLiveTempFiles();
    ::_exit(128 + signal);
}
#endif

}  // namespace

#ifdef _WIN32
namespace detail {
void HoldConsoleEnding() { AcquireSRWLockShared(&g_registering); }
void ReleaseConsoleEnding() { ReleaseSRWLockShared(&g_registering); }
}  // namespace detail
#endif

LiveTempFile::LiveTempFile(const std::string& path) {
    if (path.empty() || path.size() >= kMaxName) return;
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (g_slots[i].state.compare_exchange_strong(expected, kFilling)) {
            std::memcpy(g_slots[i].name, path.c_str(), path.size() + 1);
            g_slots[i].state.store(kLive);
            slot_ = i;
            return;
        }
    }
}

LiveTempFile::~LiveTempFile() { Forget(); }

void LiveTempFile::Forget() {
    if (slot_ >= 0) g_slots[slot_].state.store(kFree);
    slot_ = -1;
}

void RemoveLiveTempFiles() noexcept {
    for (Slot& slot : g_slots)
        if (slot.state.load() == kLive) RemoveName(slot.name);
}

void RemoveTempFilesOnEndingSignals() {
#ifndef _WIN32
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction previous {};
        if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = EndOnSignal;
        sigemptyset(&action.sa_mask);
        // While one ending signal is handled the others wait.
        sigaddset(&action.sa_mask, SIGINT);
        sigaddset(&action.sa_mask, SIGTERM);
        sigaddset(&action.sa_mask, SIGHUP);
        ::sigaction(signal, &action, nullptr);
    }
#else
    // A program started with Ctrl+C ignored gets no CTRL_C_EVENT here either.
    SetConsoleCtrlHandler(EndOnConsoleEvent, TRUE);
#endif
}

}  // namespace vs
