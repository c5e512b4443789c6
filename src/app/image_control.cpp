#include "app/image_control.h"

#include <array>
#include <utility>

#include "package/filer.h"
#include "platform/errors.h"

namespace vs {

namespace {

constexpr std::array<std::pair<std::int32_t, const char*>, 23> kCursors = {{
    {0, "crDefault"},     {-1, "crNone"},      {-2, "crArrow"},      {-3, "crCross"},     {-4, "crIBeam"},
    {-6, "crSizeNESW"},   {-7, "crSizeNS"},    {-8, "crSizeNWSE"},   {-9, "crSizeWE"},    {-10, "crUpArrow"},
    {-11, "crHourGlass"}, {-12, "crDrag"},     {-13, "crNoDrop"},    {-14, "crHSplit"},   {-15, "crVSplit"},
    {-16, "crMultiDrag"}, {-17, "crSQLWait"},  {-18, "crNo"},        {-19, "crAppStart"}, {-20, "crHelp"},
    {-21, "crHandPoint"}, {-22, "crSizeAll"},  {-22, "crSize"},
}};

// The longest graphic class name a picture's data may carry.
constexpr std::size_t kMaxGraphicClassName = 63;

}  // namespace

const IntIdentMap& CursorIdents() {
    static const IntIdentMap map{
        [](std::int32_t v) -> std::optional<std::string> {
            for (auto [value, name] : kCursors)
                if (value == v) return std::string(name);
            return std::nullopt;
        },
        [](std::string_view s) -> std::optional<std::int32_t> {
            for (auto [value, name] : kCursors)
                if (SameText(s, name)) return value;
            return std::nullopt;
        }};
    return map;
}

const ClassInfo& TPicture::StaticClassInfo() {
    static const ClassInfo info{"TPicture", &TPersistent::StaticClassInfo(), {}, {}};
    return info;
}

void TPicture::WriteData(TStream& stream) const {
    const auto n = static_cast<std::uint8_t>(graphicClass.size());
    stream.WriteBuffer(&n, 1);
    stream.WriteBuffer(graphicClass.data(), n);
    if (graphicClass == kBitmapGraphic) {
        const auto count = static_cast<std::uint32_t>(graphicFile.size());
        stream.WriteBuffer(&count, 4);
    }
    stream.WriteBuffer(graphicFile.data(), graphicFile.size());
}

void TPicture::ReadData(TStream& stream) {
    std::uint8_t n = 0;
    stream.ReadBuffer(&n, 1);
    if (n == 0 || n > kMaxGraphicClassName) throw EReadError(msg::InvalidPropertyValue);
    std::string name(n, '\0');
    stream.ReadBuffer(name.data(), n);
    std::int64_t size = stream.Size() - stream.Position();
    if (SameText(name, kBitmapGraphic)) {
        std::uint32_t count = 0;
        stream.ReadBuffer(&count, 4);
        size -= 4;
        if (count > size) throw EReadError(msg::InvalidPropertyValue);
        size = count;
        name = kBitmapGraphic;
    } else if (SameText(name, kIconGraphic)) {
        name = kIconGraphic;
    } else {
        throw EReadError(msg::InvalidPropertyValue);
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    stream.ReadBuffer(bytes.data(), bytes.size());
    graphicClass = std::move(name);
    graphicFile = std::move(bytes);
}

void TPicture::DefineProperties(TFiler& filer) {
    filer.DefineBinaryProperty(
        "Data", [this](TStream& s) { ReadData(s); }, [this](TStream& s) { WriteData(s); }, HasGraphic());
}

TImage::TImage(std::string name) { SetName(name); }

const ClassInfo& TImage::StaticClassInfo() {
    static const ClassInfo info = [] {
        using I = TImage;
        ClassInfo c{"TImage", &TComponent::StaticClassInfo(), {}, {}};
        auto& p = c.props;
        p.push_back(IntegerProp<I>("Left", &I::Left));
        p.push_back(IntegerProp<I>("Top", &I::Top));
        p.push_back(IntegerProp<I>("Width", &I::Width));
        p.push_back(IntegerProp<I>("Height", &I::Height));
        PropInfo cursor = IntegerProp<I>("Cursor", &I::Cursor, crDefault);
        cursor.identMap = &CursorIdents();
        p.push_back(cursor);
        p.push_back(BooleanProp<I>("Enabled", &I::Enabled, 1));
        p.push_back(StringProp<I>("Hint", &I::Hint));
        p.push_back(BooleanProp<I>("ParentShowHint", &I::ParentShowHint, 1));
        p.push_back(BooleanProp<I>("ShowHint", &I::ShowHint, 0));
        p.push_back(BooleanProp<I>("Visible", &I::Visible, 1));
        p.push_back(BooleanProp<I>("AutoSize", &I::AutoSize, 0));
        p.push_back(BooleanProp<I>("Center", &I::Center, 0));
        p.push_back(OwnedObjectProp<I, TPicture>("Picture", [](const I& o) { return const_cast<TPicture*>(&o.picture_); }));
        p.push_back(BooleanProp<I>("Proportional", &I::Proportional, 0));
        p.push_back(BooleanProp<I>("Stretch", &I::Stretch, 0));
        p.push_back(BooleanProp<I>("Transparent", &I::Transparent, 0));
        return c;
    }();
    return info;
}

}  // namespace vs
