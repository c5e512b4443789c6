#include "package/packed_file.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <future>

#include "package/filer.h"
#include "package/packing_batch.h"
#include "platform/atomic_file.h"
#include "platform/errors.h"

namespace vs {

int LevelForMode(std::uint8_t mode) {
    switch (mode) {
        case 1: return Z_NO_COMPRESSION;
        case 2: return Z_BEST_SPEED;
        case 4: return Z_BEST_COMPRESSION;
        default: return Z_DEFAULT_COMPRESSION;
    }
}

namespace {

// One zlib stream, written the way a block-wise compression stream writes it:
// the input fed in chunks without flushing, the output taken in blocks of
// 65536 bytes, and the stream finished with no input left. Stored blocks
// (level 0) are laid out by how much output room each call has, so that
// level follows this procedure exactly; for the other levels zlib's output
// does not depend on the room, and it writes straight into a buffer of the
// whole bound, of which only the pages it writes are ever touched.
class Deflater {
public:
    Deflater(int level, std::size_t expectedInput) {
        std::memset(&z_, 0, sizeof z_);
        if (deflateInit2(&z_, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw EZlibError("error");
        if (level != Z_NO_COMPRESSION) {
            boundSize_ = deflateBound(&z_, static_cast<uLong>(std::min<std::size_t>(expectedInput, UINT32_MAX)));
            bound_ = std::make_unique_for_overwrite<std::uint8_t[]>(boundSize_);
            z_.next_out = bound_.get();
            z_.avail_out = static_cast<uInt>(boundSize_);
        } else {
            out_.reserve(expectedInput + expectedInput / 32000 * 5 + 64);
            z_.next_out = out_.data();
            z_.avail_out = 0;
        }
    }
    ~Deflater() { deflateEnd(&z_); }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // Feeds one chunk of input.
    void feed(const std::uint8_t* data, std::size_t n) {
        z_.next_in = const_cast<Bytef*>(data);
        z_.avail_in = static_cast<uInt>(n);
        while (z_.avail_in != 0) {
            if (z_.avail_out == 0) nextBlock();
            if (deflate(&z_, Z_NO_FLUSH) == Z_STREAM_ERROR) throw EZlibError("error");
        }
    }

    std::vector<std::uint8_t> finish() {
        z_.next_in = nullptr;
        z_.avail_in = 0;
        for (;;) {
            int rc = deflate(&z_, Z_FINISH);
            if (rc == Z_STREAM_END) break;
            if (rc == Z_STREAM_ERROR) throw EZlibError("error");
            if (z_.avail_out == 0) nextBlock();
        }
        if (bound_) return std::vector<std::uint8_t>(bound_.get(), z_.next_out);
        out_.resize(static_cast<std::size_t>(z_.next_out - out_.data()));
        return std::move(out_);
    }

private:
    // Room for the next 65536 bytes of output. With the whole bound that is
    // needed only when the input outgrew what was announced: what was written
    // moves into the block buffer, which goes on from there.
    void nextBlock() {
        std::size_t used;
        if (bound_) {
            used = static_cast<std::size_t>(z_.next_out - bound_.get());
            out_.assign(bound_.get(), bound_.get() + used);
            bound_.reset();
        } else {
            used = static_cast<std::size_t>(z_.next_out - out_.data());
        }
        out_.resize(used + kPackOutputBlock);
        z_.next_out = out_.data() + used;
        z_.avail_out = static_cast<uInt>(kPackOutputBlock);
    }

    z_stream z_;
    std::unique_ptr<std::uint8_t[]> bound_;
    std::size_t boundSize_ = 0;
    std::vector<std::uint8_t> out_;
};

}  // namespace

namespace {

// DeflateBytes's chunks, looking at `cancel` before each one.
std::vector<std::uint8_t> DeflateChunks(std::span<const std::uint8_t> data, int level, const std::atomic<bool>* cancel) {
    Deflater d(level, data.size());
    for (std::size_t pos = 0; pos < data.size();) {
        if (cancel && cancel->load(std::memory_order_relaxed)) throw EPackingCancelled();
        const std::size_t n = std::min(kPackInputChunk, data.size() - pos);
        d.feed(data.data() + pos, n);
        pos += n;
    }
    return d.finish();
}

}  // namespace

std::vector<std::uint8_t> DeflateBytes(std::span<const std::uint8_t> data, int level) {
    return DeflateChunks(data, level, nullptr);
}

std::int32_t PackableFileSize(TFileStream& file) {
    std::int64_t size = file.Size();
    if (size > INT32_MAX) throw EFOpenError("File is too large to pack: " + file.FileName());
    return static_cast<std::int32_t>(size);
}

std::vector<std::uint8_t> CompressBytes(std::span<const std::uint8_t> bytes, std::uint8_t mode,
                                        const std::atomic<bool>* cancel) {
    return DeflateChunks(bytes, LevelForMode(mode), cancel);
}

std::vector<std::uint8_t> CompressFile(TFileStream& file, std::int64_t size, std::uint8_t mode,
                                       const std::atomic<bool>* cancel) {
    Deflater d(LevelForMode(mode), static_cast<std::size_t>(size));
    // The file is read in large blocks, the next one while zlib works on the
    // current one, and handed to zlib in chunks of at most 61440 bytes.
    constexpr std::size_t kReadBlock = 16 * kPackInputChunk;
    const std::size_t blockSize = static_cast<std::size_t>(std::min<std::int64_t>(size, kReadBlock));
    std::vector<std::uint8_t> current(blockSize), next(blockSize);
    std::int64_t left = size;
    auto take = [&] { return static_cast<std::size_t>(std::min<std::int64_t>(left, kReadBlock)); };
    std::size_t n = take();
    file.ReadBuffer(current.data(), n);
    left -= static_cast<std::int64_t>(n);
    while (n > 0) {
        std::size_t nextN = take();
        std::future<void> reading;
        if (nextN > 0)
            reading = std::async(std::launch::async, [&file, &next, nextN] { file.ReadBuffer(next.data(), nextN); });
        left -= static_cast<std::int64_t>(nextN);
        try {
            for (std::size_t pos = 0; pos < n;) {
                // Checked per chunk, so that giving up a very large file
                // takes milliseconds, not the rest of its compression.
                if (cancel && cancel->load(std::memory_order_relaxed)) throw EPackingCancelled();
                std::size_t chunk = std::min(kPackInputChunk, n - pos);
                d.feed(current.data() + pos, chunk);
                pos += chunk;
            }
        } catch (...) {
            if (reading.valid()) reading.wait();
            throw;
        }
        if (reading.valid()) reading.get();
        current.swap(next);
        n = nextN;
    }
    return d.finish();
}

// ---- TPackedFile

const ClassInfo& TPackedFile::StaticClassInfo() {
    static const ClassInfo info = [] {
        ClassInfo c{"TPackedFile", &TCollectionItem::StaticClassInfo(), {}, {}};
        PropInfo name;
        name.name = "Filename";
        name.kind = PropKind::String;
        name.getStr = [](const TPersistent& o) { return static_cast<const TPackedFile&>(o).Filename(); };
        name.setStr = [](TPersistent& o, const std::string& v) { static_cast<TPackedFile&>(o).SetFilename(v); };
        // A reader packs the named local file only when it was asked to.
        name.readStr = [](TPersistent& o, const std::string& v, TReader& reader) {
            auto& file = static_cast<TPackedFile&>(o);
            if (PackingBatch* batch = reader.Packing())
                file.SetFilename(v, *batch);
            else
                file.SetFilenameOnly(v);
        };
        c.props.push_back(std::move(name));
        c.props.push_back(IntegerProp<TPackedFile>("Filesize", &TPackedFile::Filesize));
        c.props.push_back(ByteProp<TPackedFile>("CompressMode", &TPackedFile::CompressMode, 5));
        return c;
    }();
    return info;
}

TPackedFile::TPackedFile(TCollection* collection) : Published(collection) {}

TPackedFile::~TPackedFile() { LeaveBatch(); }

void TPackedFile::LeaveBatch() {
    if (batch_) batch_->Remove(*this);
}

void TPackedFile::SetFilename(const std::string& name) {
    LeaveBatch();
    if (name.empty()) {
        SetFilenameOnly(name);
        return;
    }
    filename_ = name;
    if (FileExists(name)) LoadFromFile(name, CompressMode);
}

void TPackedFile::SetFilename(const std::string& name, PackingBatch& batch) {
    LeaveBatch();
    if (name.empty()) {
        SetFilenameOnly(name);
        return;
    }
    filename_ = name;
    if (FileExists(name)) batch.Add(*this, name);
}

void TPackedFile::SetFilename(const std::string& name, std::shared_ptr<const std::vector<std::uint8_t>> bytes,
                              PackingBatch& batch) {
    LeaveBatch();
    filename_ = name;
    batch.Add(*this, std::move(bytes));
}

void TPackedFile::SetFilenameOnly(const std::string& name) {
    LeaveBatch();
    filename_ = name;
    if (name.empty()) {
        fileData_.clear();
        fileData_.shrink_to_fit();
        unreadSize_ = 0;
    }
}

void TPackedFile::LoadFromFile(const std::string& name, std::uint8_t mode) {
    LeaveBatch();
    CompressMode = mode;
    TFileStream file(name, FileMode::OpenRead);
    std::int32_t size = PackableFileSize(file);
    Filesize = size;
    if (size == 0) throw EReadError(msg::InputFileEmpty);
    fileData_ = CompressFile(file, size, mode);
}

void TPackedFile::SetData(std::vector<std::uint8_t> bytes) {
    LeaveBatch();
    fileData_ = std::move(bytes);
}

void TPackedFile::SetData(TStream& stream) {
    LeaveBatch();
    if (auto* ms = dynamic_cast<TMemoryStream*>(&stream); ms && ms->Position() == 0) {
        fileData_ = ms->release();  // the reader's temporary buffer is not needed again
        return;
    }
    std::int64_t n = stream.Size() - stream.Position();
    if (n < 0) n = 0;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(n));
    stream.ReadBuffer(bytes.data(), bytes.size());
    fileData_ = std::move(bytes);
}

void TPackedFile::WriteCompressed(TStream& stream) const {
    RequireData();
    if (!fileData_.empty()) stream.WriteBuffer(fileData_.data(), fileData_.size());
}

InflateOutcome InflateWhole(std::span<const std::uint8_t> data, std::uint64_t size,
                            const std::function<void(const std::uint8_t*, std::size_t)>& sink, std::size_t blockSize) {
    z_stream z;
    std::memset(&z, 0, sizeof z);
    if (inflateInit(&z) != Z_OK) return InflateOutcome::NoMemory;
    struct End {
        z_stream& z;
        ~End() { inflateEnd(&z); }
    } end{z};
    z.next_in = const_cast<Bytef*>(reinterpret_cast<const Bytef*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    std::vector<std::uint8_t> block(std::max<std::size_t>(blockSize, 1));
    std::uint64_t total = 0;
    for (;;) {
        // Output is asked for up to the expected size; past it, any byte at
        // all means the stream is longer.
        const std::uint64_t room = size - total;
        const uInt offered = static_cast<uInt>(room > 0 ? std::min<std::uint64_t>(room, block.size()) : block.size());
        z.next_out = block.data();
        z.avail_out = offered;
        const int rc = inflate(&z, Z_NO_FLUSH);
        const std::size_t got = offered - z.avail_out;
        if (room == 0 && got > 0) return InflateOutcome::Longer;
        if (got) sink(block.data(), got);
        total += got;
        if (rc == Z_STREAM_END) break;
        if (rc == Z_MEM_ERROR) return InflateOutcome::NoMemory;
        if (rc == Z_BUF_ERROR && z.avail_in == 0) return total < size ? InflateOutcome::Short : InflateOutcome::Unended;
        if (rc != Z_OK && rc != Z_BUF_ERROR) return InflateOutcome::BadData;
    }
    if (total < size) return InflateOutcome::Short;
    if (z.avail_in != 0) return InflateOutcome::Trailing;
    return InflateOutcome::Complete;
}

namespace {

// Writes exactly `size` bytes and checks the stream to its end. The rule is
// the engine's (InflateWhole decides for both): a stream that goes on past
// the stored size, or is followed by other bytes, is damaged, as the engine
// would refuse the projector that carries it.
template <typename Sink>
void inflateTo(const std::vector<std::uint8_t>& data, std::int64_t size, Sink&& sink) {
    if (size <= 0) throw EInvalidOperation(msg::InvalidStreamOperation);
    switch (InflateWhole(data, static_cast<std::uint64_t>(size), sink, kPackOutputBlock)) {
        case InflateOutcome::Complete:
            return;
        case InflateOutcome::Longer:
            throw EZlibError("Packed data is longer than the file's stored size");
        case InflateOutcome::Trailing:
            throw EZlibError("Packed data is followed by other bytes");
        case InflateOutcome::Short:
            throw ETruncatedPackedData();
        case InflateOutcome::Unended:
        case InflateOutcome::BadData:
        case InflateOutcome::NoMemory:
            break;
    }
    throw EZlibError("error");
}

}  // namespace

void TPackedFile::RequireData() const {
    if (fileData_.empty() && unreadSize_)
        throw EInvalidOperation("The packed data of " + filename_ + " was passed over when it was read");
}

void TPackedFile::InflateTo(const std::function<void(const std::uint8_t*, std::size_t)>& sink) const {
    RequireData();
    inflateTo(fileData_, Filesize, sink);
}

std::vector<std::uint8_t> TPackedFile::Extract() const {
    RequireData();
    std::vector<std::uint8_t> out;
    if (Filesize > 0) out.reserve(static_cast<std::size_t>(Filesize));
    inflateTo(fileData_, Filesize, [&](const std::uint8_t* p, std::size_t n) { out.insert(out.end(), p, p + n); });
    return out;
}

void TPackedFile::ExtractToFile(const std::string& name) const {
    RequireData();
    if (Filesize <= 0) throw EInvalidOperation(msg::InvalidStreamOperation);
    AtomicFile target(name);
    inflateTo(fileData_, Filesize, [&](const std::uint8_t* p, std::size_t n) { target.stream().WriteBuffer(p, n); });
    target.Commit();
}

bool TPackedFile::SameData(const TPackedFile& other) const {
    if (IsEmpty() || other.IsEmpty()) return IsEmpty() && other.IsEmpty();
    return &classInfo() == &other.classInfo() && fileData_ == other.fileData_;
}

void TPackedFile::Assign(const TPersistent& source) {
    if (auto* src = dynamic_cast<const TPackedFile*>(&source)) {
        if (src == this) return;
        // The setter would load the file and its bytes be replaced at once:
        // only what loading leaves besides them (the checks and Filesize) is done.
        LeaveBatch();
        filename_ = src->Filename();
        if (!filename_.empty() && FileExists(filename_)) {
            TFileStream file(filename_, FileMode::OpenRead);
            Filesize = PackableFileSize(file);
            if (Filesize == 0) throw EReadError(msg::InputFileEmpty);
        } else if (filename_.empty()) {
            fileData_.clear();
        }
        CompressMode = src->CompressMode;
        fileData_ = src->fileData_;
        unreadSize_ = src->unreadSize_;
        return;
    }
    TCollectionItem::Assign(source);
}

void TPackedFile::DefineProperties(TFiler& filer) {
    bool hasData;
    if (auto* ancestor = dynamic_cast<TPackedFile*>(filer.Ancestor()))
        hasData = !SameData(*ancestor);
    else
        hasData = filer.Ancestor() ? true : !IsEmpty();
    if (auto* reader = dynamic_cast<TReader*>(&filer); reader && reader->Options().packedData == PackedData::SizeOnly) {
        reader->DefineSkippedBinaryProperty("Data", [this](std::uint32_t n) {
            LeaveBatch();
            fileData_.clear();
            unreadSize_ = n;
        });
        return;
    }
    filer.DefineBinaryProperty(
        "Data", [this](TStream& s) { SetData(s); }, [this](TStream& s) { WriteCompressed(s); }, hasData);
}

// ---- TPackedFiles

const ClassInfo& TPackedFiles::StaticClassInfo() {
    static const ClassInfo info{"TPackedFiles", &TCollection::StaticClassInfo(), {}, {}};
    return info;
}

std::unique_ptr<TCollectionItem> TPackedFiles::CreateItem() { return std::make_unique<TPackedFile>(this); }

TPackedFile& TPackedFiles::Add() {
    auto& item = static_cast<TPackedFile&>(AddItem());
    item.CompressMode = DefaultCompressMode;
    return item;
}

TPackedFile& TPackedFiles::AddFile(const std::string& name) {
    TPackedFile& item = Add();
    item.SetFilename(name);
    return item;
}

TPackedFile& TPackedFiles::AddFile(const std::string& name, PackingBatch& batch) {
    TPackedFile& item = Add();
    item.SetFilename(name, batch);
    return item;
}

}  // namespace vs
