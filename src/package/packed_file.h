#pragma once
// A disk file carried inside the settings object as one zlib stream, and the
// collection of such files.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "package/persistent.h"
#include "platform/errors.h"
#include "platform/stream.h"

namespace vs {

class PackingBatch;

// Packed data that inflates to fewer bytes than the packed file's size.
class ETruncatedPackedData : public EZlibError {
public:
    ETruncatedPackedData() : EZlibError("Packed data ends before the file is complete") {}
};

// zlib level for a compression mode: 1 stored, 2 best speed, 3 default,
// 4 best compression, anything else the default level.
int LevelForMode(std::uint8_t mode);

inline constexpr std::size_t kPackInputChunk = 61440;
inline constexpr std::size_t kPackOutputBlock = 65536;

// Compresses bytes into one complete zlib stream (window 15, memory level 8,
// default strategy), feeding at most 61440 bytes at a time; the bytes are
// those of taking the output in blocks of 65536 bytes and finishing the
// stream with no input left.
std::vector<std::uint8_t> DeflateBytes(std::span<const std::uint8_t> data, int level);

// How a zlib stream ended when it was inflated whole.
enum class InflateOutcome {
    Complete,  // exactly the expected size, then the stream's end, then nothing
    Longer,    // more output than the expected size (stopped at the first byte past it)
    Short,     // the stream or its input ended before the expected size
    Unended,   // the expected size came out, but the input ended before the stream's end
    Trailing,  // a complete stream followed by more bytes
    BadData,   // not a zlib stream, or its check value does not match
    NoMemory,
};

// Inflates `data` in blocks of at most `blockSize`, handing the first `size`
// bytes to `sink`, and goes on to the stream's end so that zlib compares the
// stream's check value with what came out. Each caller decides what an
// outcome other than Complete means to it.
InflateOutcome InflateWhole(std::span<const std::uint8_t> data, std::uint64_t size,
                            const std::function<void(const std::uint8_t*, std::size_t)>& sink, std::size_t blockSize);

class TPackedFile final : public Published<TPackedFile, TCollectionItem> {
public:
    explicit TPackedFile(TCollection* collection = nullptr);
    ~TPackedFile() override;

    static const ClassInfo& StaticClassInfo();

    const std::string& Filename() const { return filename_; }
    // Sets the name and, when a file of that name exists, loads and compresses
    // it at the current CompressMode. An empty name empties the packed file.
    void SetFilename(const std::string& name);
    // The same, but an existing file is only checked now (opened, its size
    // taken, "Input file is empty") and compressed when the batch runs.
    void SetFilename(const std::string& name, PackingBatch& batch);
    // Sets the name and registers bytes held in memory to be compressed under
    // it when the batch runs; the file of that name is not read.
    void SetFilename(const std::string& name, std::shared_ptr<const std::vector<std::uint8_t>> bytes,
                     PackingBatch& batch);
    // Stores the name and touches no file; an empty name empties the packed
    // file. What a reader of a package from elsewhere does.
    void SetFilenameOnly(const std::string& name);

    std::int32_t Filesize = 0;
    std::uint8_t CompressMode = 0;

    const std::vector<std::uint8_t>& FileData() const { return fileData_; }
    // The count of stored bytes, also when a reader passed them over
    // (PackedData::SizeOnly); such a file cannot be extracted or written.
    std::uint32_t FileDataSize() const {
        return fileData_.empty() ? unreadSize_ : static_cast<std::uint32_t>(fileData_.size());
    }
    bool IsEmpty() const { return FileDataSize() == 0; }
    // Whether a batch still has to compress this file.
    bool PendingInBatch() const { return batch_ != nullptr; }

    void LoadFromFile(const std::string& name, std::uint8_t mode);
    // Replaces the stored bytes by the stream's content from its current position.
    void SetData(TStream& stream);
    void SetData(std::vector<std::uint8_t> bytes);
    void WriteCompressed(TStream& stream) const;
    // Writes the original file back; the target is replaced only when complete.
    void ExtractToFile(const std::string& name) const;
    // The original bytes, inflated in memory.
    std::vector<std::uint8_t> Extract() const;
    // The original bytes handed to `sink` block by block. Fails with "Invalid
    // stream operation" when Filesize is not positive, ETruncatedPackedData
    // when the data ends before Filesize bytes, EZlibError "error" for data
    // that is not a zlib stream.
    void InflateTo(const std::function<void(const std::uint8_t*, std::size_t)>& sink) const;
    bool SameData(const TPackedFile& other) const;

    void Assign(const TPersistent& source) override;
    void DefineProperties(TFiler& filer) override;

private:
    friend class PackingBatch;

    void LeaveBatch();
    // Fails when the stored bytes were passed over by the reader.
    void RequireData() const;

    std::string filename_;
    std::vector<std::uint8_t> fileData_;
    std::uint32_t unreadSize_ = 0;
    PackingBatch* batch_ = nullptr;
};

class TPackedFiles final : public Published<TPackedFiles, TCollection> {
public:
    TPackedFiles() = default;
    static const ClassInfo& StaticClassInfo();

    std::uint8_t DefaultCompressMode = 0;

    TPackedFile& Items(int index) const { return static_cast<TPackedFile&>(Item(index)); }
    // Adds an item with CompressMode = DefaultCompressMode.
    TPackedFile& Add();
    // Adds an item and sets its name (compressing the file when it exists, at
    // once or when the batch runs).
    TPackedFile& AddFile(const std::string& name);
    TPackedFile& AddFile(const std::string& name, PackingBatch& batch);

protected:
    std::unique_ptr<TCollectionItem> CreateItem() override;
};

// Opens a file that is to be packed and returns its size, which a package
// keeps as a signed 32-bit number; fails for larger files.
std::int32_t PackableFileSize(TFileStream& file);

// Compression given up because `cancel` was set.
class EPackingCancelled : public VsError {
public:
    EPackingCancelled() : VsError("Packing was cancelled") {}
};

// Compresses bytes in memory as CompressFile compresses a file of them.
std::vector<std::uint8_t> CompressBytes(std::span<const std::uint8_t> bytes, std::uint8_t mode,
                                        const std::atomic<bool>* cancel = nullptr);

// Compresses the rest of an open file of `size` bytes at a mode's level, with
// the chunking of DeflateBytes. When `cancel` is given it is looked at before
// every chunk; once set, fails with EPackingCancelled.
std::vector<std::uint8_t> CompressFile(TFileStream& file, std::int64_t size, std::uint8_t mode,
                                       const std::atomic<bool>* cancel = nullptr);

}  // namespace vs
