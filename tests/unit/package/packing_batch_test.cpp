// Packing as a batch: the same bytes as packing one file after the other, the
// stored-block layout of level 0, progress, and files that leave the batch.
#include "package/packing_batch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "package/filer.h"
#include "package/packed_file.h"
#include "package/vexel_projector.h"
#include "platform/errors.h"
#include "support/temp_dir.h"
#include "test_bytes.h"

namespace vs {
namespace {

using test::ByteVec;

class Batch : public test::TempDirTest {
protected:
    std::string Make(const std::string& name, std::size_t size, std::uint32_t seed) {
        std::string content(size, '\0');
        for (char& c : content) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 27);
        std::string path = Path(name);
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
};

TEST(LevelZero, FollowsTheBlockProcedureExactly) {
    // 32768 zero bytes: one stored block of all of them, then an empty final block.
    const ByteVec zeros(32768, 0);
    const ByteVec out = DeflateBytes(zeros, 0);
    ASSERT_EQ(out.size(), 32784u);
    EXPECT_EQ(ByteVec(out.begin(), out.begin() + 7), (ByteVec{0x78, 0x01, 0x00, 0x00, 0x80, 0xFF, 0x7F}));
    EXPECT_EQ(ByteVec(out.end() - 9, out.end()), (ByteVec{0x01, 0x00, 0x00, 0xFF, 0xFF, 0x80, 0x00, 0x00, 0x01}));
    // Stored blocks never hold more than the output block gives room for, so
    // a large input is cut at the same places whatever feeds it.
    const ByteVec big(3 * 65536 + 123, 7);
    const ByteVec packed = DeflateBytes(big, 0);
    EXPECT_EQ(packed, DeflateBytes(big, 0));
    EXPECT_LT(packed.size(), big.size() + 64);
}

TEST_F(Batch, GivesTheBytesOfPackingOneFileAfterTheOther) {
    std::vector<std::string> names;
    for (int i = 0; i < 6; ++i) names.push_back(Make("f" + std::to_string(i), 70000 + 40000 * i, i + 1));
    for (std::uint8_t mode : {0, 1, 2, 3, 4, 5}) {
        TPackedFiles sequential;
        sequential.DefaultCompressMode = mode;
        for (const std::string& n : names) sequential.AddFile(n);

        for (unsigned jobs : {1u, 3u, 0u}) {
            TPackedFiles parallel;
            parallel.DefaultCompressMode = mode;
            PackingBatch batch(jobs);
            for (const std::string& n : names) parallel.AddFile(n, batch);
            EXPECT_EQ(batch.Count(), names.size());
            EXPECT_TRUE(parallel.Items(0).IsEmpty()) << "compressed only when the batch runs";
            std::vector<std::pair<std::size_t, std::size_t>> progress;
            batch.Run({.waiting = {}, .progress = [&](std::size_t d, std::size_t t) { progress.emplace_back(d, t); }});
            EXPECT_EQ(batch.Count(), 0u);
            ASSERT_FALSE(progress.empty());
            EXPECT_EQ(progress.front(), (std::pair<std::size_t, std::size_t>{0, names.size()}));
            EXPECT_EQ(progress.back(), (std::pair<std::size_t, std::size_t>{names.size(), names.size()}));
            for (int i = 0; i < parallel.Count(); ++i) {
                EXPECT_EQ(parallel.Items(i).FileData(), sequential.Items(i).FileData()) << int(mode) << " " << i;
                EXPECT_EQ(parallel.Items(i).Filesize, sequential.Items(i).Filesize);
                EXPECT_EQ(parallel.Items(i).CompressMode, mode);
            }
        }
    }
}

TEST_F(Batch, FilesThatLeaveTheBatchAndFailures) {
    const std::string a = Make("a", 1000, 1), b = Make("b", 2000, 2), c = Make("c", 3000, 3);
    PackingBatch batch(2);
    TPackedFile renamed, replaced, kept;
    renamed.SetFilename(a, batch);
    replaced.SetFilename(b, batch);
    kept.SetFilename(c, batch);
    {
        TPackedFile gone;
        gone.SetFilename(a, batch);
    }
    renamed.SetFilename("");                        // leaves the batch, and is empty
    replaced.SetData(ByteVec{1, 2, 3});             // its data came from elsewhere
    EXPECT_EQ(batch.Count(), 1u);
    batch.Run();
    EXPECT_TRUE(renamed.IsEmpty());
    EXPECT_EQ(replaced.FileData(), (ByteVec{1, 2, 3}));
    EXPECT_EQ(kept.Extract().size(), 3000u);

    // Checked when registered, as loading would: the empty file fails at once.
    TPackedFile empty;
    std::ofstream(Path("empty"), std::ios::binary).flush();
    EXPECT_THROW(empty.SetFilename(Path("empty"), batch), EReadError);
    EXPECT_EQ(empty.Filesize, 0);

    // A file that cannot be read when the batch runs: the first such error, by
    // registration order, is reported; the others keep their results.
    TPackedFile first, unreadable, last;
    first.SetFilename(a, batch);
    unreadable.SetFilename(b, batch);
    last.SetFilename(c, batch);
    std::filesystem::remove(b);  // gone between registering and running
    try {
        batch.Run();
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + b);
    }
    EXPECT_EQ(first.Extract().size(), 1000u);
    EXPECT_EQ(last.Extract().size(), 3000u);
    EXPECT_FALSE(unreadable.PendingInBatch());
}

TEST_F(Batch, ReaderPacksLocalFilesOnlyWhenAsked) {
    const std::string local = Make("secret", 500, 9);
    s_TVexelProjector named;
    named.MainFile().SetFilenameOnly(local);  // a name and a size, no data
    named.MainFile().Filesize = 500;
    TMemoryStream ms;
    WriteComponentToStream(ms, named);

    // A package from elsewhere: the name is kept, the local file is not read.
    s_TVexelProjector shown;
    ms.SetPosition(0);
    ReadComponentFromStream(ms, shown);
    EXPECT_EQ(shown.MainFile().Filename(), local);
    EXPECT_TRUE(shown.MainFile().IsEmpty());

    // A project being loaded: the local file is packed, on as many threads as asked.
    s_TVexelProjector loaded;
    ms.SetPosition(0);
    int waits = 0;
    PackingObserver observer{.waiting = [&] { ++waits; }, .progress = {}};
    ReadComponentFromStream(ms, loaded, {LocalFiles::Pack, 2, &observer});
    EXPECT_EQ(loaded.MainFile().Extract().size(), 500u);
    EXPECT_GE(waits, 0);
}

// A component that reads another stream while it is told it was loaded.
class TNesting final : public Published<TNesting, TComponent> {
public:
    static const ClassInfo& StaticClassInfo() {
        static const ClassInfo c{"TNesting", &TComponent::StaticClassInfo(), {}, {}};
        return c;
    }
    void Loaded() override {
        TComponent::Loaded();
        s_TVexelProjector inner;
        TMemoryStream ms;
        WriteComponentToStream(ms, inner);
        ms.SetPosition(0);
        ReadComponentFromStream(ms, inner);
        innerRead = true;
    }
    bool innerRead = false;
};

TEST(Reader, AStreamMayBeReadFromInsideLoaded) {
    TNesting outer;
    ByteVec bytes = test::B{}("TPF0").s("TNesting").s("")({0, 0}).v;
    TMemoryStream ms(bytes);
    ReadComponentFromStream(ms, outer);
    EXPECT_TRUE(outer.innerRead);
}

}  // namespace
}  // namespace vs
