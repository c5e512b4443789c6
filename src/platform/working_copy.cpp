#include "platform/working_copy.h"

#include "platform/errors.h"

#ifndef _WIN32
#include <sys/mman.h>
#endif

namespace vs {

WorkingCopy::WorkingCopy(TFileStream& file) {
    const std::int64_t size = file.Size();
    if (size < 0) throw EReadError(msg::StreamRead);
    size_ = static_cast<std::size_t>(size);
#ifndef _WIN32
    if (size_ > 0) {
        void* map = ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE, file.Handle(), 0);
        if (map != MAP_FAILED) {
            data_ = static_cast<std::uint8_t*>(map);
            mapped_ = true;
            return;
        }
    }
#endif
    read_.resize(size_);
    file.SetPosition(0);
    file.ReadBuffer(read_.data(), read_.size());
    data_ = read_.data();
}

WorkingCopy::~WorkingCopy() {
#ifndef _WIN32
    if (mapped_) ::munmap(data_, size_);
#endif
}

}  // namespace vs
