#include "platform/atomic_file.h"

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <random>
#include <thread>

#include "platform/errors.h"
#include "platform/file_system.h"

#ifdef _WIN32
#include <io.h>

#include "platform/win32.h"
#else
#include <pthread.h>
#include <unistd.h>
#endif

namespace vs {

#ifdef _WIN32
namespace detail {
// temp_files.cpp: keeps the console handler from ending the program between
// the two steps.
void HoldConsoleEnding();
void ReleaseConsoleEnding();
}  // namespace detail
#endif

namespace {

// Holds back the signals that end the program while a temporary file is
// created and registered, so that no such signal can fall between the two
// and leave the file behind. Signals that arrive meanwhile are handled
// when the object goes.
class EndingSignalsHeld {
public:
    EndingSignalsHeld() {
#ifndef _WIN32
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        sigaddset(&set, SIGHUP);
        held_ = ::pthread_sigmask(SIG_BLOCK, &set, &previous_) == 0;
#else
        detail::HoldConsoleEnding();
#endif
    }
    ~EndingSignalsHeld() {
#ifndef _WIN32
        if (held_) ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
#else
        detail::ReleaseConsoleEnding();
#endif
    }
    EndingSignalsHeld(const EndingSignalsHeld&) = delete;
    EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;

private:
#ifndef _WIN32
    sigset_t previous_;
    bool held_ = false;
#endif
};

std::size_t FolderEnd(const std::string& name) {
#ifdef _WIN32
    const std::size_t cut = name.find_last_of("\\/:");
#else
    const std::size_t cut = name.find_last_of('/');
#endif
    return cut == std::string::npos ? 0 : cut + 1;
}

}  // namespace

std::string SiblingTempName(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    static thread_local std::mt19937 rng(
        static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        static_cast<unsigned>(std::hash<std::thread::id>{}(std::this_thread::get_id())));
    char name[32];
    std::snprintf(name, sizeof name, "vs-%08x.tmp", static_cast<unsigned>(rng() + counter++));
    return target.substr(0, FolderEnd(target)) + name;
}

TempSibling CreateTempSibling(const std::string& target) {
    // Only a regular file is ever replaced: a folder, a device or a named
    // pipe (also behind a link) keeps its place.
    const PathKind kind = KindOfPath(target);
    if (kind != PathKind::Missing && kind != PathKind::File)
        throw EFCreateError(cannotCreateFile(target), "not a regular file");
    TempSibling temp;
    std::string reason;
    for (int attempt = 0; attempt < 16 && !temp.stream; ++attempt) {
        temp.name = SiblingTempName(target);
        EndingSignalsHeld held;
        try {
            temp.stream = std::make_unique<TFileStream>(temp.name, FileMode::CreateNew);
            temp.live = std::make_unique<LiveTempFile>(temp.name);
        } catch (const EFCreateError& e) {
            reason = e.reason();
            if (KindOfPath(temp.name) == PathKind::Missing) break;  // not a name clash: the folder refuses
        }
    }
    if (!temp.stream) throw EFCreateError(cannotCreateFile(target), reason);
    temp.stream->SetNameInMessages(target);
    return temp;
}

AtomicFile::AtomicFile(std::string target) : target_(std::move(target)), temp_(CreateTempSibling(target_)) {
#ifndef _WIN32
    // A replaced file keeps its permissions.
    struct stat st {};
    if (::stat(target_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::chmod(temp_.name.c_str(), st.st_mode & 07777);
#endif
}

AtomicFile::~AtomicFile() {
    if (!committed_) {
        temp_.stream.reset();
        RemoveFile(temp_.name);
    }
}

TFileStream& AtomicFile::ReopenStream() {
    temp_.stream = std::make_unique<TFileStream>(temp_.name, FileMode::OpenReadWrite);
    temp_.stream->SetNameInMessages(target_);
    return *temp_.stream;
}

void AtomicFile::UseNormalPermissions(bool program) {
#ifndef _WIN32
    // The umask can only be read by setting it; it is read once, before the
    // first such file, and put back at once.
    static const mode_t mask = [] {
        const mode_t m = ::umask(022);
        ::umask(m);
        return m;
    }();
    ::chmod(temp_.name.c_str(), (program ? 0777 : 0666) & ~mask);
#else
    // A new file's attributes: never the read-only one, which a copy from a
    // read-only source (an installed or burnt Tools folder) would carry.
    (void)program;
    const std::wstring wide = win32::Wide(temp_.name);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(wide.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
#endif
}

void AtomicFile::Finish() {
    if (!temp_.stream) return;
    try {
        temp_.stream->Sync();
    } catch (const EStreamError& e) {
        // The reason names the target already; the message does too.
        const std::string prefix = target_ + ": ";
        const std::string& why = e.reason();
        throw EFCreateError(cannotCreateFile(target_), why.starts_with(prefix) ? why.substr(prefix.size()) : why);
    }
    temp_.stream.reset();
}

void AtomicFile::Rename() {
    if (!MoveReplacing(temp_.name, target_)) throw EFCreateError(cannotCreateFile(target_), LastSystemError());
    committed_ = true;
    temp_.live->Forget();
}

void AtomicFile::Commit() {
    Finish();
    Rename();
}

void CommitTogether(const std::vector<AtomicFile*>& files) {
    for (AtomicFile* f : files)
        if (f) f->Finish();
    EndingSignalsHeld held;
    for (AtomicFile* f : files)
        if (f) f->Rename();
}

void WriteFileAtomic(const std::string& target, const void* data, std::size_t size) {
    AtomicFile f(target);
    f.stream().WriteBuffer(data, size);
    f.Commit();
}

}  // namespace vs
