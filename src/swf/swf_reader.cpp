#include "swf/swf_reader.h"

#include <algorithm>
#include <cstring>

#include "platform/errors.h"
#include "swf/bmh.h"
#include "swf/projector_movie.h"

namespace vs {

namespace {

// A read-only stream over bytes that stay where they are: it only keeps its
// position.
class ViewStream : public TStream {
public:
    std::size_t Write(const void*, std::size_t) override { return 0; }
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override {
        std::int64_t target = origin == SeekOrigin::Begin ? offset
                              : origin == SeekOrigin::Current ? pos_ + offset
                                                              : Size() + offset;
        if (target < 0) throw EReadError(msg::StreamRead);
        pos_ = target;
        return pos_;
    }

protected:
    std::int64_t pos_ = 0;
};

// A file from a base offset to its end, so that the movie inside a projector
// can be read without copying it.
class FileTailStream : public ViewStream {
public:
    FileTailStream(TFileStream& file, std::int64_t base) : file_(file), base_(base) {}
    std::size_t Read(void* buffer, std::size_t n) override {
        file_.SetPosition(base_ + pos_);
        std::size_t got = file_.Read(buffer, n);
        pos_ += static_cast<std::int64_t>(got);
        return got;
    }
    std::int64_t Size() override { return file_.Size() - base_; }

private:
    TFileStream& file_;
    std::int64_t base_;
};

// Bytes in memory.
class SpanStream : public ViewStream {
public:
    explicit SpanStream(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::size_t Read(void* buffer, std::size_t n) override {
        const std::size_t at = static_cast<std::size_t>(std::min<std::int64_t>(pos_, Size()));
        const std::size_t got = std::min(n, bytes_.size() - at);
        if (got) std::memcpy(buffer, bytes_.data() + at, got);
        pos_ += static_cast<std::int64_t>(got);
        return got;
    }
    std::int64_t Size() override { return static_cast<std::int64_t>(bytes_.size()); }

private:
    std::span<const std::uint8_t> bytes_;
};

}  // namespace

TSWFReader::TSWFReader(TComponent* owner) : Published(owner) {}
TSWFReader::~TSWFReader() = default;

const ClassInfo& TSWFReader::StaticClassInfo() {
    static const ClassInfo info{"TSWFReader", &TComponent::StaticClassInfo(), {}, {}};
    return info;
}

std::uint8_t TSWFReader::ReadByte() {
    if (!Data) throw EReadError(msg::StreamRead);
    std::uint8_t b;
    Data->ReadBuffer(&b, 1);
    return b;
}

std::uint32_t TSWFReader::Read_Bits(std::uint8_t NrBits, bool ByteAlign) {
    if (NrBits == 0) return 0;
    // Up to 7 pending bits and four further bytes: 39 bits of work space.
    std::uint64_t acc = 0;
    unsigned need = NrBits;
    if (ByteAlign || BitPos == 0) {
        BitPos = 0;
        BitBuffer = 0;
    } else {
        unsigned k = 8u - BitPos;
        if (need <= k) {
            std::uint32_t result = static_cast<std::uint32_t>(BitBuffer >> (k - need));
            BitBuffer = static_cast<std::uint8_t>(BitBuffer & ((1u << (k - need)) - 1u));
            BitPos = static_cast<std::uint8_t>(BitPos + need);
            if (BitPos == 8) BitPos = 0;
            return result;
        }
        acc = BitBuffer;
        need -= k;
        BitPos = 0;
        BitBuffer = 0;
    }
    unsigned bytes = (need + 7) / 8;
    std::uint8_t last = 0;
    for (unsigned i = 0; i < bytes; ++i) {
        last = ReadByte();
        acc = (acc << 8) | last;
    }
    unsigned spare = bytes * 8 - need;  // low bits of the last byte left pending
    if (spare > 0) {
        BitPos = static_cast<std::uint8_t>(8 - spare);
        BitBuffer = static_cast<std::uint8_t>(last & ((1u << spare) - 1u));
    }
    return static_cast<std::uint32_t>(acc >> spare);
}

std::uint32_t TSWFReader::Read_Bytes(std::uint8_t count) {
    BitPos = 0;
    BitBuffer = 0;
    std::uint32_t result = 0;
    for (unsigned i = 0; i < count; ++i) {
        std::uint32_t b = ReadByte();
        if (i < 4) result |= b << (8 * i);
    }
    return result;
}

void TSWFReader::Read_NTString(std::string& text) {
    text.clear();
    for (;;) {
        std::uint8_t b = static_cast<std::uint8_t>(Read_Bytes(1));
        if (b == 0) return;
        text.push_back(static_cast<char>(b));
    }
}

void TSWFReader::Read_String(std::uint8_t count, std::string& text) {
    if (count == 0) return;
    text.clear();
    for (unsigned i = 0; i < count; ++i) text.push_back(static_cast<char>(Read_Bytes(1)));
}

void TSWFReader::Read_Rect(TSWF_Rect& rect) {
    std::uint8_t n = static_cast<std::uint8_t>(Read_Bits(5, true));
    rect.Left = static_cast<std::int32_t>(Read_Bits(n, false));
    rect.Right = static_cast<std::int32_t>(Read_Bits(n, false));
    rect.Top = static_cast<std::int32_t>(Read_Bits(n, false));
    rect.Bottom = static_cast<std::int32_t>(Read_Bits(n, false));
}

void TSWFReader::Read_Header(TSWF_Header& header) {
    if (!Data) throw EReadError(msg::StreamRead);
    Data->SetPosition(0);
    BitPos = 0;
    BitBuffer = 0;
    for (auto& s : header.Signature) s = static_cast<std::uint8_t>(Read_Bytes(1));
    header.Version = static_cast<std::uint8_t>(Read_Bytes(1));
    header.FileLength = Read_Bytes(4);
    Read_Rect(header.FrameSize);
    header.FrameRateFraction = static_cast<std::uint8_t>(Read_Bytes(1));
    header.FrameRate = static_cast<std::uint8_t>(Read_Bytes(1));
    header.FrameCount = static_cast<std::uint16_t>(Read_Bytes(2));
    NextTagPos = Data->Position();
}

void TSWFReader::Read_Tag(TSWF_TagHeader& tag) {
    if (!Data) throw EReadError(msg::StreamRead);
    Data->SetPosition(NextTagPos);
    tag.Start = NextTagPos;
    std::uint32_t v = Read_Bytes(2);
    tag.Code = static_cast<std::int32_t>(v >> 6);
    tag.Length = v & 0x3F;
    tag.IsLong = tag.Length == 0x3F;
    if (tag.IsLong) tag.Length = Read_Bytes(4);
    NextTagPos = Data->Position() + static_cast<std::int64_t>(tag.Length);
}

void TSWFReader::Read_Matrix(TSWF_Matrix& m) {
    m.HasScale = Read_Bits(1, false) == 1;
    if (m.HasScale) {
        m.ScaleBits = static_cast<std::uint8_t>(Read_Bits(5, false));
        m.ScaleX = Read_Bits(m.ScaleBits, false);
        m.ScaleY = Read_Bits(m.ScaleBits, false);
    }
    m.HasRotate = Read_Bits(1, false) == 1;
    if (m.HasRotate) {
        m.RotateBits = static_cast<std::uint8_t>(Read_Bits(5, false));
        m.RotateSkew0 = Read_Bits(m.RotateBits, false);
        m.RotateSkew1 = Read_Bits(m.RotateBits, false);
    }
    m.TranslateBits = static_cast<std::uint8_t>(Read_Bits(5, false));
    m.TranslateX = Read_Bits(m.TranslateBits, false);
    m.TranslateY = Read_Bits(m.TranslateBits, false);
}

void TSWFReader::Read_RGB(bool withAlpha, TSWF_Color& color) {
    color.R = static_cast<std::uint8_t>(Read_Bytes(1));
    color.G = static_cast<std::uint8_t>(Read_Bytes(1));
    color.B = static_cast<std::uint8_t>(Read_Bytes(1));
    color.HasAlpha = withAlpha;
    if (withAlpha) color.A = static_cast<std::uint8_t>(Read_Bytes(1));
}

void TSWFReader::ParseFileHeader(const std::string& fileName, TSWF_Header& header) {
    std::memset(&header, 0, sizeof header);
    ScanFailures.clear();
    MovieOffset = -1;
    TrailerMovieLength.reset();
    TFileStream file(fileName, FileMode::OpenRead);
    auto find = [&](const char* pattern) {
        FileSearch found = FindInFile(pattern, fileName);
        if (found.failure) ScanFailures.push_back(*found.failure);
        return found.offset;
    };
    if (find("SHOCKWAVEFLASH") < 0) return;
    // The trailer is what the file says; three letters can also turn up by
    // chance inside compressed data.
    std::int64_t p = -1;
    if (const std::optional<MovieSpan> span = MovieByTrailer(file)) {
        p = static_cast<std::int64_t>(span->offset);
        TrailerMovieLength = span->length;
    } else {
        p = find("FWS");
    }
    if (p < 0) return;
    MovieOffset = p;
    FileTailStream movie(file, p);
    ReadHeaderFrom(movie, header);
}

void TSWFReader::ParseMovieHeader(std::span<const std::uint8_t> bytes, TSWF_Header& header) {
    header = TSWF_Header{};
    SpanStream movie(bytes);
    ReadHeaderFrom(movie, header);
}

void TSWFReader::ReadHeaderFrom(TStream& movie, TSWF_Header& header) {
    struct Reset {
        TSWFReader& r;
        ~Reset() { r.Data = nullptr; }
    } reset{*this};
    Data = &movie;
    TSWF_Header read{};
    Read_Header(read);  // a header cut short throws and leaves `header` as it was
    header = read;
}

}  // namespace vs
