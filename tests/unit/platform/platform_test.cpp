// The portable layer: code page 1252, region bytes, atomic writes, the
// bounds-checked reader and the streams.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/atomic_file.h"
#include "platform/byte_reader.h"
#include "platform/byte_writer.h"
#include "platform/cp1252.h"
#include "platform/errors.h"
#include "platform/file_identity.h"
#include "platform/file_system.h"
#include "platform/region.h"
#include "platform/stream.h"
#include "platform/temp_files.h"
#include "platform/working_copy.h"

#ifdef _WIN32
#include "platform/win32.h"
#endif

namespace vs {
namespace {

namespace fs = std::filesystem;

TEST(Cp1252, ConvertsBothWays) {
    EXPECT_EQ(AnsiString::FromUtf8("Caf\xc3\xa9 \xe2\x82\xac 5").bytes(), "Caf\xe9 \x80 5");
    EXPECT_EQ(AnsiString::FromBytes("Caf\xe9 \x80 5").ToUtf8(), "Caf\xc3\xa9 \xe2\x82\xac 5");
    EXPECT_EQ(AnsiString::FromBytes("A\x80\x81").ToUtf16(), (std::u16string{u'A', 0x20AC, 0x0081}));
    for (int b = 0; b < 256; ++b) {
        AnsiString one = AnsiString::FromBytes(std::string(1, static_cast<char>(b)));
        EXPECT_EQ(AnsiString::FromUtf8(one.ToUtf8()), one) << b;
    }
    // What the code page cannot hold is refused by name, never replaced.
    try {
        AnsiString::FromUtf8("Caption \xe4\xb8\xad");
        ADD_FAILURE() << "no such character in the code page";
    } catch (const ETextEncodingError& e) {
        EXPECT_STREQ(e.what(), "\"Caption \xe4\xb8\xad\" cannot be stored: \"\xe4\xb8\xad\" is not a character of the "
                               "Windows-1252 code page");
    }
    EXPECT_THROW(AnsiString::FromUtf8("\xc3"), ETextEncodingError) << "a cut sequence";
    EXPECT_THROW(AnsiString::FromUtf8("\xc0\xaf"), ETextEncodingError) << "an overlong form";
    EXPECT_FALSE(FitsCp1252("\xd0\x9f"));
    EXPECT_TRUE(FitsCp1252("\xe2\x82\xac"));
    // The first character that cannot be stored, whole, even beyond 16 bits.
    EXPECT_EQ(FirstCharacterNotInCp1252("\xe2\x82\xac-\xf0\x9f\x98\x80\xd0\x9f"), "\xf0\x9f\x98\x80");
    EXPECT_EQ(FirstCharacterNotInCp1252("Caf\xc3\xa9 \xc2\x81"), std::nullopt);
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("a\xf0\x9f\x98\x80\xc3\xa9")), "a\xf0\x9f\x98\x80\xc3\xa9");
}

std::vector<std::uint8_t> Le32(std::initializer_list<std::uint32_t> values) {
    std::vector<std::uint8_t> out;
    for (std::uint32_t v : values)
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return out;
}

TEST(RegionBytes, BandedLayoutWithHeader) {
    // An L shape: a full top row band and a left column below it.
    std::vector<Rect> rects = {{0, 0, 4, 1}, {0, 1, 1, 3}};
    Region r = Region::fromRects(rects);
    EXPECT_EQ(r.regionData(), Le32({32, 1, 2, 32, 0, 0, 4, 3, 0, 0, 4, 1, 0, 1, 1, 3}));
    EXPECT_EQ(r.area(), 6u);
    EXPECT_TRUE(r.contains(3, 0));
    EXPECT_FALSE(r.contains(3, 2));
    EXPECT_EQ(Region().regionData(), Le32({32, 1, 0, 0, 0, 0, 0, 0}));
}

TEST(RegionBytes, SplitsOverlapsIntoBands) {
    std::vector<Rect> rects = {{0, 0, 2, 2}, {1, 1, 3, 3}};
    EXPECT_EQ(Region::fromRects(rects).rects(),
              (std::vector<Rect>{{0, 0, 2, 1}, {0, 1, 3, 2}, {1, 2, 3, 3}}));
}

TEST(RegionBytes, RefusesWhatIsNotARegion) {
    auto good = Le32({32, 1, 1, 16, 0, 0, 1, 1, 0, 0, 1, 1});
    EXPECT_TRUE(Region::fromRegionData(good));
    auto shortData = good;
    shortData.pop_back();
    EXPECT_FALSE(Region::fromRegionData(shortData));
    auto wrongType = good;
    wrongType[4] = 2;
    EXPECT_FALSE(Region::fromRegionData(wrongType));
    auto smallHeader = good;
    smallHeader[0] = 16;
    EXPECT_FALSE(Region::fromRegionData(smallHeader));
    auto hugeCount = Le32({32, 1, 0xFFFFFFFF, 0, 0, 0, 0, 0});
    EXPECT_FALSE(Region::fromRegionData(hugeCount));
    EXPECT_FALSE(Region::fromRegionData({}));
    auto emptyRect = Le32({32, 1, 1, 16, 0, 0, 0, 0, 5, 5, 5, 9});
    auto r = Region::fromRegionData(emptyRect);
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->empty());
}

TEST(RegionBytes, AMovedFromRegionIsEmptyAndUsable) {
    std::vector<Rect> rects = {{0, 0, 4, 1}};
    Region a = Region::fromRects(rects);
    Region b(std::move(a));
    EXPECT_EQ(b.area(), 4u);
    EXPECT_TRUE(a.empty());  // NOLINT(bugprone-use-after-move): that is the point
    EXPECT_EQ(a.rectCount(), 0u);
    EXPECT_EQ(a.bounds(), Rect{});
    EXPECT_FALSE(a.contains(0, 0));
    EXPECT_EQ(a.regionData(), Region().regionData());
    EXPECT_EQ(Region(a), Region());
    EXPECT_TRUE(a == Region());
    a.unite(b);
    EXPECT_EQ(a, b);
    Region c(std::move(b));
    b = a;  // a moved-from region takes a copy
    EXPECT_EQ(b, c);
}

TEST(ByteWriterTest, LittleEndianAppendsAndPatches) {
    struct Record {
        std::uint16_t a;
        std::uint32_t b;
    };
    ByteWriter w;
    w.u8(0x01);
    w.u16(0x0302);
    w.u32(0x07060504);
    w.zeros(2);
    w.alignTo(4);
    w.bytes(std::vector<std::uint8_t>{0xAA, 0xBB});
    w.utf16(u"A€");
    w.putU16(7, 0xCCDD);
    w.putU32(8, 0x11FFEE00);
    EXPECT_EQ(w.bytes(), (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 0xDD, 0x00, 0xEE, 0xFF, 0x11, 0xAA, 0xBB, 0x41,
                                                    0, 0xAC, 0x20}));
    EXPECT_THROW(w.putU32(15, 0), EWriteError) << "patching past the end";
    EXPECT_THROW(w.putU16(SIZE_MAX, 0), EWriteError);
    ByteWriter r;
    r.record(Record{0x0102, 0x03040506});  // with the struct's own padding
    EXPECT_EQ(r.size(), sizeof(Record));
    EXPECT_EQ(r.bytes()[0], 0x02);
    EXPECT_EQ(r.bytes()[4], 0x06);
    EXPECT_EQ(r.take().size(), sizeof(Record));
}

TEST(ByteReaderTest, ReadsInsideAndFailsOutside) {
    std::uint8_t data[] = {1, 2, 3, 4, 5, 6};
    ByteReader r({data, sizeof data});
    EXPECT_EQ(r.u16(), 0x0201);
    EXPECT_EQ(r.u32(), 0x06050403u);
    EXPECT_THROW(r.u8(), EReadError);
    EXPECT_FALSE(r.at(4, 3));
    EXPECT_TRUE(r.at(4, 2));
    EXPECT_FALSE(r.at(UINT64_MAX, 2)) << "no overflow in offset + size";
    EXPECT_TRUE(fitsIn(0, 0, 0));
    EXPECT_FALSE(fitsIn(1, UINT64_MAX, 10));
}

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("vs_platform_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        fs::permissions(dir_, fs::perms::owner_all);
        fs::remove_all(dir_);
    }
    static std::string Slurp(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    fs::path dir_;
};

TEST_F(FilesTest, AtomicFileReplacesOnlyOnCommit) {
    fs::path target = dir_ / "out.bin";
    std::ofstream(target) << "old";
    {
        AtomicFile f(target.string());
        f.stream().WriteBuffer("new content", 11);
        EXPECT_EQ(Slurp(target), "old");
    }  // not committed
    EXPECT_EQ(Slurp(target), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
    WriteFileAtomic(target.string(), "new content", 11);
    EXPECT_EQ(Slurp(target), "new content");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(FilesTest, FileStreamErrorsNameTheFile) {
    std::string missing = (dir_ / "missing").string();
    try {
        TFileStream f(missing, FileMode::OpenRead);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + missing);
    }
    try {
        TFileStream f(dir_.string(), FileMode::OpenRead);
        FAIL() << "a folder is not a file";
    } catch (const EFOpenError&) {
    }
    std::string nowhere = (dir_ / "a" / "b").string();
    try {
        TFileStream f(nowhere, FileMode::Create);
        FAIL();
    } catch (const EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + nowhere);
    }
    EXPECT_FALSE(FileExists(dir_.string()));
    EXPECT_TRUE(DirectoryExists(dir_.string()));
}

// Names that the ANSI code page cannot spell ("Папка/Про.txt") reach the
// system as they are, and a write that fails keeps the previous file.
TEST_F(FilesTest, AnyNameWorksAndFailedWritesKeepThePreviousFile) {
    const std::string folder = Utf8Of(dir_) + "/\xD0\x9F\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0";
    fs::create_directories(PathOf(folder));
    const std::string name = folder + "/\xD0\x9F\xD1\x80\xD0\xBE.txt";
    WriteFileAtomic(name, "first", 5);
    EXPECT_TRUE(fs::is_regular_file(dir_ / u"\u041F\u0430\u043F\u043A\u0430" / u"\u041F\u0440\u043E.txt"));
    EXPECT_TRUE(FileExists(name));
    EXPECT_TRUE(DirectoryExists(folder));
    EXPECT_EQ(Slurp(PathOf(name)), "first");
    EXPECT_EQ(Utf8Of(PathOf(name).filename()), "\xD0\x9F\xD1\x80\xD0\xBE.txt");
    {
        AtomicFile f(name);
        f.stream().WriteBuffer("second", 6);
    }  // given up halfway
    EXPECT_EQ(Slurp(PathOf(name)), "first");
    // A target that cannot be replaced (a folder with a file in it) stays.
    const std::string blocked = folder + "/\xD0\xAF";
    fs::create_directories(PathOf(blocked));
    WriteFileAtomic(blocked + "/kept", "kept", 4);
    EXPECT_THROW(WriteFileAtomic(blocked, "new", 3), EFCreateError);
    EXPECT_EQ(Slurp(PathOf(blocked + "/kept")), "kept");
    EXPECT_EQ(std::distance(fs::directory_iterator(PathOf(folder)), fs::directory_iterator()), 2);
    // A working copy takes the file's bytes; changing it leaves the file alone.
    {
        TFileStream in(name, FileMode::OpenRead);
        WorkingCopy copy(in);
        ASSERT_EQ(copy.bytes().size(), 5u);
        copy.bytes()[0] = 'F';
        EXPECT_EQ(copy.bytes()[0], 'F');
    }
    EXPECT_EQ(Slurp(PathOf(name)), "first");
    EXPECT_TRUE(RemoveFile(name));
    EXPECT_EQ(KindOfPath(name), PathKind::Missing);
#ifdef _WIN32
    // Bytes that are no UTF-8 name no file on Windows, rather than another one.
    EXPECT_THROW(TFileStream(folder + "/a\xFF.txt", FileMode::Create), EFCreateError);
    EXPECT_EQ(KindOfPath(folder + "/\xFF"), PathKind::Missing);
#endif
    const std::string temp = TemporaryFolder();
    ASSERT_FALSE(temp.empty());
    EXPECT_TRUE(temp.back() == '/' || temp.back() == '\\');
    EXPECT_TRUE(DirectoryExists(temp));
}

TEST_F(FilesTest, TemporaryNamesAreShortAndRemovedWhenTheProgramIsCutShort) {
#ifndef _WIN32
    // A target name at the file system's limit still gets a temporary sibling.
    const fs::path target = dir_ / (std::string(251, 'n') + ".exe");
    WriteFileAtomic(target.string(), "x", 1);
    EXPECT_EQ(Slurp(target), "x");
#endif

    AtomicFile open((dir_ / "a.bin").string());
    EXPECT_EQ(fs::path(open.tempName()).parent_path(), dir_);
    EXPECT_LE(fs::path(open.tempName()).filename().string().size(), 15u);
    TempSibling held = CreateTempSibling((dir_ / "b.bin").string());
    held.stream->WriteBuffer("half", 4);
    const std::string forgotten = (dir_ / "forgotten.tmp").string();
    std::ofstream(forgotten) << "kept";
    {
        LiveTempFile live(forgotten);
        live.Forget();
        RemoveLiveTempFiles();  // what the signal or console handler runs
    }
#ifdef _WIN32
    // Windows removes an open file once its last handle is closed, as the
    // end of the program closes it.
    held.stream.reset();
#endif
    EXPECT_FALSE(fs::exists(held.name)) << "a live temporary file is removed, also while it is being written";
    EXPECT_TRUE(fs::exists(forgotten)) << "a forgotten one is not";

#ifndef _WIN32
    // Only regular files are opened, and never waited for, or replaced.
    const std::string pipe = (dir_ / "pipe").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_THROW(TFileStream(pipe, FileMode::OpenRead), EFOpenError);
    EXPECT_THROW(TFileStream(pipe, FileMode::Create), EFCreateError);
    EXPECT_THROW(WriteFileAtomic(pipe, "x", 1), EFCreateError);
    EXPECT_THROW(WriteFileAtomic(dir_.string(), "x", 1), EFCreateError);
    EXPECT_TRUE(fs::is_fifo(pipe));
#endif
}

TEST_F(FilesTest, FilesAreComparedByIdentityAndNamesMadeFull) {
    const std::string file = (dir_ / "f.txt").string();
    std::ofstream(file) << "f";
    fs::create_directory(dir_ / "sub");
    fs::create_hard_link(file, dir_ / "hard.txt");
    for (const char* other : {"sub/../f.txt", "./f.txt", "hard.txt"})
        EXPECT_TRUE(SameFile(file, (dir_ / other).string())) << other;
#ifndef _WIN32
    fs::create_symlink(file, dir_ / "soft.txt");
    EXPECT_TRUE(SameFile(file, (dir_ / "soft.txt").string()));
#endif
    EXPECT_FALSE(SameFile(file, (dir_ / "sub").string()));
    EXPECT_FALSE(SameFile(file, (dir_ / "new.txt").string())) << "one exists, the other not";
    EXPECT_TRUE(SameFile((dir_ / "new.txt").string(), (dir_ / "sub/../new.txt").string()));
    EXPECT_FALSE(SameFile((dir_ / "new.txt").string(), (dir_ / "sub/new.txt").string()));

#ifdef _WIN32
    // Names that do not exist yet are compared as the file system compares
    // them: without regard to case, for every letter.
    EXPECT_TRUE(SameFile((dir_ / "new.txt").string(), (dir_ / "NEW.TXT").string()));
    EXPECT_TRUE(SameFile(Utf8Of(dir_) + "\\\xC3\x84.exe", Utf8Of(dir_) + "\\\xC3\xA4.exe"));  // Ä, ä
    EXPECT_TRUE(SameFile(Utf8Of(dir_) + "\\\xD0\x96.vsp", Utf8Of(dir_) + "\\\xD0\xB6.vsp"));  // Ж, ж
    EXPECT_FALSE(SameFile(Utf8Of(dir_) + "\\\xC3\x84.exe", Utf8Of(dir_) + "\\A.exe"));
    EXPECT_EQ(FullPath("C:\\a\\.\\b\\..\\c\\\\d"), "C:\\a\\c\\d");
#else
    EXPECT_EQ(FullPath("/a/./b/../c//d"), "/a/c/d");
    EXPECT_EQ(FullPath("/a/b/."), "/a/b");
#endif
    EXPECT_EQ(FullPath("x/../y.txt"), Utf8Of(fs::current_path() / "y.txt"));
    EXPECT_EQ(FullPath(""), "");
}

#ifdef _WIN32
// Libraries are looked for in the system folder only: one of a known name
// put into the current folder is not loaded once the program has restricted
// its search, and a system library still loads by its bare name.
TEST_F(FilesTest, LibrariesComeFromTheSystemFolderOnly) {
    const fs::path planted = fs::current_path() / ("vs-planted-" + std::to_string(::getpid()) + ".dll");
    fs::copy_file(fs::path(VS_TOOLS_DIR) / "x64" / "mhproc.dll", planted, fs::copy_options::overwrite_existing);
    struct Remove {
        fs::path p;
        ~Remove() {
            std::error_code ec;
            fs::remove(p, ec);
        }
    } remove{planted};
    const std::wstring bare = planted.filename().wstring();
    HMODULE before = LoadLibraryW(bare.c_str());
    ASSERT_NE(before, nullptr) << "the planted library does not load at all";
    FreeLibrary(before);
    win32::RestrictLibrarySearchToSystem();
    HMODULE after = LoadLibraryW(bare.c_str());
    EXPECT_EQ(after, nullptr) << "a library of the current folder was loaded";
    if (after) FreeLibrary(after);
    HMODULE system = win32::LoadSystemLibrary(L"Msftedit.dll");
    ASSERT_NE(system, nullptr);
    wchar_t folder[MAX_PATH] = {};
    GetSystemDirectoryW(folder, MAX_PATH);
    EXPECT_EQ(_wcsnicmp(win32::ModulePath(system).c_str(), folder, wcslen(folder)), 0)
        << win32::Utf8(win32::ModulePath(system));
}
#endif

TEST(Streams, MemoryStreamReadsAndWrites) {
    TMemoryStream ms;
    ms.WriteBuffer("abcdef", 6);
    ms.SetPosition(2);
    char buf[8] = {};
    EXPECT_EQ(ms.Read(buf, 8), 4u);
    EXPECT_STREQ(buf, "cdef");
    EXPECT_THROW(ms.ReadBuffer(buf, 1), EReadError);
    ms.SetPosition(1);
    ms.WriteBuffer("ZZ", 2);
    EXPECT_EQ(std::string(ms.bytes().begin(), ms.bytes().end()), "aZZdef");
    std::uint8_t raw[] = {1, 2, 3};
    TBytesStream view({raw, 3});
    view.Seek(-1, SeekOrigin::End);
    EXPECT_EQ(view.Read(buf, 5), 1u);
    EXPECT_EQ(buf[0], 3);
}

}  // namespace
}  // namespace vs
