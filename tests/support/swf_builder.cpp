#include "support/swf_builder.h"

#include "support/le_bytes.h"

#include <algorithm>

namespace vs::test {

void BitWriter::bits(std::uint32_t value, unsigned count) {
    for (unsigned i = count; i-- > 0;) {
        pending_ = static_cast<std::uint8_t>(pending_ | (((value >> i) & 1u) << (7 - used_)));
        if (++used_ == 8) {
            out_.push_back(pending_);
            pending_ = 0;
            used_ = 0;
        }
    }
}

void BitWriter::align() {
    if (used_ == 0) return;
    out_.push_back(pending_);
    pending_ = 0;
    used_ = 0;
}

const ByteVec& BitWriter::bytes() {
    align();
    return out_;
}

namespace {
unsigned SignedBits(std::int32_t v) {
    std::uint32_t u = v < 0 ? ~static_cast<std::uint32_t>(v) : static_cast<std::uint32_t>(v);
    unsigned n = 0;
    while (u) {
        ++n;
        u >>= 1;
    }
    return n + 1;
}
}  // namespace

ByteVec EncodeRect(const SwfRect& r, unsigned nbits) {
    if (nbits == 0)
        nbits = std::max({SignedBits(r.xmin), SignedBits(r.xmax), SignedBits(r.ymin), SignedBits(r.ymax)});
    BitWriter w;
    w.bits(nbits, 5);
    for (std::int32_t v : {r.xmin, r.xmax, r.ymin, r.ymax}) w.bits(static_cast<std::uint32_t>(v), nbits);
    return w.bytes();
}

ByteVec EncodeTag(std::uint16_t code, const ByteVec& body, bool longForm) {
    ByteVec out;
    if (!longForm && body.size() < 0x3F) {
        AppendLe16(out, (static_cast<std::uint32_t>(code) << 6) | static_cast<std::uint32_t>(body.size()));
    } else {
        AppendLe16(out, (static_cast<std::uint32_t>(code) << 6) | 0x3F);
        AppendLe32(out, static_cast<std::uint32_t>(body.size()));
    }
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

ByteVec GetUrlAction(std::string_view url, std::string_view target) {
    ByteVec out{0x83};
    AppendLe16(out, static_cast<std::uint32_t>(url.size() + target.size() + 2));
    out.insert(out.end(), url.begin(), url.end());
    out.push_back(0);
    out.insert(out.end(), target.begin(), target.end());
    out.push_back(0);
    return out;
}

SwfBuilder& SwfBuilder::tag(std::uint16_t code, const ByteVec& body, bool longForm) {
    ByteVec t = EncodeTag(code, body, longForm);
    tags_.insert(tags_.end(), t.begin(), t.end());
    return *this;
}

SwfBuilder& SwfBuilder::getUrl(std::string_view url, std::string_view target) {
    ByteVec body = GetUrlAction(url, target);
    body.push_back(0);  // ActionEnd
    return tag(12, body);
}

SwfBuilder& SwfBuilder::fsExec(std::string_view command, std::string_view prefix) {
    return getUrl(prefix, command);
}

SwfBuilder& SwfBuilder::filler(const ByteVec& body) { return tag(1000, body, true); }

SwfBuilder& SwfBuilder::showFrame() { return tag(1, {}); }

ByteVec SwfBuilder::build() const {
    ByteVec out(signature.begin(), signature.end());
    out.resize(3, 0);
    out.push_back(version);
    AppendLe32(out, 0);  // length, set below
    ByteVec rect = EncodeRect(frame);
    out.insert(out.end(), rect.begin(), rect.end());
    out.push_back(frameRateFraction);
    out.push_back(frameRate);
    AppendLe16(out, frameCount);
    out.insert(out.end(), tags_.begin(), tags_.end());
    AppendLe16(out, 0);  // End tag
    std::uint32_t length = storedLength ? *storedLength : static_cast<std::uint32_t>(out.size());
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<std::uint8_t>(length >> (8 * i));
    return out;
}

}  // namespace vs::test
