#include "package/packed_file.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <future>

#include "package/filer.h"
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

class Deflater {
public:
    explicit Deflater(int level, std::size_t expectedInput) {
        std::memset(&z_, 0, sizeof z_);
        if (deflateInit2(&z_, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw EZlibError("error");
        // Room for the whole result at once, so that zlib can write straight
        // into place (and copy stored blocks directly from the input).
        out_.resize(deflateBound(&z_, static_cast<uLong>(std::min<std::size_t>(expectedInput, UINT32_MAX))));
        z_.next_out = out_.data();
        z_.avail_out = static_cast<uInt>(out_.size());
    }
    ~Deflater() { deflateEnd(&z_); }

    // Feeds one chunk of input.
    void feed(const std::uint8_t* data, std::size_t n, bool last) {
        z_.next_in = const_cast<Bytef*>(data);
        z_.avail_in = static_cast<uInt>(n);
        int flush = last ? Z_FINISH : Z_NO_FLUSH;
        for (;;) {
            if (z_.avail_out == 0) {  // only when the input outgrew what was announced
                std::size_t used = out_.size();
                out_.resize(used + kPackOutputBlock);
                z_.next_out = out_.data() + used;
                z_.avail_out = kPackOutputBlock;
            }
            int rc = deflate(&z_, flush);
            if (rc == Z_STREAM_ERROR) throw EZlibError("error");
            if (last ? rc == Z_STREAM_END : (z_.avail_in == 0 && z_.avail_out != 0)) break;
        }
    }

    std::vector<std::uint8_t> finish() {
        out_.resize(static_cast<std::size_t>(z_.next_out - out_.data()));
        // Give back what the bound reserved when much of it went unused; the
        // copy is cheap then, the result being small.
        if (out_.capacity() - out_.size() > out_.size() / 8 + (1u << 20)) out_.shrink_to_fit();
        return std::move(out_);
    }

private:
    z_stream z_;
    std::vector<std::uint8_t> out_;
};

}  // namespace

std::vector<std::uint8_t> DeflateBytes(std::span<const std::uint8_t> data, int level) {
    Deflater d(level, data.size());
    std::size_t pos = 0;
    do {
        std::size_t n = std::min(kPackInputChunk, data.size() - pos);
        d.feed(data.data() + pos, n, pos + n == data.size());
        pos += n;
    } while (pos < data.size());
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
        c.props.push_back(std::move(name));
        c.props.push_back(IntegerProp("Filesize", &TPackedFile::Filesize));
        c.props.push_back(ByteProp("CompressMode", &TPackedFile::CompressMode, 5));
        return c;
    }();
    return info;
}

TPackedFile::TPackedFile(TCollection* collection) : TCollectionItem(collection) {}

TPackedFile::~TPackedFile() { CancelDeferredLoad(); }

void TPackedFile::CancelDeferredLoad() {
    if (TReader* reader = TReader::Current()) reader->CancelDeferred(this);
}

namespace {

// Opens a file to pack and checks its size, which the stream keeps as a
// signed 32-bit number.
std::int32_t openForPacking(TFileStream& file, const std::string& name) {
    std::int64_t size = file.Size();
    if (size > INT32_MAX) throw EFOpenError("File is too large to pack: " + name);
    return static_cast<std::int32_t>(size);
}

std::vector<std::uint8_t> compressFile(TFileStream& file, std::int64_t size, std::uint8_t mode) {
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
        for (std::size_t pos = 0; pos < n;) {
            std::size_t chunk = std::min(kPackInputChunk, n - pos);
            d.feed(current.data() + pos, chunk, nextN == 0 && pos + chunk == n);
            pos += chunk;
        }
        if (reading.valid()) reading.get();
        current.swap(next);
        n = nextN;
    }
    return d.finish();
}

}  // namespace

void TPackedFile::SetFilename(const std::string& name) {
    CancelDeferredLoad();
    if (!name.empty()) {
        filename_ = name;
        if (!FileExists(name)) return;
        TReader* reader = TReader::Current();
        if (!reader) {
            LoadFromFile(name, CompressMode);
            return;
        }
        // While a stream is read, the file is checked now but compressed only
        // when the read is over and no "Data" entry has replaced it: a stream
        // almost always carries the data right behind the name.
        TFileStream file(name, FileMode::OpenRead);
        Filesize = openForPacking(file, name);
        if (Filesize == 0) throw EReadError(msg::InputFileEmpty);
        reader->Defer(this, [this, name, mode = CompressMode] {
            TFileStream again(name, FileMode::OpenRead);
            std::int32_t size = openForPacking(again, name);
            if (size > 0) fileData_ = compressFile(again, size, mode);
        });
    } else {
        filename_.clear();
        fileData_.clear();
        fileData_.shrink_to_fit();
    }
}

void TPackedFile::LoadFromFile(const std::string& name, std::uint8_t mode) {
    CompressMode = mode;
    TFileStream file(name, FileMode::OpenRead);
    std::int32_t size = openForPacking(file, name);
    Filesize = size;
    if (size == 0) throw EReadError(msg::InputFileEmpty);
    fileData_ = compressFile(file, size, mode);
}

void TPackedFile::SetData(TStream& stream) {
    CancelDeferredLoad();
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
    if (!fileData_.empty()) stream.WriteBuffer(fileData_.data(), fileData_.size());
}

namespace {

// Inflates into a sink; fails when the data is not a valid zlib stream or
// ends before `size` bytes came out. Output beyond `size` is not produced.
template <typename Sink>
void inflateTo(const std::vector<std::uint8_t>& data, std::int64_t size, Sink&& sink) {
    if (size <= 0) throw EInvalidOperation(msg::InvalidStreamOperation);
    z_stream z;
    std::memset(&z, 0, sizeof z);
    if (inflateInit(&z) != Z_OK) throw EZlibError("error");
    struct End {
        z_stream& z;
        ~End() { inflateEnd(&z); }
    } end{z};
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    std::vector<std::uint8_t> block(kPackOutputBlock);
    std::int64_t left = size;
    while (left > 0) {
        std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(left, block.size()));
        z.next_out = block.data();
        z.avail_out = static_cast<uInt>(want);
        int rc = inflate(&z, Z_NO_FLUSH);
        std::size_t got = want - z.avail_out;
        if (got) sink(block.data(), got);
        left -= static_cast<std::int64_t>(got);
        if (left == 0) break;
        if (rc == Z_STREAM_END || (rc == Z_BUF_ERROR && z.avail_in == 0))
            throw EZlibError("Packed data ends before the file is complete");
        if (rc != Z_OK && rc != Z_BUF_ERROR) throw EZlibError("error");
    }
}

}  // namespace

std::vector<std::uint8_t> TPackedFile::Extract() const {
    std::vector<std::uint8_t> out;
    if (Filesize > 0) out.reserve(static_cast<std::size_t>(Filesize));
    inflateTo(fileData_, Filesize, [&](const std::uint8_t* p, std::size_t n) { out.insert(out.end(), p, p + n); });
    return out;
}

void TPackedFile::ExtractToFile(const std::string& name) const {
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
        SetFilename(src->Filename());
        CompressMode = src->CompressMode;
        fileData_ = src->fileData_;
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

}  // namespace vs
