#pragma once
// Packing as an explicit batch. Whoever packs many files at once (a stream
// reader that packs local files, a project save, a build) opens a batch,
// sets the packed files' names against it, and runs it: every registered file
// is compressed on its own thread, and each result lands in its own packed
// file. Packed files are independent zlib streams, so the bytes are exactly
// those of compressing the files one after the other.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vs {

class TPackedFile;

struct PackingObserver {
    // Called on the thread that runs the batch, about every 20 ms while files
    // are being compressed (the window lets its pending messages run here).
    std::function<void()> waiting;
    // Called on the same thread once at the start and after each finished
    // file: files done out of the batch's total.
    std::function<void(std::size_t done, std::size_t total)> progress;
};

class PackingBatch {
public:
    // `jobs` threads at most; 0 takes one per core.
    explicit PackingBatch(unsigned jobs = 0);
    ~PackingBatch();
    PackingBatch(const PackingBatch&) = delete;
    PackingBatch& operator=(const PackingBatch&) = delete;

    unsigned Jobs() const { return jobs_; }
    // Files registered and not yet compressed.
    std::size_t Count() const;

    // Registers a file to be compressed at the packed file's CompressMode.
    // The file is checked now as loading it would: "Cannot open file %s",
    // "Input file is empty", a file too large to pack; the packed file's
    // CompressMode and Filesize are then as loading leaves them.
    void Add(TPackedFile& file, const std::string& name);
    // Registers bytes held in memory, packed under the file's name.
    void Add(TPackedFile& file, std::shared_ptr<const std::vector<std::uint8_t>> bytes);
    // Forgets a registered file (its name changed, its data was replaced, it
    // is destroyed).
    void Remove(TPackedFile& file);

    // Compresses every registered file and stores each result in its packed
    // file (a file whose size changed since it was registered fails). Fails with the error of the first file, in registration order,
    // that could not be compressed; every other file keeps its result. Files
    // registered by the observer while the batch runs wait for the next run.
    void Run(const PackingObserver& observer = {});

private:
    struct Job {
        TPackedFile* file;
        std::string name;
        std::uint8_t mode;
        std::int32_t size;  // when registered
        std::shared_ptr<const std::vector<std::uint8_t>> bytes;  // packed instead of the named file
    };
    unsigned jobs_;
    std::vector<Job> pending_;
    std::vector<Job>* running_ = nullptr;
};

}  // namespace vs
