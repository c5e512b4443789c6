#pragma once
// Byte streams: the abstract stream, a memory stream and a file stream.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vs {

enum class SeekOrigin { Begin, Current, End };

class TStream {
public:
    virtual ~TStream() = default;

    // Reads up to n bytes; returns how many were read.
    virtual std::size_t Read(void* buffer, std::size_t n) = 0;
    // Writes up to n bytes; returns how many were written.
    virtual std::size_t Write(const void* buffer, std::size_t n) = 0;
    virtual std::int64_t Seek(std::int64_t offset, SeekOrigin origin) = 0;

    std::int64_t Position() { return Seek(0, SeekOrigin::Current); }
    void SetPosition(std::int64_t pos) { Seek(pos, SeekOrigin::Begin); }
    virtual std::int64_t Size();
    virtual void SetSize(std::int64_t size);
    std::int64_t Remaining() { return Size() - Position(); }

    // Like Read and Write, but fail with "Stream read error" / "Stream write error"
    // when the whole count cannot be transferred.
    void ReadBuffer(void* buffer, std::size_t n);
    void WriteBuffer(const void* buffer, std::size_t n);
    void WriteBuffer(std::span<const std::uint8_t> bytes) { WriteBuffer(bytes.data(), bytes.size()); }

    // Copies count bytes from source's current position (count 0: all of source from 0).
    std::int64_t CopyFrom(TStream& source, std::int64_t count);

protected:
    // Why the last write fell short, for the "Stream write error" it gives
    // (the file and the system's reason); empty when the stream cannot tell.
    virtual std::string WriteFailureReason() { return {}; }
};

class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<std::uint8_t> bytes) : data_(std::move(bytes)) {}

    std::size_t Read(void* buffer, std::size_t n) override;
    std::size_t Write(const void* buffer, std::size_t n) override;
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(data_.size()); }
    void SetSize(std::int64_t size) override;

    void Clear() { data_.clear(); pos_ = 0; }
    const std::uint8_t* Memory() const { return data_.data(); }
    std::span<const std::uint8_t> bytes() const { return data_; }
    std::vector<std::uint8_t>& buffer() { return data_; }
    std::vector<std::uint8_t> release() { pos_ = 0; return std::move(data_); }

    void LoadFromFile(const std::string& name);
    void SaveToFile(const std::string& name);

private:
    std::vector<std::uint8_t> data_;
    std::size_t pos_ = 0;
};

// A read-only stream over bytes that someone else owns.
class TBytesStream : public TStream {
public:
    explicit TBytesStream(std::span<const std::uint8_t> bytes) : data_(bytes) {}
    std::size_t Read(void* buffer, std::size_t n) override;
    std::size_t Write(const void*, std::size_t) override { return 0; }
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(data_.size()); }

private:
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
};

// CreateNew fails when the file exists already (used for temporary files).
enum class FileMode { OpenRead, OpenReadWrite, Create, CreateNew };

class TFileStream : public TStream {
public:
    // OpenRead/OpenReadWrite fail with "Cannot open file %s" (also for a folder,
    // a named pipe or a device, which are never waited for), Create with
    // "Cannot create file %s".
    TFileStream(const std::string& name, FileMode mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    std::size_t Read(void* buffer, std::size_t n) override;
    std::size_t Write(const void* buffer, std::size_t n) override;
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
    void SetSize(std::int64_t size) override;
    // Flushes to disk; fails with "Stream write error".
    void Sync();
    const std::string& FileName() const { return name_; }
    // The name that write failures give as the file (a temporary file that
    // is to become a target names the target).
    void SetNameInMessages(std::string name) { shownName_ = std::move(name); }
    // The descriptor of the open file, for mapping it.
    int Handle() const { return fd_; }

protected:
    std::string WriteFailureReason() override;

private:
    bool SetSizeNoThrow(std::int64_t size);
    std::string name_;
    std::string shownName_;
    int fd_ = -1;
    int writeErrno_ = 0;
};

// Small file-system helpers.
bool FileExists(const std::string& name);            // a regular file; folders do not count
bool DirectoryExists(const std::string& name);
std::vector<std::uint8_t> ReadWholeFile(const std::string& name);  // "Cannot open file %s"

}  // namespace vs
