// The Windows identity of a file: the serial number of its volume and its
// file index, which stay the same whatever name or link leads to the file.
#ifdef _WIN32
#include "platform/file_identity.h"
#include "platform/win32.h"

namespace vs {

std::optional<FileIdentity> IdentityOf(const std::string& name) {
    if (name.empty()) return std::nullopt;
    // Backup semantics let a folder be opened too; no access is asked for,
    // so a file that another program holds open still answers.
    HANDLE h = CreateFileW(win32::Wide(name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (!known) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber,
                        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

namespace detail {
// Two names of one folder name the same file when the file system says so: it
// compares them without regard to case by the system's own upper-case table,
// which covers every letter ("\u00c4.exe" and "\u00e4.exe"), not only A to Z.
bool SameNameInAFolder(const std::string& a, const std::string& b) {
    const std::wstring wa = win32::Wide(a), wb = win32::Wide(b);
    return CompareStringOrdinal(wa.data(), static_cast<int>(wa.size()), wb.data(), static_cast<int>(wb.size()), TRUE) ==
           CSTR_EQUAL;
}
}  // namespace detail

}  // namespace vs
#endif
