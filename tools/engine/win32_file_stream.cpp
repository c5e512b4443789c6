#include "win32_file_stream.h"

#include "platform/errors.h"

namespace vs::win32 {

Win32ReadStream::Win32ReadStream(const std::wstring& path)
    : h_(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr)) {
    if (h_ == INVALID_HANDLE_VALUE) throw EFOpenError(cannotOpenFile(Utf8(path)));
}

Win32ReadStream::~Win32ReadStream() { CloseHandle(h_); }

std::size_t Win32ReadStream::Read(void* buffer, std::size_t n) {
    auto* p = static_cast<char*>(buffer);
    std::size_t total = 0;
    while (total < n) {
        DWORD want = static_cast<DWORD>(std::min<std::size_t>(n - total, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(h_, p + total, want, &got, nullptr) || got == 0) break;
        total += got;
    }
    return total;
}

std::int64_t Win32ReadStream::Seek(std::int64_t offset, SeekOrigin origin) {
    LARGE_INTEGER move, now;
    move.QuadPart = offset;
    DWORD how = origin == SeekOrigin::Begin ? FILE_BEGIN : origin == SeekOrigin::Current ? FILE_CURRENT : FILE_END;
    if (!SetFilePointerEx(h_, move, &now, how)) throw EReadError(msg::StreamRead);
    return now.QuadPart;
}

}  // namespace vs::win32
