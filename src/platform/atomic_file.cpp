#include "platform/atomic_file.h"

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>

#include "platform/errors.h"
#include "platform/file_system.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace vs {

std::string SiblingTempName(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    static thread_local std::mt19937_64 rng(
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".%08x%04x.tmp", static_cast<unsigned>(rng()), counter++ & 0xFFFFu);
    return target + suffix;
}

AtomicFile::AtomicFile(std::string target) : target_(std::move(target)) {
    for (int attempt = 0; attempt < 16 && !stream_; ++attempt) {
        temp_ = SiblingTempName(target_);
        try {
            stream_ = std::make_unique<TFileStream>(temp_, FileMode::CreateNew);
        } catch (const EFCreateError&) {
            if (KindOfPath(temp_) == PathKind::Missing) break;  // not a name clash: the folder refuses
        }
    }
    if (!stream_) throw EFCreateError(cannotCreateFile(target_));
#ifndef _WIN32
    // A replaced file keeps its permissions.
    struct stat st {};
    if (::stat(target_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::chmod(temp_.c_str(), st.st_mode & 07777);
#endif
}

AtomicFile::~AtomicFile() {
    if (!committed_) {
        stream_.reset();
        RemoveFile(temp_);
    }
}

void AtomicFile::Commit() {
    try {
        stream_->Sync();
    } catch (const EWriteError&) {
        throw EFCreateError(cannotCreateFile(target_));
    }
    stream_.reset();
    if (!MoveReplacing(temp_, target_)) throw EFCreateError(cannotCreateFile(target_));
    committed_ = true;
}

void WriteFileAtomic(const std::string& target, const void* data, std::size_t size) {
    AtomicFile f(target);
    f.stream().WriteBuffer(data, size);
    f.Commit();
}

}  // namespace vs
