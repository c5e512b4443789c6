#include "swf/bmh.h"


#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include "platform/ascii.h"
#include "platform/file_system.h"
#include "platform/posix_io.h"


namespace vs {

FoldedSearch::FoldedSearch(std::string_view pattern, Fold fold) : pattern_(pattern) {
    for (int b = 0; b < 256; ++b) {
        const auto c = static_cast<std::uint8_t>(b);
        fold_[b] = fold == Fold::Upper ? AsciiUpper(c) : AsciiLower(c);
    }
    const std::size_t m = pattern_.size();
    shift_.fill(m);
    for (std::size_t j = 0; j + 1 < m; ++j) shift_[static_cast<std::uint8_t>(pattern_[j])] = m - 1 - j;
    if (m < 2) return;
    // A pair that the pattern holds nowhere lets the window move on until
    // only its last byte could still be the pattern's first; a pair that it
    // holds ending at j moves the window to align the two (shifts of 255 and
    // more are cut to 255, which is only ever safe).
    const auto cap = [](std::size_t v) { return static_cast<std::uint8_t>(v > 255 ? 255 : v); };
    pairShift_.assign(65536, cap(m - 1));
    for (std::size_t j = 1; j + 1 < m; ++j)
        pairShift_[static_cast<std::uint8_t>(pattern_[j - 1]) * 256u + static_cast<std::uint8_t>(pattern_[j])] =
            cap(m - 1 - j);
}

std::int64_t FoldedSearch::find(std::span<const std::uint8_t> haystack, std::size_t from) const {
    const std::size_t m = pattern_.size();
    const std::size_t n = haystack.size();
    if (from > n || m > n - from) return -1;
    if (m == 0) return static_cast<std::int64_t>(from);
    const auto* pat = reinterpret_cast<const std::uint8_t*>(pattern_.data());
    const std::uint8_t* h = haystack.data();
    // `last` is the index of the window's last byte.
    for (std::size_t last = from + m - 1; last < n;) {
        std::uint8_t tail = fold_[h[last]];
        if (tail == pat[m - 1]) {
            std::size_t k = m - 1;
            const std::size_t start = last + 1 - m;
            while (k > 0 && fold_[h[start + k - 1]] == pat[k - 1]) --k;
            if (k == 0) return static_cast<std::int64_t>(start);
        }
        last += m < 2 ? shift_[tail] : pairShift_[fold_[h[last - 1]] * 256u + tail];
    }
    return -1;
}

namespace {

// DOS file error codes, which the scan messages name.
int DosErrorCode(int err, int fallback) {
    switch (err) {
        case ENOENT: return 2;
        case ENOTDIR: return 3;
        case EMFILE: case ENFILE: return 4;
        case EACCES: case EPERM: case EISDIR: case EROFS: case ETXTBSY: return 5;
        case EBADF: return 6;
        case EINVAL: return 12;
        case ENXIO: case ENODEV: return 15;
        default: return fallback;
    }
}

}  // namespace

const char* DosErrorReason(int code) {
    switch (code) {
        case 2: return "File not found";
        case 3: return "Path not found";
        case 4: return "Too many open files";
        case 5: return "File access denied";
        case 6: return "Invalid file handle";
        case 12: return "Invalid file access code";
        case 15: return "Invalid drive";
        case 100: return "Disk read error";
        case 101: return "Disk write error";
        case 102: return "File not assigned";
        case 103: return "File not open";
        default: return "";
    }
}

namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Reads up to n bytes; -1 on a read error.
long long ReadSome(int fd, std::uint8_t* p, std::size_t n) {
    std::size_t total = 0;
    while (total < n) {
        auto got = ::read(fd, p + total, static_cast<unsigned>(n - total));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        total += static_cast<std::size_t>(got);
    }
    return static_cast<long long>(total);
}

}  // namespace

FileSearch FindInFile(const std::string& pattern, const std::string& fileName) {
    std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[kSearchBlockSize]);
    if (!block) return {-1, ScanFailure{ScanFailure::Kind::OutOfMemory, fileName, 0}};
    const std::size_t m = pattern.size();
    // A pattern that does not fit into one block with room to move on cannot be
    // found by a block search, and stepping back by its length would never advance.
    if (m == 0 || m >= kSearchBlockSize) return {m == 0 ? 0 : -1, std::nullopt};

    FoldedSearch search(pattern, FoldedSearch::Fold::Upper);
    Fd fd(OpenFileDescriptor(fileName, O_RDONLY | VS_OPEN_FLAGS));
    auto fail = [&](int code) { return FileSearch{-1, ScanFailure{ScanFailure::Kind::FileError, fileName, code}}; };
    if (fd.get() < 0) return fail(DosErrorCode(errno, 2));

    std::int64_t blockStart = 0;
    for (;;) {
        long long n = ReadSome(fd.get(), block.get(), kSearchBlockSize);
        if (n < 0) return fail(DosErrorCode(errno, 100));
        if (n == 0) return {};
        std::int64_t at = search.find({block.get(), static_cast<std::size_t>(n)});
        if (at >= 0) return {blockStart + at, std::nullopt};
        if (static_cast<std::size_t>(n) < kSearchBlockSize) {
            blockStart += n;
            continue;  // the next read returns 0 at the end of the file
        }
        // Overlap the next block with this one so that a match across the seam is found.
        blockStart += n - static_cast<std::int64_t>(m);
        if (VS_LSEEK(fd.get(), blockStart, SEEK_SET) < 0) return fail(DosErrorCode(errno, 100));
    }
}

}  // namespace vs
