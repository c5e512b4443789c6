#pragma once
// The image controls of the windows as a project file stores them: each is
// written as a root component of class "TImage" with its position, size,
// cursor and auto-size entries and its picture as the binary entry
// "Picture.Data" (the graphic's class name as a short string, then the
// graphic's own data: a 4-byte count and a BMP file for "TBitmap", the icon
// file for "TIcon").
#include <cstdint>
#include <string>
#include <vector>

#include "package/persistent.h"
#include "platform/stream.h"

namespace vs {

// Cursor identifiers of the toolkit.
inline constexpr std::int32_t crDefault = 0;
inline constexpr std::int32_t crCross = -3;
const IntIdentMap& CursorIdents();

inline constexpr const char* kBitmapGraphic = "TBitmap";
inline constexpr const char* kIconGraphic = "TIcon";

// The graphic a picture holds: its class name and its own data (the whole BMP
// or icon file), or nothing.
class TPicture final : public Published<TPicture, TPersistent> {
public:
    static const ClassInfo& StaticClassInfo();

    bool HasGraphic() const { return !graphicClass.empty(); }
    void Clear() {
        graphicClass.clear();
        graphicFile.clear();
    }

    std::string graphicClass;
    std::vector<std::uint8_t> graphicFile;

    // The "Data" payload. Reading fails with "Invalid property value" for a
    // graphic class other than the two, or a bitmap count beyond the payload.
    void WriteData(TStream& stream) const;
    void ReadData(TStream& stream);
    void DefineProperties(TFiler& filer) override;
};

class TImage final : public Published<TImage, TComponent> {
public:
    explicit TImage(std::string name = {});
    static const ClassInfo& StaticClassInfo();

    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Width = 105;
    std::int32_t Height = 105;
    std::int32_t Cursor = crDefault;
    bool AutoSize = false;
    bool Center = false;
    bool Stretch = false;
    bool Proportional = false;
    bool Transparent = false;
    bool Visible = true;
    bool Enabled = true;
    bool ShowHint = false;
    bool ParentShowHint = true;
    std::string Hint;
    TPicture& Picture() { return picture_; }
    const TPicture& Picture() const { return picture_; }

private:
    TPicture picture_;
};

}  // namespace vs
