#include "platform/working_copy.h"

#include "platform/errors.h"

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#else
#include <sys/mman.h>
#endif

namespace vs {

namespace {

// A copy-on-write view of the whole file, or null when the system gives none.
void* MapPrivately(TFileStream& file, std::size_t size) {
    if (size == 0) return nullptr;
#ifdef _WIN32
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(file.Handle()));
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    HANDLE mapping = CreateFileMappingW(handle, nullptr, PAGE_WRITECOPY, 0, 0, nullptr);
    if (!mapping) return nullptr;
    void* view = MapViewOfFile(mapping, FILE_MAP_COPY, 0, 0, size);
    CloseHandle(mapping);  // the view keeps the mapping alive
    return view;
#else
    void* map = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE, file.Handle(), 0);
    return map == MAP_FAILED ? nullptr : map;
#endif
}

}  // namespace

WorkingCopy::WorkingCopy(TFileStream& file) {
    const std::int64_t size = file.Size();
    if (size < 0 || static_cast<std::uint64_t>(size) > SIZE_MAX) throw EReadError(msg::StreamRead);
    size_ = static_cast<std::size_t>(size);
    if (void* map = MapPrivately(file, size_)) {
        data_ = static_cast<std::uint8_t*>(map);
        mapped_ = true;
        return;
    }
    read_.resize(size_);
    file.SetPosition(0);
    file.ReadBuffer(read_.data(), read_.size());
    data_ = read_.data();
}

WorkingCopy::~WorkingCopy() {
    if (!mapped_) return;
#ifdef _WIN32
    UnmapViewOfFile(data_);
#else
    ::munmap(data_, size_);
#endif
}

}  // namespace vs
