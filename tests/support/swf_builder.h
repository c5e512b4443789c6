#pragma once
// A small writer of SWF movies for tests: header with any rectangle, frame
// rate and count, and tags such as DoAction holding getURL constant strings.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vs::test {

using ByteVec = std::vector<std::uint8_t>;

// Writes bit fields most significant bit first.
class BitWriter {
public:
    void bits(std::uint32_t value, unsigned count);  // the low `count` bits of value
    void align();                                    // pads the pending byte with zero bits
    const ByteVec& bytes();                          // aligned first

private:
    ByteVec out_;
    std::uint8_t pending_ = 0;
    unsigned used_ = 0;
};

struct SwfRect {
    std::int32_t xmin = 0, xmax = 0, ymin = 0, ymax = 0;
};

// A RECT record; nbits 0 picks the fewest bits that hold all four as signed values.
ByteVec EncodeRect(const SwfRect& rect, unsigned nbits = 0);

// One tag: short form for bodies under 63 bytes unless `longForm`.
ByteVec EncodeTag(std::uint16_t code, const ByteVec& body, bool longForm = false);

// An ActionGetURL record: url and target, each with its terminating zero.
ByteVec GetUrlAction(std::string_view url, std::string_view target);

class SwfBuilder {
public:
    std::string signature = "FWS";
    std::uint8_t version = 6;
    SwfRect frame{0, 11000, 0, 8000};
    std::uint8_t frameRate = 12;          // whole frames per second
    std::uint8_t frameRateFraction = 0;   // 1/256 frames per second
    std::uint16_t frameCount = 1;
    std::optional<std::uint32_t> storedLength;  // default: the real length

    SwfBuilder& tag(std::uint16_t code, const ByteVec& body, bool longForm = false);
    // A DoAction tag with one getURL of `url` and `target`.
    SwfBuilder& getUrl(std::string_view url, std::string_view target);
    // A movie's call of the projector command "exec": getURL("FSCommand:exec", command).
    SwfBuilder& fsExec(std::string_view command, std::string_view prefix = "FSCommand:exec");
    // Opaque bytes in a tag of an unused code, for bulk.
    SwfBuilder& filler(const ByteVec& body);
    SwfBuilder& showFrame();

    ByteVec build() const;  // header, tags, End tag

private:
    ByteVec tags_;
};

}  // namespace vs::test
