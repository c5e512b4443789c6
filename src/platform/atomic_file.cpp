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
#else
#include <pthread.h>
#include <unistd.h>
#endif

namespace vs {

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
#endif
    }
    ~EndingSignalsHeld() {
#ifndef _WIN32
        if (held_) ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
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
    if (kind != PathKind::Missing && kind != PathKind::File) throw EFCreateError(cannotCreateFile(target));
    TempSibling temp;
    for (int attempt = 0; attempt < 16 && !temp.stream; ++attempt) {
        temp.name = SiblingTempName(target);
        EndingSignalsHeld held;
        try {
            temp.stream = std::make_unique<TFileStream>(temp.name, FileMode::CreateNew);
            temp.live = std::make_unique<LiveTempFile>(temp.name);
        } catch (const EFCreateError&) {
            if (KindOfPath(temp.name) == PathKind::Missing) break;  // not a name clash: the folder refuses
        }
    }
    if (!temp.stream) throw EFCreateError(cannotCreateFile(target));
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

void AtomicFile::Commit() {
    try {
        temp_.stream->Sync();
    } catch (const EWriteError&) {
        throw EFCreateError(cannotCreateFile(target_));
    }
    temp_.stream.reset();
    if (!MoveReplacing(temp_.name, target_)) throw EFCreateError(cannotCreateFile(target_));
    committed_ = true;
    temp_.live->Forget();
}

void WriteFileAtomic(const std::string& target, const void* data, std::size_t size) {
    AtomicFile f(target);
    f.stream().WriteBuffer(data, size);
    f.Commit();
}

}  // namespace vs
