#pragma once
// Small synthetic Windows executables for tests, 32-bit unless Pe32Plus() asks
// for a 64-bit (AMD64, PE32+) one: a DOS header, the NT
// headers, a code section, a resource section (optional, any name), an optional
// relocation section after it, an optional COFF symbol table, certificate and
// appended bytes. The resource section is laid out the way linkers do it: all
// directory tables first, then the data entries, the name strings and the data.
//
//   auto exe = PeBuilder()
//                  .IconImage(1, MakeIconImage(32, 32, 8, 7))
//                  .IconGroup(1, {1})
//                  .Version(VersionSpec{})
//                  .RelocAfterResources()
//                  .Build();
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "exe/resource_updater.h"

namespace vs::test {

using PeBytes = std::vector<std::uint8_t>;

struct PeResource {
    ResourceId type;
    ResourceId name;
    std::uint16_t language = 1033;
    PeBytes data;
};

// A version block written the usual way: the fixed information, one string
// table for (language, code page) and the translation entry.
struct VersionSpec {
    std::uint16_t fileVersion[4] = {1, 0, 0, 0};
    std::uint16_t productVersion[4] = {1, 0, 0, 0};
    std::vector<std::pair<std::string, std::string>> strings = {{"FileDescription", "Test file"}};
    std::uint16_t language = 1033;
    std::uint16_t codePage = 1252;
};

// Where the builder put things, for tests that check offsets.
struct PeLayout {
    std::uint32_t ntHeaders = 0;
    std::uint32_t sectionTable = 0;
    std::uint32_t rsrcHeader = 0;  // file offset of the resource section's 40-byte header
    std::uint32_t rsrcRaw = 0, rsrcRawSize = 0, rsrcRva = 0, rsrcVirtualSize = 0;
    std::uint32_t relocRaw = 0, relocRva = 0;
    std::uint32_t imageEnd = 0;  // end of the last section's raw data
    // file offset and size of each resource's data, in the order they were added
    std::vector<std::pair<std::uint32_t, std::uint32_t>> dataAt;
};

class PeBuilder {
public:
    PeBuilder() = default;

    // Adds a resource (type, name, language) with its data.
    PeBuilder& Resource(const ResourceId& type, const ResourceId& name, std::uint16_t language, PeBytes data);
    PeBuilder& Resource(std::uint16_t type, std::uint16_t name, std::uint16_t language, PeBytes data);
    // An icon image (type 3).
    PeBuilder& IconImage(std::uint16_t id, PeBytes image, std::uint16_t language = 1033);
    // An icon group (type 14) naming icon images added before, by identifier;
    // the group's directory entries are filled from the images' headers.
    PeBuilder& IconGroup(std::uint16_t name, const std::vector<std::uint16_t>& imageIds,
                         std::uint16_t language = 1033);
    PeBuilder& IconGroup(const std::u16string& name, const std::vector<std::uint16_t>& imageIds,
                         std::uint16_t language = 1033);
    // A version resource (type 16, name 1) for spec.language.
    PeBuilder& Version(const VersionSpec& spec);

    // Layout choices.
    PeBuilder& NoResourceSection();
    PeBuilder& ResourceSectionName(std::string name);  // 8 bytes at most, e.g. ".RSRC"
    PeBuilder& RelocAfterResources(bool on = true);
    PeBuilder& ExtraRawSlack(std::uint32_t bytes);         // zero bytes reserved after the resources
    PeBuilder& OptionalHeaderPadding(std::uint16_t bytes);  // optional header larger than 224 bytes
    PeBuilder& CoffSymbols(std::uint32_t count);             // symbol and string tables behind the sections
    PeBuilder& Certificate(PeBytes blob);                    // attribute certificate behind the image
    PeBuilder& Append(PeBytes tail);                         // bytes behind everything else
    PeBuilder& Alignments(std::uint32_t file, std::uint32_t section);
    PeBuilder& Checksum(bool on = true);  // store a real PE checksum instead of 0
    // A 64-bit image: machine AMD64 and the 240-byte PE32+ optional header.
    PeBuilder& Pe32Plus(bool on = true);
    // The file header's machine field, whatever the optional header's form
    // (i386 or AMD64 by default).
    PeBuilder& Machine(std::uint16_t machine);

    PeBytes Build(PeLayout* layout = nullptr) const;
    void Write(const std::string& path, PeLayout* layout = nullptr) const;

    const std::vector<PeResource>& Resources() const { return resources_; }

private:
    std::vector<PeResource> resources_;
    bool withResources_ = true;
    std::string rsrcName_ = ".rsrc";
    bool reloc_ = false;
    std::uint32_t slack_ = 0;
    std::uint16_t optPadding_ = 0;
    std::uint32_t symbols_ = 0;
    PeBytes certificate_;
    PeBytes tail_;
    std::uint32_t fileAlign_ = 0x200, sectionAlign_ = 0x1000;
    bool checksum_ = false;
    bool pe32plus_ = false;
    std::optional<std::uint16_t> machine_;
};

// An icon image as stored in an executable: a 40-byte header with the height
// doubled, the colour table (bitCount <= 8), colour rows and mask rows. The
// pixels are a pattern derived from `seed`.
PeBytes MakeIconImage(int width, int height, int bitCount, std::uint8_t seed);
// A version block (VS_VERSIONINFO) as described by `spec`.
PeBytes MakeVersionBlock(const VersionSpec& spec);
// UTF-16 of an ASCII text, for resource names.
std::u16string U16(const std::string& ascii);

// Little-endian reads and writes on byte vectors, for tests.
std::uint16_t Le16(const PeBytes& b, std::size_t at);
std::uint32_t Le32(const PeBytes& b, std::size_t at);
void PutLe16(PeBytes& b, std::size_t at, std::uint16_t v);
void PutLe32(PeBytes& b, std::size_t at, std::uint32_t v);

// The PE checksum of an image (the field itself counted as zero).
std::uint32_t PeChecksum(const PeBytes& image, std::uint32_t checksumOffset);

}  // namespace vs::test
