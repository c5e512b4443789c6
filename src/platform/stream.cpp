#include "platform/stream.h"


#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/errors.h"
#include "platform/file_system.h"
#include "platform/posix_io.h"


namespace vs {

std::int64_t TStream::Size() {
    std::int64_t pos = Seek(0, SeekOrigin::Current);
    std::int64_t end = Seek(0, SeekOrigin::End);
    Seek(pos, SeekOrigin::Begin);
    return end;
}

void TStream::SetSize(std::int64_t) { throw EWriteError(msg::StreamWrite); }

void TStream::ReadBuffer(void* buffer, std::size_t n) {
    auto* p = static_cast<std::uint8_t*>(buffer);
    while (n > 0) {
        std::size_t got = Read(p, n);
        if (got == 0) throw EReadError(msg::StreamRead);
        p += got;
        n -= got;
    }
}

void TStream::WriteBuffer(const void* buffer, std::size_t n) {
    auto* p = static_cast<const std::uint8_t*>(buffer);
    while (n > 0) {
        std::size_t put = Write(p, n);
        if (put == 0) throw EWriteError(msg::StreamWrite, WriteFailureReason());
        p += put;
        n -= put;
    }
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    std::int64_t total = count;
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(std::min<std::int64_t>(count, 1 << 20)));
    while (count > 0) {
        std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(count, buf.size()));
        source.ReadBuffer(buf.data(), n);
        WriteBuffer(buf.data(), n);
        count -= static_cast<std::int64_t>(n);
    }
    return total;
}

// ---- TMemoryStream

std::size_t TMemoryStream::Read(void* buffer, std::size_t n) {
    if (pos_ >= data_.size()) return 0;
    n = std::min(n, data_.size() - pos_);
    std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t n) {
    if (n == 0) return 0;
    if (pos_ + n > data_.size()) data_.resize(pos_ + n);
    std::memcpy(data_.data() + pos_, buffer, n);
    pos_ += n;
    return n;
}

static std::int64_t seekTarget(std::int64_t offset, SeekOrigin origin, std::int64_t pos, std::int64_t size) {
    std::int64_t base = origin == SeekOrigin::Begin ? 0 : origin == SeekOrigin::Current ? pos : size;
    std::int64_t target = base + offset;
    if (target < 0) throw EReadError(msg::StreamRead);
    return target;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, SeekOrigin origin) {
    pos_ = static_cast<std::size_t>(seekTarget(offset, origin, static_cast<std::int64_t>(pos_), Size()));
    return static_cast<std::int64_t>(pos_);
}

void TMemoryStream::SetSize(std::int64_t size) {
    data_.resize(static_cast<std::size_t>(size));
    pos_ = std::min(pos_, data_.size());
}

void TMemoryStream::LoadFromFile(const std::string& name) {
    data_ = ReadWholeFile(name);
    pos_ = 0;
}

void TMemoryStream::SaveToFile(const std::string& name) {
    TFileStream f(name, FileMode::Create);
    f.WriteBuffer(data_.data(), data_.size());
}

// ---- TBytesStream

std::size_t TBytesStream::Read(void* buffer, std::size_t n) {
    if (pos_ >= data_.size()) return 0;
    n = std::min(n, data_.size() - pos_);
    std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    return n;
}

std::int64_t TBytesStream::Seek(std::int64_t offset, SeekOrigin origin) {
    pos_ = static_cast<std::size_t>(seekTarget(offset, origin, static_cast<std::int64_t>(pos_), Size()));
    return static_cast<std::int64_t>(pos_);
}

// ---- TFileStream

TFileStream::TFileStream(const std::string& name, FileMode mode) : name_(name), shownName_(name) {
    const bool create = mode == FileMode::Create || mode == FileMode::CreateNew;
    // Only regular files are streams. Opening a named pipe or a device would
    // wait for a writer or touch the device, so the name is first opened
    // without waiting, checked, and only a regular file is truncated.
#ifdef _WIN32
    constexpr int kNoWait = 0;
#else
    constexpr int kNoWait = O_NONBLOCK;
#endif
    if (create) {
        const int excl = mode == FileMode::CreateNew ? O_EXCL : 0;
        fd_ = OpenFileDescriptor(name, O_RDWR | O_CREAT | excl | kNoWait | VS_OPEN_FLAGS, 0666);
        if (fd_ < 0) throw EFCreateError(cannotCreateFile(name), LastSystemError());
    } else {
        const int flags = (mode == FileMode::OpenRead ? O_RDONLY : O_RDWR) | kNoWait | VS_OPEN_FLAGS;
        fd_ = OpenFileDescriptor(name, flags);
        if (fd_ < 0) throw EFOpenError(cannotOpenFile(name), LastSystemError());
    }
    struct stat st {};
    bool usable = ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
#ifndef _WIN32
    if (usable) usable = ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK) == 0;
#endif
    const bool regular = usable;
    if (usable && mode == FileMode::Create) usable = SetSizeNoThrow(0);
    if (!usable) {
        const std::string reason = regular ? LastSystemError() : "not a regular file";
        ::close(fd_);
        fd_ = -1;
        if (create) throw EFCreateError(cannotCreateFile(name), reason);
        throw EFOpenError(cannotOpenFile(name), reason);
    }
}

bool TFileStream::SetSizeNoThrow(std::int64_t size) {
#ifdef _WIN32
    return _chsize_s(fd_, size) == 0;
#else
    return ::ftruncate(fd_, size) == 0;
#endif
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) ::close(fd_);
}

std::size_t TFileStream::Read(void* buffer, std::size_t n) {
    auto* p = static_cast<std::uint8_t*>(buffer);
    std::size_t total = 0;
    while (n > 0) {
        unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(n, 1u << 30));
        auto got = ::read(fd_, p, chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        p += got;
        n -= static_cast<std::size_t>(got);
        total += static_cast<std::size_t>(got);
    }
    return total;
}

std::size_t TFileStream::Write(const void* buffer, std::size_t n) {
    auto* p = static_cast<const std::uint8_t*>(buffer);
    std::size_t total = 0;
    while (n > 0) {
        unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(n, 1u << 30));
        auto put = ::write(fd_, p, chunk);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            writeErrno_ = put < 0 ? errno : ENOSPC;  // nothing written and no error: the device is full
            break;
        }
        p += put;
        n -= static_cast<std::size_t>(put);
        total += static_cast<std::size_t>(put);
    }
    return total;
}

std::int64_t TFileStream::Seek(std::int64_t offset, SeekOrigin origin) {
    int whence = origin == SeekOrigin::Begin ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
    auto r = VS_LSEEK(fd_, offset, whence);
    if (r < 0) throw EReadError(msg::StreamRead);
    return r;
}

std::string TFileStream::WriteFailureReason() {
    return writeErrno_ ? shownName_ + ": " + std::strerror(writeErrno_) : shownName_;
}

void TFileStream::SetSize(std::int64_t size) {
    if (!SetSizeNoThrow(size)) throw EWriteError(msg::StreamWrite, shownName_ + ": " + LastSystemError());
}

void TFileStream::Sync() {
#ifdef _WIN32
    const bool synced = _commit(fd_) == 0;
#else
    const bool synced = ::fsync(fd_) == 0;
#endif
    if (!synced) throw EWriteError(msg::StreamWrite, shownName_ + ": " + LastSystemError());
}

bool FileExists(const std::string& name) { return KindOfPath(name) == PathKind::File; }

bool DirectoryExists(const std::string& name) { return KindOfPath(name) == PathKind::Folder; }

std::vector<std::uint8_t> ReadWholeFile(const std::string& name) {
    TFileStream f(name, FileMode::OpenRead);
    std::int64_t size = f.Size();
    std::vector<std::uint8_t> out(static_cast<std::size_t>(size));
    f.ReadBuffer(out.data(), out.size());
    return out;
}

}  // namespace vs
