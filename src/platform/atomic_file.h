#pragma once
// Writing a file so that a failure never leaves it half written: the bytes go to
// a temporary file in the target's folder, which replaces the target only when
// Commit is called. Without Commit the temporary file is removed, also when a
// signal ends the program (see temp_files.h).
#include <memory>
#include <vector>
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

    // Closes the stream, so that the temporary file can be worked on by its
    // name, and opens it again for reading and writing.
    void CloseStream() { temp_.stream.reset(); }
    TFileStream& ReopenStream();
    // The file takes the user's normal permissions for a new file (the
    // process's umask applied to rw for everyone, and x too for a program)
    // instead of those of a replaced target. Nothing on Windows.
    void UseNormalPermissions(bool program);

    // Flushes to disk and closes the stream; fails with "Cannot create file
    // %s" and the system's reason. Commit then only renames.
    void Finish();
    // Flushes, closes and renames over the target; fails with "Cannot create file %s".
    void Commit();

private:
    friend void CommitTogether(const std::vector<AtomicFile*>& files);
    void Rename();

    std::string target_;
    TempSibling temp_;
    bool committed_ = false;
};

// Commits several files as one step: all are flushed first (a failure there
// leaves every target as it was), then renamed one after the other with the
// ending signals held back, so that a signal cannot fall between the renames.
// Null entries are skipped.
void CommitTogether(const std::vector<AtomicFile*>& files);

// Writes bytes to a file through an AtomicFile.
void WriteFileAtomic(const std::string& target, const void* data, std::size_t size);

// A name in the folder of `target` that no file had when it was made:
// "vs-" and eight hexadecimal digits, ".tmp".
std::string SiblingTempName(const std::string& target);

}  // namespace vs
