#pragma once
// Reader of SWF movies: the bit and byte primitives, the movie header and tag
// headers, and finding the movie inside a Flash projector executable.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "package/persistent.h"
#include "platform/stream.h"
#include "swf/bmh.h"

namespace vs {

// A rectangle in twips, held as Left, Top, Right, Bottom (the file stores
// Xmin, Xmax, Ymin, Ymax).
struct TSWF_Rect {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;
};

// The movie header; all zero when no movie was found.
struct TSWF_Header {
    std::uint8_t Signature[3];
    std::uint8_t Version;
    std::uint32_t FileLength;
    TSWF_Rect FrameSize;
    std::uint8_t FrameRateFraction;  // 1/256 frames per second
    std::uint8_t FrameRate;          // whole frames per second
    std::uint16_t FrameCount;
};
static_assert(sizeof(TSWF_Header) == 28);

struct TSWF_TagHeader {
    std::int32_t Code = 0;      // 10-bit tag code
    std::uint32_t Length = 0;   // length of the tag body
    bool IsLong = false;        // the long form with a 32-bit length was used
    std::int64_t Start = 0;     // offset in Data of the tag header
};

// Fields of an absent part keep their previous content.
struct TSWF_Matrix {
    bool HasScale = false;
    std::uint8_t ScaleBits = 0;
    std::uint32_t ScaleX = 0, ScaleY = 0;
    bool HasRotate = false;
    std::uint8_t RotateBits = 0;
    std::uint32_t RotateSkew0 = 0, RotateSkew1 = 0;
    std::uint8_t TranslateBits = 0;
    std::uint32_t TranslateX = 0, TranslateY = 0;
};

struct TSWF_Color {
    std::uint8_t R = 0, G = 0, B = 0;
    bool HasAlpha = false;
    std::uint8_t A = 0;  // written only when HasAlpha
};

// Values from the bit reader are raw bit patterns: signed fields keep their
// two's-complement pattern in the low bits and are never sign-extended.
class TSWFReader final : public Published<TSWFReader, TComponent> {
public:
    explicit TSWFReader(TComponent* owner = nullptr);
    ~TSWFReader() override;

    static const ClassInfo& StaticClassInfo();

    // The stream the primitive readers read from; it does not own it.
    // ParseFileHeader sets its own for the time of the parse.
    void SetData(TStream* data) { Data = data; BitPos = 0; BitBuffer = 0; }
    TStream* GetData() const { return Data; }

    std::uint32_t Read_Bits(std::uint8_t NrBits, bool ByteAlign);
    std::uint32_t Read_Bytes(std::uint8_t count);
    void Read_NTString(std::string& text);
    void Read_String(std::uint8_t count, std::string& text);
    void Read_Header(TSWF_Header& header);
    void Read_Tag(TSWF_TagHeader& tag);
    void Read_Rect(TSWF_Rect& rect);
    void Read_Matrix(TSWF_Matrix& matrix);
    void Read_RGB(bool withAlpha, TSWF_Color& color);

    // Finds the movie inside a projector and reads its header. A consistent
    // projector trailer at the end of the file says where the movie is;
    // without one the movie is the first "FWS" letters. The header stays all
    // zero when the file holds no "ShockwaveFlash" text or no movie, or when a
    // search failed (the failures are kept in ScanFailures). Fails with
    // "Cannot open file %s", or "Stream read error" when the header is cut
    // short. A compressed movie gives its signature, version and length; the
    // rest of its header is compressed and reads as nonsense.
    void ParseFileHeader(const std::string& fileName, TSWF_Header& header);
    // Reads the header of a movie held in memory (from its first byte).
    // Fails with "Stream read error" when the header is cut short.
    void ParseMovieHeader(std::span<const std::uint8_t> movie, TSWF_Header& header);
    // Why the searches of the last ParseFileHeader gave up, in order.
    std::vector<ScanFailure> ScanFailures;
    // Where the last ParseFileHeader found the movie: offset and, when the
    // trailer named it, its stored length; offset -1 when it found none.
    std::int64_t MovieOffset = -1;
    std::optional<std::uint64_t> TrailerMovieLength;

    std::uint8_t BitPos = 0;      // high bits of the pending byte already consumed
    std::uint8_t BitBuffer = 0;   // the pending byte's unconsumed low bits
    std::int64_t NextTagPos = 0;  // offset in Data of the next tag header

private:
    std::uint8_t ReadByte();
    // Reads the header of `movie` (from its start) while it is the data.
    void ReadHeaderFrom(TStream& movie, TSWF_Header& header);

    TStream* Data = nullptr;
};

}  // namespace vs
