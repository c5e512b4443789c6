// The writer's and reader's value rules on a class that has a property of
// every kind, with fixed bytes for each threshold.
#include <gtest/gtest.h>

#include <cmath>

#include "package/extended_float.h"
#include "package/filer.h"
#include "platform/errors.h"
#include "test_bytes.h"

namespace vs {
namespace {

using test::B;
using test::ByteVec;

const EnumType& ColourSet() {
    static const EnumType t{"TColours", {"clRed", "clGreen", "clBlue"}};
    return t;
}

const IntIdentMap& ColourNames() {
    static const IntIdentMap m{
        [](std::int32_t v) -> std::optional<std::string> {
            if (v == 0xFF) return "clRed";
            return std::nullopt;
        },
        [](std::string_view s) -> std::optional<std::int32_t> {
            if (SameText(s, "clRed")) return 0xFF;
            return std::nullopt;
        }};
    return m;
}

class TInner : public TPersistent {
public:
    const ClassInfo& classInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo() {
        static const ClassInfo c{"TInner", &TPersistent::StaticClassInfo(), {IntegerProp("Depth", &TInner::Depth, 0)}, {}};
        return c;
    }
    std::int32_t Depth = 0;
};

class TSample : public TComponent {
public:
    const ClassInfo& classInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo() {
        static const ClassInfo info = [] {
            ClassInfo c{"TSample", &TComponent::StaticClassInfo(), {}, {"HandleClose"}};
            c.props.push_back(IntegerProp("Number", &TSample::Number));
            c.props.push_back(ByteProp("Mode", &TSample::Mode, 5));
            PropInfo colour = IntegerProp("Colour", &TSample::Colour, 0);
            colour.identMap = &ColourNames();
            c.props.push_back(colour);
            PropInfo ch;
            ch.name = "Letter";
            ch.kind = PropKind::Char;
            ch.defaultValue = 0;
            ch.getOrd = [](const TPersistent& o) { return std::int64_t{static_cast<const TSample&>(o).Letter}; };
            ch.setOrd = [](TPersistent& o, std::int64_t v) { static_cast<TSample&>(o).Letter = static_cast<char>(v); };
            c.props.push_back(ch);
            PropInfo set;
            set.name = "Colours";
            set.kind = PropKind::Set;
            set.enumType = &ColourSet();
            set.defaultValue = 0;
            set.getOrd = [](const TPersistent& o) { return std::int64_t{static_cast<const TSample&>(o).Colours}; };
            set.setOrd = [](TPersistent& o, std::int64_t v) { static_cast<TSample&>(o).Colours = static_cast<std::uint32_t>(v); };
            c.props.push_back(set);
            PropInfo fl;
            fl.name = "Ratio";
            fl.kind = PropKind::Float;
            fl.getFloat = [](const TPersistent& o) { return static_cast<const TSample&>(o).Ratio; };
            fl.setFloat = [](TPersistent& o, double v) { static_cast<TSample&>(o).Ratio = v; };
            c.props.push_back(fl);
            c.props.push_back(StringProp("Text", &TSample::Text));
            c.props.push_back(OwnedObjectProp<TSample, TInner>("Inner", [](const TSample& s) { return s.inner.get(); }));
            c.props.push_back(MethodProp("OnClose", &TSample::OnClose));
            PropInfo ro;
            ro.name = "ReadOnly";
            ro.kind = PropKind::Integer;
            ro.getOrd = [](const TPersistent&) { return std::int64_t{1}; };
            c.props.push_back(ro);
            return c;
        }();
        return info;
    }
    std::int32_t Number = 0;
    std::uint8_t Mode = 5;
    std::int32_t Colour = 0;
    char Letter = 0;
    std::uint32_t Colours = 0;
    double Ratio = 0;
    std::string Text;
    std::unique_ptr<TInner> inner = std::make_unique<TInner>();
    TMethodRef OnClose;
};

ByteVec Entries(TSample& s) {
    TMemoryStream ms;
    WriteComponentToStream(ms, s);
    ByteVec all = ms.release();
    ByteVec head = B{}("TPF0").s("TSample").s("").v;
    EXPECT_EQ(ByteVec(all.begin(), all.begin() + static_cast<long>(head.size())), head);
    // Every stream that follows ends with "Number" (no default, always written) unless
    // it holds INT32_MIN; strip the header and the two closing zeros.
    return ByteVec(all.begin() + static_cast<long>(head.size()), all.end() - 2);
}

ByteVec NumberEntry(std::int32_t v) {
    TSample s;
    s.Number = v;
    return Entries(s);
}

TEST(Writer, IntegerTagChosenByRange) {
    EXPECT_EQ(NumberEntry(127), B{}.s("Number")({2, 0x7F}).v);
    EXPECT_EQ(NumberEntry(128), B{}.s("Number")({3, 0x80, 0}).v);
    EXPECT_EQ(NumberEntry(-128), B{}.s("Number")({2, 0x80}).v);
    EXPECT_EQ(NumberEntry(-129), B{}.s("Number")({3, 0x7F, 0xFF}).v);
    EXPECT_EQ(NumberEntry(32767), B{}.s("Number")({3, 0xFF, 0x7F}).v);
    EXPECT_EQ(NumberEntry(32768), B{}.s("Number")({4, 0, 0x80, 0, 0}).v);
    EXPECT_EQ(NumberEntry(-2147483647 - 1), ByteVec{}) << "no default: the marker value is never written";
}

TEST(Writer, ByteWithDeclaredDefault) {
    TSample s;
    s.Number = INT32_MIN;
    s.Mode = 5;
    EXPECT_EQ(Entries(s), ByteVec{});
    s.Mode = 0;
    EXPECT_EQ(Entries(s), B{}.s("Mode")({2, 0}).v);
}

TEST(Writer, StringsShortAndLong) {
    TSample s;
    s.Number = INT32_MIN;
    s.Text = std::string(255, 'a');
    ByteVec e = Entries(s);
    ASSERT_EQ(e.size(), 5u + 2 + 255);
    EXPECT_EQ(e[5], 6);
    EXPECT_EQ(e[6], 255);
    s.Text = std::string(256, 'a');
    e = Entries(s);
    ASSERT_EQ(e.size(), 5u + 5 + 256);
    EXPECT_EQ(ByteVec(e.begin() + 5, e.begin() + 10), (ByteVec{12, 0, 1, 0, 0}));
}

TEST(Writer, OtherKindsAndTheirBytes) {
    TSample s;
    s.Number = INT32_MIN;
    s.Colour = 0xFF;
    s.Letter = 'Q';
    s.Colours = 0b101;
    s.inner->Depth = 3;
    ByteVec expected = B{}.s("Colour")({7}).s("clRed")
                           .s("Letter")({6, 1})("Q")
                           .s("Colours")({11}).s("clRed").s("clBlue")({0})
                           .s("Inner.Depth")({2, 3})
                           .v;
    EXPECT_EQ(test::Hex(Entries(s)), test::Hex(expected));
}

TEST(Writer, NestedObjectWithNothingLeavesNoTrace) {
    TSample s;
    s.Number = INT32_MIN;
    EXPECT_EQ(Entries(s), ByteVec{});
}

TEST(Writer, FloatAsExtended) {
    TSample s;
    s.Number = INT32_MIN;
    s.Ratio = 1.5;
    // 1.5 = 0xC000000000000000 x 2^(16383 - 16383)
    EXPECT_EQ(Entries(s), B{}.s("Ratio")({5, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x3F}).v);
}

TEST(Writer, MethodOnlyWithPublishedName) {
    TSample s;
    s.Number = INT32_MIN;
    s.OnClose = {"NotPublished", &s};
    EXPECT_EQ(Entries(s), ByteVec{});
    s.OnClose = {"HandleClose", &s};
    EXPECT_EQ(Entries(s), B{}.s("OnClose")({7}).s("HandleClose").v);
}

TEST(Writer, IdentifiersWithTagsOfTheirOwn) {
    TMemoryStream ms;
    {
        TWriter w(ms);
        w.WriteIdent("false");
        w.WriteIdent("TRUE");
        w.WriteIdent("null");
        w.WriteIdent("Nil");
        w.WriteIdent("clRed");
        w.WriteStr(std::string(300, 'x'));
    }
    ByteVec v = ms.release();
    ASSERT_EQ(v.size(), 4u + 7 + 256);
    EXPECT_EQ(ByteVec(v.begin(), v.begin() + 6), (ByteVec{8, 9, 0, 13, 7, 5}));
    EXPECT_EQ(v[11], 255) << "short strings are cut at 255 bytes";
}

void ReadInto(TSample& s, const ByteVec& entries) {
    ByteVec bytes = B{}("TPF0").s("TSample").s("").v;
    bytes.insert(bytes.end(), entries.begin(), entries.end());
    bytes.push_back(0);
    bytes.push_back(0);
    TMemoryStream ms(bytes);
    ReadComponentFromStream(ms, s);
}

TEST(Reader, AcceptsEveryFormItsWriterMakes) {
    TSample s;
    ReadInto(s, B{}.s("Number")({4, 0x78, 0x56, 0x34, 0x12})
                    .s("Mode")({3, 0x01, 0x01})  // stored into a byte: 257 -> 1
                    .s("Colour")({7}).s("CLRED")
                    .s("Letter")({6, 1})("Z")
                    .s("Colours")({11}).s("clGreen")({0})
                    .s("Ratio")({2, 3})
                    .s("Text")({12, 3, 0, 0, 0})("abc")
                    .s("Inner.Depth")({2, 9})
                    .s("OnClose")({7}).s("HandleClose")
                    .v);
    EXPECT_EQ(s.Number, 0x12345678);
    EXPECT_EQ(s.Mode, 1);
    EXPECT_EQ(s.Colour, 0xFF);
    EXPECT_EQ(s.Letter, 'Z');
    EXPECT_EQ(s.Colours, 0b10u);
    EXPECT_EQ(s.Ratio, 3.0);
    EXPECT_EQ(s.Text, "abc");
    EXPECT_EQ(s.inner->Depth, 9);
    EXPECT_EQ(s.OnClose.name, "HandleClose");
}

TEST(Reader, SkipsUnknownEntriesOfEveryTagBeforeFailing) {
    // Each value is followed by a known entry, so a skip that takes too few or
    // too many bytes shows up as a wrong error.
    std::vector<ByteVec> values = {
        {0}, {1, 2, 5, 6, 1, 'a', 0}, {2, 1}, {3, 1, 2}, {4, 1, 2, 3, 4}, {5, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F},
        {6, 2, 'a', 'b'}, {7, 1, 'x'}, {8}, {9}, {10, 2, 0, 0, 0, 1, 2}, {11, 1, 'a', 0}, {12, 1, 0, 0, 0, 'q'}, {13},
        {14, 2, 7, 1, 1, 'n', 2, 1, 0, 0}, {15, 1, 2, 3, 4}, {16, 1, 2, 3, 4, 5, 6, 7, 8}, {17, 1, 2, 3, 4, 5, 6, 7, 8},
        {18, 2, 0, 0, 0, 'a', 0, 'b', 0}, {19, 1, 2, 3, 4, 5, 6, 7, 8}};
    for (std::size_t tag = 0; tag < values.size(); ++tag) {
        TSample s;
        B entries;
        entries.s("Unknown");
        entries.v.insert(entries.v.end(), values[tag].begin(), values[tag].end());
        try {
            ReadInto(s, entries.v);
            FAIL() << "tag " << tag;
        } catch (const EReadError& e) {
            EXPECT_STREQ(e.what(), "Error reading TSample.Unknown: Property does not exist") << "tag " << tag;
        }
        // The skipped value must have been consumed exactly.
        TMemoryStream skipped(entries.v);
        TReader r(skipped);
        r.ReadStr();
        r.SkipValue();
        EXPECT_EQ(r.Remaining(), 0u) << "tag " << tag;
    }
}

TEST(Reader, ReadOnlyAndSetMembers) {
    TSample s;
    try {
        ReadInto(s, B{}.s("ReadOnly")({2, 1}).v);
        FAIL();
    } catch (const EReadError& e) {
        EXPECT_STREQ(e.what(), "Error reading TSample.ReadOnly: Property is read-only");
    }
    try {
        ReadInto(s, B{}.s("Colours")({11}).s("clPink").s("clRed")({0}).s("Number")({2, 1}).v);
        FAIL();
    } catch (const EReadError& e) {
        EXPECT_STREQ(e.what(), "Error reading TSample.Colours: Invalid property value");
    }
}

TEST(Reader, NamedComponentIsReadFromItsOwnNameAndMadeUnique) {
    TSample global;
    global.SetName("Form1");
    AddGlobalComponent(&global);
    TSample s;
    ByteVec bytes = B{}("TPF0").s("TSample").s("Form1")({0, 0}).v;
    TMemoryStream ms(bytes);
    ReadComponentFromStream(ms, s);
    EXPECT_EQ(s.Name(), "Form1_1");
    RemoveGlobalComponent(&global);
}

TEST(Reader, PrefixWithChildPositionIsAccepted) {
    TSample s;
    ByteVec bytes = B{}("TPF0")({0xF2, 2, 4}).s("TSample").s("")({0, 0}).v;
    TMemoryStream ms(bytes);
    ReadComponentFromStream(ms, s);
    EXPECT_EQ(ms.Position(), static_cast<std::int64_t>(bytes.size()));
}

TEST(Reader, DeepNestingIsRefusedNotRecursedForever) {
    ByteVec bytes = B{}("TPF0").s("TSample").s("").s("Unknown").v;
    bytes.insert(bytes.end(), 100000, 1);
    TSample s;
    TMemoryStream ms(bytes);
    EXPECT_THROW(ReadComponentFromStream(ms, s), EReadError);
}

// A component with a plain defined entry and a record of its notifications.
class TNoted : public TComponent {
public:
    const ClassInfo& classInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo() {
        static const ClassInfo c{"TNoted", &TComponent::StaticClassInfo(), {}, {}};
        return c;
    }
    void DefineProperties(TFiler& filer) override {
        filer.DefineProperty(
            "Extra", [this](TReader& r) { extra = r.ReadInteger(); }, [this](TWriter& w) { w.WriteInteger(extra); },
            extra != 0);
    }
    void Loaded() override {
        TComponent::Loaded();
        ++loadedCalls;
        stateAtLoaded = State();
    }
    std::int32_t extra = 0;
    int loadedCalls = 0;
    unsigned stateAtLoaded = 0;
};

TEST(DefinedEntries, PlainEntryAndLoadedNotification) {
    TNoted a;
    a.extra = 300;
    TMemoryStream ms;
    WriteComponentToStream(ms, a);
    EXPECT_EQ(ms.release(), (B{}("TPF0").s("TNoted").s("").s("Extra")({3, 0x2C, 0x01})({0, 0}).v));

    TNoted b;
    ByteVec bytes = B{}("TPF0").s("TNoted").s("").s("extra")({2, 7})({0, 0}).v;
    TMemoryStream in(bytes);
    ReadComponentFromStream(in, b);
    EXPECT_EQ(b.extra, 7);
    EXPECT_EQ(b.loadedCalls, 1);
    EXPECT_EQ(b.stateAtLoaded & csReading, 0u);
    EXPECT_EQ(b.State() & (csLoading | csReading), 0u);
}

// A stream that takes only a few bytes, like a full disk.
class FullStream : public TMemoryStream {
public:
    std::size_t Write(const void* buffer, std::size_t n) override {
        std::size_t room = Size() >= 10 ? 0 : std::min<std::size_t>(n, 10 - static_cast<std::size_t>(Size()));
        return room ? TMemoryStream::Write(buffer, room) : 0;
    }
};

TEST(Writer, RefusedWritesFailWithStreamWriteError) {
    TSample s;
    s.Text = std::string(5000, 't');
    FullStream full;
    try {
        WriteComponentToStream(full, s);
        FAIL();
    } catch (const EWriteError& e) {
        EXPECT_STREQ(e.what(), "Stream write error");
    }
}

TEST(Extended, ConversionsBothWays) {
    for (double v : {0.0, 1.0, -2.5, 1e300, 3.141592653589793, 1e-310}) {
        std::uint8_t ext[10];
        DoubleToExtended(v, ext);
        EXPECT_EQ(static_cast<double>(ExtendedToDouble(ext)), v);
    }
}

}  // namespace
}  // namespace vs
