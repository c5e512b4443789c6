#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#include <io.h>

#include "platform/win32.h"
#else
#include <unistd.h>
#endif

namespace vs {

namespace fs = std::filesystem;

#ifdef _WIN32

namespace {
// The UTF-16 name of a UTF-8 one; false when the bytes are no UTF-8, which
// would otherwise name some other file (with U+FFFD in its name).
bool WideName(const std::string& utf8, std::wstring& wide) {
    wide = win32::Wide(utf8);
    return win32::Utf8(wide) == utf8;
}
}  // namespace

// The file is opened with every sharing mode, FILE_SHARE_DELETE included, as
// POSIX systems open theirs: a temporary file that is still being written can
// then be marked for removal when the program is cut short (temp_files.cpp),
// and goes as soon as the last handle closes. The mode is not used: a file
// the program creates is one the user may change.
int OpenFileDescriptor(const std::string& name, int flags, int) {
    std::wstring wide;
    if (!WideName(name, wide)) {
        errno = ENOENT;
        return -1;
    }
    const int accessMode = flags & (O_RDONLY | O_WRONLY | O_RDWR);
    const DWORD access = accessMode == O_RDWR     ? GENERIC_READ | GENERIC_WRITE
                         : accessMode == O_WRONLY ? GENERIC_WRITE
                                                  : GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    if ((flags & O_CREAT) && (flags & O_EXCL)) disposition = CREATE_NEW;
    else if ((flags & O_CREAT) && (flags & O_TRUNC)) disposition = CREATE_ALWAYS;
    else if (flags & O_CREAT) disposition = OPEN_ALWAYS;
    else if (flags & O_TRUNC) disposition = TRUNCATE_EXISTING;
    HANDLE h = CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME: errno = ENOENT; break;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: errno = EEXIST; break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: errno = EACCES; break;
        default: errno = EIO; break;
        }
        return -1;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h),
                                     (accessMode == O_RDONLY ? _O_RDONLY : 0) | (flags & O_APPEND ? _O_APPEND : 0));
    if (fd < 0) {
        CloseHandle(h);
        errno = EMFILE;
    }
    return fd;
}

PathKind KindOfPath(const std::string& name) {
    std::wstring wide;
    if (!WideName(name, wide)) return PathKind::Missing;
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::Folder;
    if (attributes & FILE_ATTRIBUTE_DEVICE) return PathKind::Other;
    return PathKind::File;
}

bool RemoveFile(const std::string& name) {
    std::wstring wide;
    return WideName(name, wide) && DeleteFileW(wide.c_str()) != 0;
}

bool MoveReplacing(const std::string& source, const std::string& target) {
    std::wstring from, to;
    return WideName(source, from) && WideName(target, to) &&
           MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

std::string TemporaryFolder() {
    wchar_t buf[MAX_PATH + 2];
    const DWORD n = GetTempPathW(MAX_PATH + 1, buf);
    if (n == 0 || n > MAX_PATH + 1) return {};
    return Utf8Of(fs::path(std::wstring(buf, n)));
}

#else

int OpenFileDescriptor(const std::string& name, int flags, int mode) { return ::open(name.c_str(), flags, mode); }

PathKind KindOfPath(const std::string& name) {
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0) return PathKind::Missing;
    if (S_ISREG(st.st_mode)) return PathKind::File;
    if (S_ISDIR(st.st_mode)) return PathKind::Folder;
    return PathKind::Other;
}

bool RemoveFile(const std::string& name) { return std::remove(name.c_str()) == 0; }

bool MoveReplacing(const std::string& source, const std::string& target) {
    return std::rename(source.c_str(), target.c_str()) == 0;
}

std::string TemporaryFolder() {
    std::error_code ec;
    fs::path temp = fs::temp_directory_path(ec);
    if (ec || temp.empty()) return {};
    std::string out = temp.string();
    if (out.back() != '/') out += '/';
    return out;
}

#endif

fs::path PathOf(std::string_view utf8) {
    return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string Utf8Of(const fs::path& path) {
    const std::u8string s = path.u8string();
    return std::string(reinterpret_cast<const char*>(s.data()), s.size());
}

}  // namespace vs
