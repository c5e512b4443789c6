#pragma once
// Temporary files that must not outlive the program, not even when a signal
// ends it in the middle of writing one. A file is registered by name before
// it is created and forgotten once it has been renamed or removed; a signal
// handler can then remove every live one. The registry uses no locks and no
// memory from the heap, so that its removal pass is safe inside a handler.
#include <string>

namespace vs {

// Registers `path` for the lifetime of the object. A name that does not fit
// the registry (more than a few at once, or longer than any file system
// allows) is simply not registered; the owner still removes it as usual.
class LiveTempFile {
public:
    explicit LiveTempFile(const std::string& path);
    ~LiveTempFile();
    LiveTempFile(const LiveTempFile&) = delete;
    LiveTempFile& operator=(const LiveTempFile&) = delete;

    // The file is gone or has become the target: it needs no removal.
    void Forget();

private:
    int slot_ = -1;
};

// Removes every registered file. Async-signal-safe. On Windows, where an open
// file cannot be removed, it marks each one for deletion instead: every
// stream opens its file so that it can be, and it goes when it is closed.
void RemoveLiveTempFiles() noexcept;

// On SIGINT, SIGTERM and SIGHUP the live temporary files are removed and the
// program ends at once with 128 + the signal's number (130, 143, 129). A
// signal that the program was started with as ignored stays ignored. On
// Windows a console control handler does the same for Ctrl+C and Ctrl+Break
// (130), a closed console (129), log-off and shut-down (143).
void RemoveTempFilesOnEndingSignals();

}  // namespace vs
