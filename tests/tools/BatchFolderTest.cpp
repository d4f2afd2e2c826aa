// kadrimex-batch as a process with chains and -d DIR: a chain against its
// steps run one by one, a folder of photos with a broken file among them,
// the command lines refused before anything runs, and a stop request in the
// middle of a folder.
#include "engine/Codecs.h"
#include "tests/support/BatchPictureTest.h"
#include "tools/BatchChain.h"

#include <gtest/gtest.h>

#include <csignal>
#include <set>

using namespace kadrimex;
namespace fs = std::filesystem;

namespace {

// Photos of 24 sizes cut from the shared photographs, as JPEG files
// p0.jpg ... p23.jpg in `folder`.
bool WritePhotos(const fs::path& folder, int count = 24)
{
    const std::string testdata = std::string(KADRIMEX_SHARED_DIR) + "/testdata/";
    const char* sources[] = {"chelsea-451x300.jpg", "astronaut-512x512.jpg", "retina-640x480.jpg"};
    if (!fs::exists(testdata + sources[0]))
        return false;
    for (int i = 0; i < count; ++i) {
        const auto steps = batch::ParseSteps({"resize", std::to_string(60 + 7 * i), std::to_string(40 + 5 * i)});
        const TBitmap photo = batch::RunChain(steps, testdata + sources[i % 3], {});
        batch::SaveResult((folder / ("p" + std::to_string(i) + ".jpg")).string(), photo, TFileFormat::Jpeg);
    }
    return true;
}

// The -f words that can be written, as the messages list them; more as
// formats are added.
std::string FormatWords()
{
    std::string words;
    for (const char* word : {"bmp", "jpg", "png", "tif", "webp"})
        if (WritableFormatNamed(word) != TFileFormat::None)
            words += std::string(words.empty() ? "" : ", ") + word;
    return words;
}

std::set<std::string> Names(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

class BatchFolder : public test::BatchPictureTest {
protected:
    void SetUp() override
    {
        test::BatchPictureTest::SetUp();
        if (IsSkipped())
            return;
        fs::create_directories(dir / "in");
        fs::create_directories(dir / "out");
        if (!WritePhotos(dir / "in"))
            GTEST_SKIP() << "no shared testdata";
    }
    std::string In(int i) const { return Path("in/p" + std::to_string(i) + ".jpg"); }
};

}  // namespace

TEST_F(BatchFolder, AChainGivesTheBytesOfItsStepsRunOneByOne)
{
    const std::string chained = Path("chained.jpg");
    auto result = test::RunBatch({"gauss", "2", "+", "resize", "50%", "+", "flip", "h", "-i", In(5), "-o", chained});
    ASSERT_EQ(result.status, 0) << result.errors;
    ASSERT_EQ(test::RunBatch({"gauss", "2", "-i", In(5), "-o", Path("1.bmp")}).status, 0);
    ASSERT_EQ(test::RunBatch({"resize", "50%", "-i", Path("1.bmp"), "-o", Path("2.bmp")}).status, 0);
    ASSERT_EQ(test::RunBatch({"flip", "h", "-i", Path("2.bmp"), "-o", Path("3.jpg")}).status, 0);
    EXPECT_EQ(ReadFileBytes(chained), ReadFileBytes(Path("3.jpg")));
}

TEST_F(BatchFolder, EachPhotoIsWrittenAsItsOwnRunWouldAndABrokenFileIsNamed)
{
    const std::string broken = Path("in/broken.jpg");
    WriteFileAtomically(broken, {'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'});
    std::vector<std::string> arguments = {"resize", "50%", "+", "flip", "h", "-d", Path("out"), "-j", "3", "--quiet"};
    for (int i = 0; i < 24; ++i)
        arguments.push_back(In(i));
    arguments.insert(arguments.begin() + 16, broken);  // among the photos
    const test::BatchResult result = test::RunBatch(arguments);
    EXPECT_EQ(result.status, 1);
    const auto lines = result.ErrorLines();
    ASSERT_EQ(lines.size(), 2u) << result.errors;
    EXPECT_EQ(lines[0].rfind("kadrimex-batch: " + broken + ": ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "kadrimex-batch: 1 of 25 files failed");

    EXPECT_EQ(Names(dir / "out").size(), 24u);
    for (int i = 0; i < 24; ++i) {
        SCOPED_TRACE(i);
        const std::string single = Path("single.jpg");
        ASSERT_EQ(test::RunBatch({"resize", "50%", "+", "flip", "h", "-i", In(i), "-o", single}).status, 0);
        EXPECT_EQ(ReadFileBytes(Path("out/p" + std::to_string(i) + ".jpg")), ReadFileBytes(single));
    }
}

TEST_F(BatchFolder, CommandLinesThatCannotWorkAreRefusedBeforeAnyFileIsWritten)
{
    const std::string out = Path("out");
    fs::create_symlink(In(1), dir / "out" / "p1.jpg");
    fs::create_hard_link(In(2), dir / "out" / "p2.bmp");
    fs::copy_file(In(3), Path("in/p3.txt"));
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"flip", "h", "-d", Path("none"), In(0)}, "the folder '" + Path("none") + "' does not exist (-d DIR)"},
        {{"flip", "h", "-d", In(0), In(0)}, "'" + In(0) + "' is not a folder (-d DIR)"},
        {{"flip", "h", "-d", out, In(0), Path("in/../in/p0.jpg")},
         "'" + In(0) + "' and '" + Path("in/../in/p0.jpg") + "' would both be written to '" + out + "/p0.jpg'"},
        {{"flip", "h", "-d", out, In(0), Path("in/p0.jpeg")},
         "'" + In(0) + "' and '" + Path("in/p0.jpeg") + "' would both be written to '" + out + "/p0.jpg'"},
        {{"flip", "h", "-d", Path("in"), In(0)}, "the output '" + Path("in/p0.jpg") + "' is one of the inputs"},
        {{"flip", "h", "-d", out, In(1)}, "the output '" + out + "/p1.jpg' is one of the inputs"},
        {{"flip", "h", "-d", out, "-f", "bmp", In(2)}, "the output '" + out + "/p2.bmp' is one of the inputs"},
        {{"flip", "h", "-d", out, Path("in/p3.txt")},
         "'" + Path("in/p3.txt") + "': its format cannot be written; choose one with -f (" + FormatWords() + ")"},
        {{"flip", "h", "-d", out, "-f", "gif", In(0)}, "-f gif: the formats that can be written are " + FormatWords()},
        {{"flip", "h", "-d", out, "-o", Path("x.bmp"), In(0)}, "-d and -o exclude each other"},
        {{"flip", "h", "-d", out, "-i", In(0)}, "-d takes its input files after DIR, not -i"},
        {{"flip", "h", "-d", out}, "-d DIR needs the input files after it"},
        {{"flip", "h", "-d", out, In(0), "+", "gauss", "2"}, "the steps come before -d DIR, the input files after it"},
        {{"flip", "h", "-j", "2", "-i", In(0), "-o", Path("x.bmp")}, "-f and -j go with -d DIR"},
        {{"flip", "h", "-d", out, "-j", "0", In(0)}, "JOBS must be a whole number from 1 to 1024"},
        {{"gen-gauss", "9", "9", "1", "-d", out, In(0)}, "gen-gauss takes no input picture: it cannot run on the files of -d"},
        {{"flip", "h", "+", "gauss", "x", "-d", out, In(0)}, "'x' is not a valid floating point value"},
        {{"flip", "h", "+", "new", "1", "1", "000000", "-i", In(0), "-o", Path("x.bmp")},
         "new makes a new picture: it can only be the first step"},
    };
    for (const auto& [arguments, message] : cases) {
        SCOPED_TRACE(message);
        const test::BatchResult result = test::RunBatch(arguments);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.errors, "kadrimex-batch: " + message + "\n");
    }
    EXPECT_EQ(Names(dir / "out"), (std::set<std::string>{"p1.jpg", "p2.bmp"}));
    EXPECT_FALSE(fs::exists(Path("x.bmp")));
}

// A stop request in the middle of a folder, one picture at a time: the
// pictures finished before it stay as their own runs write them, the rest
// is not written and no temporary file is left.
TEST_F(BatchFolder, AStopRequestKeepsTheFinishedFilesAndLeavesNoOther)
{
    struct Case {
        const char* request;
        std::size_t finished;  // files written before it
    };
    for (const Case& c : {Case{"decode:15:4", 3}, Case{"write:1:1", 0}, Case{"operation:2:2", 1}}) {
        SCOPED_TRACE(c.request);
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        setenv("KADRIMEX_BATCH_TEST_SIGNAL", c.request, 1);
        const test::BatchResult result =
            test::RunBatch({"resize", "50%", "-d", Path("out"), "-f", "bmp", "-j", "1", In(0), In(1), In(2), In(3),
                            In(4), In(5)});
        unsetenv("KADRIMEX_BATCH_TEST_SIGNAL");
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.errors,
                  "kadrimex-batch: cancelled (" + std::to_string(c.finished) + " of 6 files written)\n");
        std::set<std::string> expected;
        for (std::size_t i = 0; i < c.finished; ++i)
            expected.insert("p" + std::to_string(i) + ".bmp");
        EXPECT_EQ(Names(dir / "out"), expected);
        for (std::size_t i = 0; i < c.finished; ++i) {
            ASSERT_EQ(test::RunBatch({"resize", "50%", "-i", In(int(i)), "-o", Path("single.bmp")}).status, 0);
            EXPECT_EQ(ReadFileBytes(Path("out/p" + std::to_string(i) + ".bmp")), ReadFileBytes(Path("single.bmp")));
        }
    }
}
