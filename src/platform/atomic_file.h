#pragma once
// Writing a file so that a failure never leaves it half written: the bytes go to
// a temporary file in the target's folder, which replaces the target only when
// Commit is called. Without Commit the temporary file is removed.
#include <memory>
#include <string>

#include "platform/stream.h"

namespace vs {

class AtomicFile {
public:
    // Fails with "Cannot create file %s" (the target's name).
    explicit AtomicFile(std::string target);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    TFileStream& stream() { return *stream_; }
    const std::string& tempName() const { return temp_; }
    const std::string& target() const { return target_; }

    // Flushes, closes and renames over the target; fails with "Cannot create file %s".
    void Commit();

private:
    std::string target_;
    std::string temp_;
    std::unique_ptr<TFileStream> stream_;
    bool committed_ = false;
};

// Writes bytes to a file through an AtomicFile.
void WriteFileAtomic(const std::string& target, const void* data, std::size_t size);

// A unique file name beside `target` that does not exist yet.
std::string SiblingTempName(const std::string& target);

}  // namespace vs
