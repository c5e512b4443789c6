#include "platform/temp_files.h"

#include <atomic>
#include <csignal>
#include <cstring>

#ifdef _WIN32
#include <io.h>
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
    ::_unlink(name);
#else
    ::unlink(name);
#endif
}

#ifndef _WIN32
extern "C" void EndOnSignal(int signal) {
    RemoveLiveTempFiles();
    ::_exit(128 + signal);
}
#endif

}  // namespace

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
#endif
}

}  // namespace vs
