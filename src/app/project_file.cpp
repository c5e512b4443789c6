#include "app/project_file.h"

#include <algorithm>
#include <cstring>

#include "platform/cp1252.h"
#include "platform/errors.h"

namespace vs {

namespace {

void PutName(std::uint8_t* at, const std::string& utf8, const char* what) {
    const std::string ansi = AnsiString::FromUtf8(utf8).bytes();
    // A cut name would name another file, silently; it is refused instead.
    if (ansi.size() > kFileRecordNameSize - 1)
        throw VsError(std::string(what) + " \"" + utf8 + "\" has " + std::to_string(ansi.size()) +
                      " characters; a project keeps names of up to " + std::to_string(kFileRecordNameSize - 1) +
                      ". Choose a shorter name.");
    at[0] = static_cast<std::uint8_t>(ansi.size());
    std::memcpy(at + 1, ansi.data(), ansi.size());
}

std::string GetName(const std::uint8_t* at) {
    return AnsiString::FromBytes(std::string_view(reinterpret_cast<const char*>(at + 1), at[0])).ToUtf8();
}

}  // namespace

std::array<std::uint8_t, kFileRecordSize> EncodeFileRecord(const ProjectFileRecord& record) {
    std::array<std::uint8_t, kFileRecordSize> bytes{};
    PutName(bytes.data(), record.outputName, "The output name");
    PutName(bytes.data() + kFileRecordNameSize, record.iconName, "The icon file name");
    bytes[2 * kFileRecordNameSize] = record.compression;
    return bytes;
}

ProjectFileRecord DecodeFileRecord(const std::array<std::uint8_t, kFileRecordSize>& bytes) {
    return {GetName(bytes.data()), GetName(bytes.data() + kFileRecordNameSize), bytes[2 * kFileRecordNameSize]};
}

void MakeShapeImageRecord(TImage& image, const std::vector<std::uint8_t>* bitmapFile, int width, int height) {
    image.SetName("ShapeImage");
    image.Left = 0;
    image.Top = 0;
    image.Width = width;
    image.Height = height;
    image.Cursor = crCross;
    image.AutoSize = true;
    image.Picture().Clear();
    if (bitmapFile) {
        image.Picture().graphicClass = kBitmapGraphic;
        image.Picture().graphicFile = *bitmapFile;
    }
}

void MakeIconImageRecord(TImage& image, const std::vector<std::uint8_t>& iconFile) {
    image.SetName("imIcon");
    image.Left = kIconImageLeft;
    image.Top = kIconImageTop;
    image.Width = 32;
    image.Height = 32;
    image.Picture().graphicClass = kIconGraphic;
    image.Picture().graphicFile = iconFile;
}

void ReadProjectSettings(TStream& stream, s_TVexelProjector& settings, const ReadOptions& options) {
    ReadComponentFromStream(stream, settings, options);
}

void ReadImageRecord(TStream& stream, TImage& image) { ReadComponentFromStream(stream, image); }

TVersionInfoRec ReadVersionRecord(TStream& stream) {
    TVersionInfoRec rec;
    stream.ReadBuffer(&rec, sizeof rec);
    return rec;
}

ProjectFileRecord ReadFileRecord(TStream& stream) {
    std::array<std::uint8_t, kFileRecordSize> bytes;
    stream.ReadBuffer(bytes.data(), bytes.size());
    return DecodeFileRecord(bytes);
}

void WriteVersionRecord(TStream& stream, const TVersionInfoRec& rec) { stream.WriteBuffer(&rec, sizeof rec); }

void WriteFileRecord(TStream& stream, const ProjectFileRecord& record) {
    const auto bytes = EncodeFileRecord(record);
    stream.WriteBuffer(bytes.data(), bytes.size());
}

ProjectContents ReadProjectFile(TStream& stream) {
    ProjectContents c;
    c.settings = std::make_unique<s_TVexelProjector>();
    // Shown, never unpacked: the packed files' bytes are passed over.
    ReadOptions options;
    options.packedData = PackedData::SizeOnly;
    ReadProjectSettings(stream, *c.settings, options);
    if (!c.settings->Shape().Empty()) {
        c.shapeImage = std::make_unique<TImage>("ShapeImage");
        ReadImageRecord(stream, *c.shapeImage);
    }
    c.version = ReadVersionRecord(stream);
    c.iconImage = std::make_unique<TImage>("imIcon");
    ReadImageRecord(stream, *c.iconImage);
    c.record = ReadFileRecord(stream);
    return c;
}

}  // namespace vs
