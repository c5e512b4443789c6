#pragma once
// A private, writable copy of a whole file in memory, made without reading
// the file: the file is mapped copy-on-write (mmap MAP_PRIVATE, or a
// FILE_MAP_COPY view on Windows), so only pages that are changed are ever
// copied, and nothing written to the copy reaches the file. When the system
// gives no mapping the file is read.
#include <cstdint>
#include <span>
#include <vector>

#include "platform/stream.h"

namespace vs {

class WorkingCopy {
public:
    // The whole of an open file; "Stream read error" when it cannot be had.
    explicit WorkingCopy(TFileStream& file);
    ~WorkingCopy();
    WorkingCopy(const WorkingCopy&) = delete;
    WorkingCopy& operator=(const WorkingCopy&) = delete;

    std::span<std::uint8_t> bytes() { return {data_, size_}; }

private:
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    bool mapped_ = false;
    std::vector<std::uint8_t> read_;
};

}  // namespace vs
