#pragma once
// Project files (".vsp"): five parts one after the other, with no header of
// their own around them:
//  1. the settings object as a component stream;
//  2. the shape window's image control "ShapeImage" with the bitmap the shape
//     was made from, only when the settings' shape is not empty;
//  3. the 788-byte version information record;
//  4. the icon preview's image control "imIcon" with the icon file;
//  5. the 513-byte file record: the output name and the icon name (a length
//     byte and 255 bytes of Windows-1252 each), then the compression position.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/image_control.h"
#include "exe/version_info.h"
#include "package/filer.h"
#include "package/vexel_projector.h"
#include "platform/stream.h"

namespace vs {

inline constexpr std::size_t kFileRecordSize = 513;
inline constexpr std::size_t kFileRecordNameSize = 256;

struct ProjectFileRecord {
    std::string outputName;  // UTF-8
    std::string iconName;
    std::uint8_t compression = 3;
    bool operator==(const ProjectFileRecord&) const = default;
};

// The record's bytes. Fails with ETextEncodingError for a name the code page
// cannot hold, and with a VsError naming it for a name longer than 255
// characters (never cut: a cut name would lead a later build elsewhere).
std::array<std::uint8_t, kFileRecordSize> EncodeFileRecord(const ProjectFileRecord& record);
ProjectFileRecord DecodeFileRecord(const std::array<std::uint8_t, kFileRecordSize>& bytes);

// The positions of the two image controls in their windows.
inline constexpr std::int32_t kIconImageLeft = 16, kIconImageTop = 112;

// The records as the generator writes them: the shape picture at the top
// left, its size, a cross pointer and auto-size; the icon preview 32 by 32.
void MakeShapeImageRecord(TImage& image, const std::vector<std::uint8_t>* bitmapFile, int width, int height);
void MakeIconImageRecord(TImage& image, const std::vector<std::uint8_t>& iconFile);

// The parts, each read from the stream's position and leaving it behind
// itself; they fail with the stream reader's errors ("Stream read error"
// for a part cut short).
void ReadProjectSettings(TStream& stream, s_TVexelProjector& settings, const ReadOptions& options);
void ReadImageRecord(TStream& stream, TImage& image);
TVersionInfoRec ReadVersionRecord(TStream& stream);
ProjectFileRecord ReadFileRecord(TStream& stream);

void WriteVersionRecord(TStream& stream, const TVersionInfoRec& rec);
void WriteFileRecord(TStream& stream, const ProjectFileRecord& record);

// A whole project file as the command line shows it; local files that the
// settings name are never read.
struct ProjectContents {
    std::unique_ptr<s_TVexelProjector> settings;
    std::unique_ptr<TImage> shapeImage;  // only when the settings have a shape
    TVersionInfoRec version{};
    std::unique_ptr<TImage> iconImage;
    ProjectFileRecord record;
};
ProjectContents ReadProjectFile(TStream& stream);

}  // namespace vs
