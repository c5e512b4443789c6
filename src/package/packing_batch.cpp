#include "package/packing_batch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "package/packed_file.h"
#include "platform/errors.h"
#include "platform/stream.h"

namespace vs {

namespace {

unsigned CoreCount() {
    unsigned n = std::thread::hardware_concurrency();
    return n ? n : 1;
}

struct Compressed {
    std::vector<std::uint8_t> bytes;
    std::exception_ptr error;
};

// The file must still have the size it had when it was registered: the
// packed file's Filesize was taken then.
Compressed CompressOne(const std::string& name, const std::vector<std::uint8_t>* bytes, std::uint8_t mode,
                       std::int32_t size, const std::atomic<bool>& stop) {
    Compressed out;
    try {
        if (bytes) {
            out.bytes = CompressBytes(*bytes, mode, &stop);
            return out;
        }
        TFileStream file(name, FileMode::OpenRead);
        if (PackableFileSize(file) != size) throw EFOpenError("The file " + name + " changed while it was packed");
        out.bytes = CompressFile(file, size, mode, &stop);
    } catch (...) {
        out.error = std::current_exception();
    }
    return out;
}

}  // namespace

PackingBatch::PackingBatch(unsigned jobs) : jobs_(jobs ? jobs : CoreCount()) {}

PackingBatch::~PackingBatch() {
    for (Job& job : pending_) job.file->batch_ = nullptr;
}

std::size_t PackingBatch::Count() const { return pending_.size(); }

void PackingBatch::Add(TPackedFile& file, const std::string& name) {
    Remove(file);
    TFileStream stream(name, FileMode::OpenRead);
    const std::int32_t size = PackableFileSize(stream);
    file.Filesize = size;
    if (size == 0) throw EReadError(msg::InputFileEmpty);
    pending_.push_back({&file, name, file.CompressMode, size, nullptr});
    file.batch_ = this;
}

void PackingBatch::Add(TPackedFile& file, std::shared_ptr<const std::vector<std::uint8_t>> bytes) {
    Remove(file);
    if (bytes->size() > INT32_MAX) throw EFOpenError("File is too large to pack: " + file.Filename());
    const auto size = static_cast<std::int32_t>(bytes->size());
    file.Filesize = size;
    if (size == 0) throw EReadError(msg::InputFileEmpty);
    pending_.push_back({&file, file.Filename(), file.CompressMode, size, std::move(bytes)});
    file.batch_ = this;
}

void PackingBatch::Remove(TPackedFile& file) {
    if (file.batch_ != this) return;
    file.batch_ = nullptr;
    std::erase_if(pending_, [&](const Job& job) { return job.file == &file; });
    // A file forgotten while the batch runs keeps its place, without a target.
    if (running_)
        for (Job& job : *running_)
            if (job.file == &file) job.file = nullptr;
}

void PackingBatch::Run(const PackingObserver& observer) {
    std::vector<Job> jobs;
    jobs.swap(pending_);
    if (jobs.empty()) return;
    running_ = &jobs;
    struct Running {
        PackingBatch& batch;
        ~Running() { batch.running_ = nullptr; }
    } running{*this};

    const std::size_t total = jobs.size();
    std::vector<Compressed> results(total);
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable finishedOne;
    std::size_t finished = 0;

    // The workers read only the names and modes, which stay put, and write
    // only their own result slots.
    std::vector<Job> work = jobs;
    auto worker = [&] {
        for (std::size_t i; !stop && (i = next++) < total;) {
            results[i] = CompressOne(work[i].name, work[i].bytes.get(), work[i].mode, work[i].size, stop);
            std::lock_guard lock(mutex);
            ++finished;
            finishedOne.notify_one();
        }
    };
    // The observer may end the run (the user cancels) from its first call on;
    // every file it leaves must then be released from the batch.
    try {
        if (observer.progress) observer.progress(0, total);
        std::vector<std::jthread> threads;
        struct StopOnLeave {
            std::atomic<bool>& stop;
            ~StopOnLeave() { stop = true; }  // runs before the threads are joined
        };
        const auto count = static_cast<std::size_t>(std::min<std::size_t>(jobs_, total));
        for (std::size_t t = 0; t < count; ++t) threads.emplace_back(worker);
        StopOnLeave stopOnLeave{stop};

        std::size_t reported = 0;
        for (;;) {
            std::unique_lock lock(mutex);
            finishedOne.wait_for(lock, std::chrono::milliseconds(20), [&] { return finished != reported; });
            const std::size_t done = finished;
            lock.unlock();
            if (done != reported) {
                reported = done;
                if (observer.progress) observer.progress(done, total);
            }
            if (done == total) break;
            if (observer.waiting) observer.waiting();
        }
    } catch (...) {
        for (Job& job : jobs)
            if (job.file) job.file->batch_ = nullptr;
        throw;
    }

    std::exception_ptr first;
    for (std::size_t i = 0; i < total; ++i) {
        TPackedFile* file = jobs[i].file;
        if (!file) continue;
        file->batch_ = nullptr;
        if (results[i].error) {
            if (!first) first = results[i].error;
            continue;
        }
        file->fileData_ = std::move(results[i].bytes);
    }
    if (first) std::rethrow_exception(first);
}

}  // namespace vs
