#pragma once
// A read-only stream over a file opened with its UTF-16 name, so that a
// projector whose path the ANSI code page cannot spell still finds its package.
#include "platform/stream.h"
#include "win32/win32_util.h"

namespace vs::win32 {

class Win32ReadStream : public TStream {
public:
    explicit Win32ReadStream(const std::wstring& path);  // fails with "Cannot open file %s"
    ~Win32ReadStream() override;
    Win32ReadStream(const Win32ReadStream&) = delete;
    Win32ReadStream& operator=(const Win32ReadStream&) = delete;

    std::size_t Read(void* buffer, std::size_t n) override;
    std::size_t Write(const void*, std::size_t) override { return 0; }
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;

private:
    HANDLE h_;
};

}  // namespace vs::win32
