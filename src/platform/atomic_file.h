#pragma once
// Writing a file so that a failure never leaves it half written: the bytes go to
// a temporary file in the target's folder, which replaces the target only when
// Commit is called. Without Commit the temporary file is removed, also when a
// signal ends the program (see temp_files.h).
#include <memory>
#include <string>

#include "platform/stream.h"
#include "platform/temp_files.h"

namespace vs {

// A new, empty file with a short unique name in the folder of a target,
// registered as a live temporary file from the moment it exists. The name is
// short whatever the target's length, so that it fits wherever the target
// does. Removing it is the owner's task.
struct TempSibling {
    std::string name;
    std::unique_ptr<TFileStream> stream;
    std::unique_ptr<LiveTempFile> live;
};

// Fails with "Cannot create file %s" (the target's name).
TempSibling CreateTempSibling(const std::string& target);

class AtomicFile {
public:
    // Fails with "Cannot create file %s" (the target's name).
    explicit AtomicFile(std::string target);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    TFileStream& stream() { return *temp_.stream; }
    const std::string& tempName() const { return temp_.name; }
    const std::string& target() const { return target_; }

    // Flushes, closes and renames over the target; fails with "Cannot create file %s".
    void Commit();

private:
    std::string target_;
    TempSibling temp_;
    bool committed_ = false;
};

// Writes bytes to a file through an AtomicFile.
void WriteFileAtomic(const std::string& target, const void* data, std::size_t size);

// A name in the folder of `target` that no file had when it was made:
// "vs-" and eight hexadecimal digits, ".tmp".
std::string SiblingTempName(const std::string& target);

}  // namespace vs
