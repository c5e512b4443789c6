// Packed files: compression by mode, the name setter, streaming inside the
// settings object, extraction and its failures.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "package/filer.h"
#include "package/vexel_projector.h"
#include "platform/errors.h"
#include "support/temp_dir.h"
#include "support/zlib_reference.h"
#include "test_bytes.h"

namespace vs {
namespace {

namespace fs = std::filesystem;
using test::B;
using test::ByteVec;

// How the generator reads a project: local files that the stream names are packed.
const ReadOptions kPackLocalFiles{LocalFiles::Pack};

class PackedFileTest : public test::TempDirTest {
protected:
    std::string Make(const std::string& name, const std::string& content) {
        std::string path = Path(name);
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    static std::string Slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
};

TEST_F(PackedFileTest, StoredModeGivesFixedBytes) {
    TPackedFile f;
    f.CompressMode = 1;
    f.SetFilename(Make("h.txt", "hello"));
    // zlib header, one final stored block of 5 bytes, Adler-32 of "hello".
    ByteVec expected = B{}({0x78, 0x01, 0x01, 0x05, 0x00, 0xFA, 0xFF})("hello")({0x06, 0x2C, 0x02, 0x15}).v;
    EXPECT_EQ(f.FileData(), expected);
    EXPECT_EQ(f.Filesize, 5);
}

TEST_F(PackedFileTest, ModesMapToLevels) {
    EXPECT_EQ(LevelForMode(0), -1);
    EXPECT_EQ(LevelForMode(1), 0);
    EXPECT_EQ(LevelForMode(2), 1);
    EXPECT_EQ(LevelForMode(3), -1);
    EXPECT_EQ(LevelForMode(4), 9);
    EXPECT_EQ(LevelForMode(5), -1);
    EXPECT_EQ(LevelForMode(255), -1);
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i % 97) + "\n";
    std::string path = Make("t.txt", text);
    // The zlib header's level bits: 0 fastest .. 3 maximum.
    const std::pair<int, int> cases[] = {{1, 0x01}, {2, 0x01}, {3, 0x9C}, {4, 0xDA}, {0, 0x9C}, {5, 0x9C}};
    for (auto [mode, flg] : cases) {
        TPackedFile f;
        f.CompressMode = static_cast<std::uint8_t>(mode);
        f.SetFilename(path);
        ASSERT_GE(f.FileData().size(), 2u);
        EXPECT_EQ(f.FileData()[0], 0x78) << mode;
        EXPECT_EQ(f.FileData()[1], flg) << mode;
        EXPECT_EQ(f.Extract(), ByteVec(text.begin(), text.end())) << mode;
    }
}

TEST_F(PackedFileTest, ChunkedCompressionMatchesOneCallToZlib) {
    std::string data(3 * 61440 + 17, '\0');
    std::uint32_t x = 1;
    for (char& c : data) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24 & 0x3F);
    const std::span<const std::uint8_t> bytes{reinterpret_cast<const std::uint8_t*>(data.data()), data.size()};
    for (int level : {1, 6, 9}) EXPECT_EQ(DeflateBytes(bytes, level), test::ZlibDeflateOnce(bytes, level)) << level;
}

TEST_F(PackedFileTest, NameOfFolderOrMissingFileKeepsThePreviousData) {
    TPackedFile f;
    f.SetFilename(Make("a.txt", "abc"));
    ByteVec before = f.FileData();
    f.SetFilename(dir_.string());
    EXPECT_EQ(f.Filename(), dir_.string());
    EXPECT_EQ(f.FileData(), before);
    EXPECT_EQ(f.Filesize, 3);
    f.SetFilename((dir_ / "missing").string());
    EXPECT_EQ(f.FileData(), before);
    f.SetFilename("");
    EXPECT_TRUE(f.IsEmpty());
    EXPECT_EQ(f.Filesize, 3) << "the size stays when the name is cleared";
}

TEST_F(PackedFileTest, EmptyAndUnreadableFilesFail) {
    TPackedFile f;
    f.CompressMode = 2;
    f.SetFilename(Make("ok.txt", "data"));
    ByteVec before = f.FileData();
    try {
        f.LoadFromFile(Make("empty.txt", ""), 4);
        FAIL();
    } catch (const VsError& e) {
        EXPECT_STREQ(e.what(), "Input file is empty");
    }
    EXPECT_EQ(f.CompressMode, 4);
    EXPECT_EQ(f.Filesize, 0);
    EXPECT_EQ(f.FileData(), before);
    std::string missing = (dir_ / "nope").string();
    try {
        f.LoadFromFile(missing, 1);
        FAIL();
    } catch (const VsError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + missing);
    }
}

TEST_F(PackedFileTest, FilesCollectionWithOneItemAtMode3) {
    std::string path = Make("one.bin", std::string(1000, 'x'));
    s_TVexelProjector p;
    p.Files().DefaultCompressMode = 3;
    p.Files().AddFile(path);
    TMemoryStream ms;
    WriteComponentToStream(ms, p);
    ByteVec data = p.Files().Items(0).FileData();
    B expected;
    expected.s("Files")({0x0E, 0x01}).s("Filename")({6}).s(path).s("Filesize")({3, 0xE8, 0x03});
    expected.s("CompressMode")({2, 3}).s("Data")({0x0A}).u32(static_cast<std::uint32_t>(data.size()));
    expected.v.insert(expected.v.end(), data.begin(), data.end());
    expected({0, 0});
    std::string all = test::Hex(ms.release());
    EXPECT_NE(all.find(test::Hex(expected.v)), std::string::npos) << all;
}

TEST_F(PackedFileTest, ModeFiveIsNotWrittenAndReadsBackAsZero) {
    s_TVexelProjector a;
    a.MainFile().CompressMode = 5;
    TMemoryStream ms;
    WriteComponentToStream(ms, a);
    std::string hex = test::Hex(ms.buffer());
    EXPECT_EQ(hex.find("MainFile.CompressMode"), std::string::npos);
    ms.SetPosition(0);
    s_TVexelProjector b;
    ReadComponentFromStream(ms, b);
    EXPECT_EQ(b.MainFile().CompressMode, 0);
}

TEST_F(PackedFileTest, CollectionItemsComeBackThroughThePlainAdd) {
    s_TVexelProjector a;
    a.Files().DefaultCompressMode = 2;
    a.Files().AddFile(Make("x.txt", "xx"));
    a.Files().Items(0).CompressMode = 5;  // not written
    TMemoryStream ms;
    WriteComponentToStream(ms, a);
    fs::remove(dir_ / "x.txt");
    ms.SetPosition(0);
    s_TVexelProjector b;
    b.Files().DefaultCompressMode = 4;
    ReadComponentFromStream(ms, b);
    ASSERT_EQ(b.Files().Count(), 1);
    EXPECT_EQ(b.Files().Items(0).CompressMode, 0);
    EXPECT_EQ(b.Files().Items(0).Extract(), (ByteVec{'x', 'x'}));
}

TEST_F(PackedFileTest, StreamNamingAnEmptyLocalFileFailsInsideTheEntry) {
    std::string empty = Make("empty.swf", "");
    ByteVec bytes = B{}("TPF0").s("s_TVexelProjector").s("").s("MainFile.Filename")({6}).s(empty)({0, 0}).v;
    s_TVexelProjector p;
    TMemoryStream ms(bytes);
    try {
        ReadComponentFromStream(ms, p, kPackLocalFiles);
        FAIL();
    } catch (const EReadError& e) {
        EXPECT_STREQ(e.what(), "Error reading s_TVexelProjector.MainFile.Filename: Input file is empty");
    }
}

TEST_F(PackedFileTest, LocalFileIsReplacedByTheStreamData) {
    std::string path = Make("m.exe", "local");
    s_TVexelProjector a;
    a.MainFile().SetFilename(path);
    TMemoryStream ms;
    WriteComponentToStream(ms, a);
    Make("m.exe", "changed locally");
    ms.SetPosition(0);
    s_TVexelProjector b;
    ReadComponentFromStream(ms, b, kPackLocalFiles);
    EXPECT_EQ(b.MainFile().Filesize, 5);
    EXPECT_EQ(b.MainFile().Extract(), (ByteVec{'l', 'o', 'c', 'a', 'l'}));
}

TEST_F(PackedFileTest, StreamWithoutDataKeepsTheLocalFileAtTheModeOfTheNameEntry) {
    std::string path = Make("local.txt", std::string(4000, 'L'));
    // Filename, then CompressMode 1, no Data: the local file is packed at the
    // mode the object had when the name was read (0, the default level).
    ByteVec bytes = B{}("TPF0").s("s_TVexelProjector").s("")
                        .s("MainFile.Filename")({6}).s(path)
                        .s("MainFile.Filesize")({2, 9})
                        .s("MainFile.CompressMode")({2, 1})({0, 0})
                        .v;
    s_TVexelProjector p;
    TMemoryStream ms(bytes);
    ReadComponentFromStream(ms, p, kPackLocalFiles);
    EXPECT_EQ(p.MainFile().Filesize, 9);
    EXPECT_EQ(p.MainFile().CompressMode, 1);
    TPackedFile eager;
    eager.SetFilename(path);  // mode 0, outside any read
    EXPECT_EQ(p.MainFile().FileData(), eager.FileData());
}

TEST_F(PackedFileTest, ItemsReplacedDuringOneReadAreNotTouchedLater) {
    std::string path = Make("x.txt", "xyz");
    B files;
    files.s("Files")({0x0E, 0x01}).s("Filename")({6}).s(path)({0, 0});
    B b;
    b("TPF0").s("s_TVexelProjector").s("");
    b.v.insert(b.v.end(), files.v.begin(), files.v.end());
    b.v.insert(b.v.end(), files.v.begin(), files.v.end());  // clears the first item
    b({0, 0});
    s_TVexelProjector p;
    TMemoryStream ms(b.v);
    ReadComponentFromStream(ms, p, kPackLocalFiles);
    ASSERT_EQ(p.Files().Count(), 1);
    EXPECT_EQ(p.Files().Items(0).Extract(), (ByteVec{'x', 'y', 'z'}));
}

TEST_F(PackedFileTest, ExtractWritesExactlyTheFileAndNeverAPartialOne) {
    std::string content(200000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
    TPackedFile f;
    f.CompressMode = 4;
    f.SetFilename(Make("src.bin", content));
    std::string out = (dir_ / "out.bin").string();
    f.ExtractToFile(out);
    EXPECT_EQ(Slurp(out), content);

    // Data that ends early: an error, and the previous target stays as it was.
    TPackedFile cut;
    cut.Filesize = f.Filesize;
    ByteVec half(f.FileData().begin(), f.FileData().begin() + static_cast<long>(f.FileData().size() / 2));
    cut.SetData(half);
    EXPECT_THROW(cut.ExtractToFile(out), EZlibError);
    EXPECT_EQ(Slurp(out), content);

    // A changed byte in stored blocks gives the right size but the wrong
    // check value: an error too, and nothing is written.
    TPackedFile stored;
    stored.CompressMode = 1;
    stored.SetFilename(Make("stored.bin", content));
    ByteVec changed = stored.FileData();
    changed[changed.size() / 2] ^= 0x20;
    TPackedFile damaged;
    damaged.Filesize = stored.Filesize;
    damaged.SetData(changed);
    EXPECT_THROW(damaged.ExtractToFile(out), EZlibError);
    EXPECT_EQ(Slurp(out), content);

    TPackedFile bad;
    bad.Filesize = 10;
    bad.SetData(ByteVec{1, 2, 3, 4});
    try {
        bad.ExtractToFile(out);
        FAIL();
    } catch (const EZlibError& e) {
        EXPECT_STREQ(e.what(), "error");
    }
    EXPECT_EQ(Slurp(out), content);

    TPackedFile none;
    try {
        none.ExtractToFile(out);
        FAIL();
    } catch (const VsError& e) {
        EXPECT_STREQ(e.what(), "Invalid stream operation");
    }
    std::string uncreatable = (dir_ / "no" / "such" / "dir.bin").string();
    try {
        f.ExtractToFile(uncreatable);
        FAIL();
    } catch (const EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + uncreatable);
        EXPECT_EQ(FailureText(e), "Cannot create file " + uncreatable + ": No such file or directory");
    }
    // No temporary files are left behind.
    int files = 0;
    for (auto& entry : fs::directory_iterator(dir_)) files += entry.is_regular_file();
    EXPECT_EQ(files, 3);
}

// The engine's rule: exactly the stored size, then the stream's end, then
// nothing. A stream that runs past the size or carries more bytes is refused.
TEST_F(PackedFileTest, ExtractionTakesOnlyAStreamOfExactlyTheStoredSize) {
    const ByteVec hello = B{}({0x78, 0x01, 0x01, 0x05, 0x00, 0xFA, 0xFF})("hello")({0x06, 0x2C, 0x02, 0x15}).v;
    auto outcome = [](const ByteVec& data, std::int32_t size) {
        TPackedFile f;
        f.Filesize = size;
        f.SetData(data);
        try {
            const std::vector<std::uint8_t> bytes = f.Extract();
            return std::string(bytes.begin(), bytes.end());
        } catch (const EZlibError& e) {
            return std::string(e.what());
        }
    };
    EXPECT_EQ(outcome(hello, 5), "hello");
    EXPECT_EQ(outcome(hello, 4), "Packed data is longer than the file's stored size");
    ByteVec trailing = hello;
    trailing.push_back(0);
    EXPECT_EQ(outcome(trailing, 5), "Packed data is followed by other bytes");
    EXPECT_EQ(outcome(hello, 6), "Packed data ends before the file is complete");
}

TEST_F(PackedFileTest, CompressionLooksAtItsCancelFlagWithinAFile) {
    const std::string name = Make("big.bin", std::string(3 * kPackInputChunk, 'c'));
    TFileStream file(name, FileMode::OpenRead);
    std::atomic<bool> cancel{true};
    EXPECT_THROW(CompressFile(file, file.Size(), 3, &cancel), EPackingCancelled);
    file.SetPosition(0);
    cancel = false;
    const std::vector<std::uint8_t> plain(3 * kPackInputChunk, 'c');
    EXPECT_EQ(CompressFile(file, file.Size(), 3, &cancel), DeflateBytes(plain, -1));
}

// A stream over bytes that counts what is read from it.
class CountingStream : public TBytesStream {
public:
    using TBytesStream::TBytesStream;
    std::size_t Read(void* buffer, std::size_t n) override {
        const std::size_t got = TBytesStream::Read(buffer, n);
        read += got;
        return got;
    }
    std::size_t read = 0;
};

// What `show` reads: the packed files' sizes, never their bytes.
TEST_F(PackedFileTest, ASizesOnlyReadPassesOverThePackedBytes) {
    s_TVexelProjector s;
    s.MainFile().CompressMode = 1;
    s.MainFile().SetFilename(Make("movie.bin", std::string(1 << 20, 'm')));
    TMemoryStream package;
    WriteComponentToStream(package, s);
    CountingStream in(package.bytes());
    s_TVexelProjector shown;
    ReadOptions sizesOnly;
    sizesOnly.packedData = PackedData::SizeOnly;
    ReadComponentFromStream(in, shown, sizesOnly);
    EXPECT_EQ(shown.MainFile().FileDataSize(), s.MainFile().FileDataSize());
    EXPECT_EQ(shown.MainFile().Filesize, 1 << 20);
    EXPECT_FALSE(shown.MainFile().IsEmpty());
    EXPECT_LT(in.read, 16u * 1024) << "the packed bytes were read";
    EXPECT_THROW(shown.MainFile().Extract(), EInvalidOperation);
    EXPECT_EQ(in.Position(), in.Size()) << "the stream stands behind the component";
}

TEST_F(PackedFileTest, SameDataAndAssign) {
    TPackedFile a, b;
    EXPECT_TRUE(a.SameData(b));
    a.SetFilename(Make("a.txt", "aaa"));
    EXPECT_FALSE(a.SameData(b));
    b.Assign(a);
    EXPECT_TRUE(a.SameData(b));
    EXPECT_EQ(b.Filename(), a.Filename());
    EXPECT_EQ(b.Filesize, 3) << "the setter reloaded the file";
    TPackedFile c;
    c.Filesize = 77;
    fs::remove(a.Filename());
    c.Assign(a);
    EXPECT_EQ(c.Filesize, 77) << "the size is not copied";
    EXPECT_TRUE(c.SameData(a));
    TStoreWinRegion notAFile;
    EXPECT_THROW(c.Assign(notAFile), VsError);
}

}  // namespace
}  // namespace vs
