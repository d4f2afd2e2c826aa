#include "engine/Codecs.h"
#include "engine/Graphic.h"
#include "tests/engine/CodecTestUtil.h"

#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <csignal>

using namespace kadrimex;
using namespace kadrimex::testing;

namespace {

class CodecFiles : public ::testing::Test {
protected:
    void SetUp() override { dir = TempFolder("files"); }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string Path(const char* name) const { return (dir / name).string(); }
    std::size_t EntryCount() const
    {
        return std::size_t(std::distance(std::filesystem::directory_iterator(dir), {}));
    }
    static std::string LoadError(const std::string& path)
    {
        return ErrorOf([&] { TPicture::LoadFromFile(path); }, "(loaded)");
    }
    std::filesystem::path dir;
};

}  // namespace

TEST_F(CodecFiles, ReadFileBytesReadsWholeFilesAndExplainsFailures)
{
    const std::vector<std::uint8_t> bytes = {0, 1, 2, 255, 13, 10};
    WriteAll(Path("a.bin"), bytes);
    EXPECT_EQ(ReadFileBytes(Path("a.bin")), bytes);
    WriteAll(Path("empty.bin"), {});
    EXPECT_TRUE(ReadFileBytes(Path("empty.bin")).empty());
    EXPECT_EQ(ErrorOf([&] { ReadFileBytes(Path("missing.bmp")); }),
              "Cannot open file " + Path("missing.bmp") + ": No such file or directory");
    const std::string folder = ErrorOf([&] { ReadFileBytes(dir.string()); });
    EXPECT_NE(folder.find("not a regular file"), std::string::npos) << folder;
}

TEST_F(CodecFiles, WriteFileAtomicallyReplacesOrLeavesEverythingAsItWas)
{
    const std::string target = Path("out.bmp");
    WriteFileAtomically(target, {1, 2, 3});
    EXPECT_EQ(ReadAll(target), (std::vector<std::uint8_t>{1, 2, 3}));

    // Replacing keeps the permissions of the file replaced.
    ::chmod(target.c_str(), 0640);
    WriteFileAtomically(target, {4, 5});
    EXPECT_EQ(ReadAll(target), (std::vector<std::uint8_t>{4, 5}));
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(EntryCount(), 1u) << "no temporary file stays behind";

    // A folder in the way: the rename fails, the temporary file is removed.
    std::filesystem::create_directory(dir / "taken.bmp");
    EXPECT_THROW(WriteFileAtomically(Path("taken.bmp"), {1}), EImageError);
    EXPECT_EQ(EntryCount(), 2u);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "taken.bmp"));

    EXPECT_THROW(WriteFileAtomically(Path("no-such-folder/x.bmp"), {1}), EImageError);
    EXPECT_EQ(EntryCount(), 2u);
}

// Any name up to NAME_MAX can be written, and a writer killed while writing
// leaves nothing the next write to the same target does not remove; a live
// writer's file stays.
TEST_F(CodecFiles, TemporaryFilesFitAnyNameAndDoNotOutliveTheirWriter)
{
    for (const std::size_t length : {1, 245, 246, 250, 255}) {
        const std::string name = Path(std::string(length, 'n').c_str());
        WriteFileAtomically(name, {7});
        EXPECT_EQ(ReadAll(name), (std::vector<std::uint8_t>{7})) << length;
        EXPECT_EQ(EntryCount(), 1u) << length;
        std::filesystem::remove(name);
    }
    const std::string target = Path("out.bmp");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t writer = ::fork();
    if (writer == 0) {
        const std::vector<std::uint8_t> block(kWriteBlock, 1);
        WriteFileAtomically(target, 2 * kWriteBlock, [&](std::uint64_t offset, std::size_t) {
            if (offset > 0) {
                (void)!::write(ready[1], "w", 1);
                ::pause();
            }
            return block.data();
        });
        ::_exit(0);
    }
    char signal = 0;
    ASSERT_EQ(::read(ready[0], &signal, 1), 1);
    ::kill(writer, SIGKILL);
    ::waitpid(writer, nullptr, 0);
    ::close(ready[0]), ::close(ready[1]);
    // Killed writers of the file system without anonymous files, and one
    // live writer holding its lock.
    WriteAll(TemporaryWriteName(target, 0), {1});
    WriteAll(TemporaryWriteName(target, 3), {1});
    const int live = ::open(TemporaryWriteName(target, 1).c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(live, 0);
    ASSERT_EQ(::flock(live, LOCK_EX), 0);
    WriteFileAtomically(target, {9});
    EXPECT_EQ(ReadAll(target), (std::vector<std::uint8_t>{9}));
    EXPECT_EQ(EntryCount(), 2u) << "the target and the live writer's file";
    EXPECT_TRUE(std::filesystem::exists(TemporaryWriteName(target, 1)));
    ::close(live);
    WriteFileAtomically(target, {8});
    EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(CodecFiles, UnwritableDestinationsAreRefusedBeforeAnyWork)
{
    WriteAll(Path("file"), {1});
    std::filesystem::create_directory(dir / "folder.bmp");
    std::filesystem::create_directory(dir / "locked");
    ::chmod(Path("locked").c_str(), 0555);
    const struct {
        std::string path, reason;  // reason empty: writable
    } cases[] = {
        {Path("out.bmp"), ""},
        {Path("file"), ""},
        {Path("missing/out.bmp"), "No such file or directory"},
        {Path("file/out.bmp"), "Not a directory"},
        {Path("folder.bmp"), "it is not a regular file"},
        {Path("locked/out.bmp"), ::geteuid() == 0 ? "" : "Permission denied"},  // root may write there
    };
    for (const auto& c : cases)
        EXPECT_EQ(ErrorOf([&] { CheckWritableDestination(c.path); }, ""),
                  c.reason.empty() ? "" : "Cannot write file " + c.path + ": " + c.reason);
    ::chmod(Path("locked").c_str(), 0755);
}

TEST_F(CodecFiles, LargeFilesWrittenPastTheCacheKeepEveryByteAndTheirLimits)
{
    // From 16 MB on the whole 4096-byte units go direct and the tail through
    // the cache; a file-size limit inside a direct unit still fails cleanly.
    const auto pattern = [](std::size_t size) {
        std::vector<std::uint8_t> bytes(size);
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = std::uint8_t(i * 2654435761u >> 13);
        return bytes;
    };
    const std::size_t mb = std::size_t(1) << 20;
    for (const std::size_t size : {16 * mb, 16 * mb + 2230, 21 * mb + 1}) {
        const std::vector<std::uint8_t> bytes = pattern(size);
        WriteFileAtomically(Path("big.bmp"), bytes);
        EXPECT_TRUE(ReadAll(Path("big.bmp")) == bytes) << size;
    }
    const auto writeUnderALimit = [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{rlim_t(10 * mb + 100), rlim_t(10 * mb + 100)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const std::string error = ErrorOf([&] { WriteFileAtomically(Path("cut.bmp"), pattern(20 * mb)); });
        std::exit(error.find("File too large") != std::string::npos && EntryCount() == 1 ? 0 : 1);
    };
    EXPECT_EXIT(writeUnderALimit(), ::testing::ExitedWithCode(0), "");
}

TEST_F(CodecFiles, LoaderFollowsTheExtensionThenTheSignature)
{
    const TBitmap picture = RandomBitmap(13, 7, TPixelFormat::pf24bit, 21);
    const auto bmp = EncodeBmp(picture);
    const auto jpg = EncodeJpeg(picture);
    WriteAll(Path("p.bmp"), bmp);
    WriteAll(Path("p.dat"), bmp);
    WriteAll(Path("P.JPG"), jpg);
    WriteAll(Path("p.jpeg"), jpg);
    WriteAll(Path("p.bin"), jpg);
    WriteAll(Path("jpeg-inside.bmp"), jpg);
    WriteAll(Path("p.xyz"), {1, 2, 3, 4});

    for (const char* name : {"p.bmp", "p.dat"}) {
        const TPicture loaded = TPicture::LoadFromFile(Path(name));
        ASSERT_TRUE(loaded.IsBitmap()) << name;
        EXPECT_TRUE(SamePicture(picture, loaded.ToBitmap())) << name;
    }
    for (const char* name : {"P.JPG", "p.jpeg", "p.bin"}) {
        const TPicture loaded = TPicture::LoadFromFile(Path(name));
        ASSERT_TRUE(loaded.IsJpeg()) << name;
        EXPECT_EQ(loaded.GraphicClassName(), "TJPEGImage");
        EXPECT_EQ(loaded.Width(), 13);
        EXPECT_EQ(loaded.Height(), 7);
        EXPECT_TRUE(SamePicture(DecodeJpeg(jpg.data(), jpg.size()), loaded.ToBitmap())) << name;
    }
    EXPECT_EQ(LoadError(Path("jpeg-inside.bmp")), "BMP: not a BMP file");
    EXPECT_EQ(LoadError(Path("p.xyz")), "Unknown picture file extension (.xyz)");
    EXPECT_EQ(LoadError(Path("missing.jpg")).rfind("Cannot open file", 0), 0u);
}

TEST_F(CodecFiles, SavedJpegShowsTheCompressedPicture)
{
    const TBitmap picture = RandomBitmap(16, 16, TPixelFormat::pf24bit, 8);
    const TJPEGImage jpeg = TJPEGImage::Compress(picture);
    EXPECT_EQ(jpeg.Data(), EncodeJpeg(picture, 80, false));
    EXPECT_EQ(jpeg.Width(), 16);
    // Random pixels do not survive JPEG: what is shown is the decoded data.
    const TBitmap shown = jpeg.ToBitmap();
    EXPECT_FALSE(SamePicture(picture, shown));
    EXPECT_TRUE(SamePicture(DecodeJpeg(jpeg.Data().data(), jpeg.Data().size()), shown));

    TPicture displayed;
    TAdvancedBitmap copy;
    EXPECT_FALSE(MakeWorkingCopy(displayed, copy));
    displayed.Assign(jpeg);
    ASSERT_TRUE(MakeWorkingCopy(displayed, copy));
    EXPECT_EQ(copy.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_TRUE(SamePicture(shown, copy));
}
