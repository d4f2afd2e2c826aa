// kadrimex-batch against a hostile user: signals at every stage and a real
// Ctrl+C during a long operation, special files, linked outputs, misused
// arguments and exhausted memory. Each case ends with one line, exit status
// 1 or 2, no output and no temporary file; an existing output is left as it
// was.
#include "engine/Codecs.h"
#include "tests/support/BatchPictureTest.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

using namespace kadrimex;
namespace fs = std::filesystem;

namespace {

// Runs the tool in a child under one resource limit (none when `resource`
// is negative); a run that hangs is ended by SIGALRM after ten seconds.
test::BatchResult RunLimited(std::vector<std::string> arguments, int resource = -1, rlim_t limit = 0)
{
    const std::string errors = (fs::temp_directory_path() / ("kadrimex-limited-" + std::to_string(getpid()))).string();
    arguments.insert(arguments.begin(), KADRIMEX_BATCH_PATH);
    std::vector<char*> argv;
    for (auto& a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(err, 2);
        if (resource >= 0) {
            const rlimit value{limit, limit};
            setrlimit(resource, &value);
        }
        alarm(10);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    test::BatchResult result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    std::ifstream in(errors);
    std::ostringstream text;
    text << in.rdbuf();
    result.errors = text.str();
    std::remove(errors.c_str());
    return result;
}

class BatchRobustness : public test::BatchPictureTest {
protected:
    void SetUp() override
    {
        test::BatchPictureTest::SetUp();
        input = Path("in.bmp");
        ASSERT_EQ(test::RunBatch({"new", "300", "200", "336699", "-o", input}).status, 0);
    }
    // Names in the folder, so a leftover temporary file shows.
    std::set<std::string> Names(const fs::path& folder) const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.insert(entry.path().filename().string());
        return names;
    }
};

struct TRefusal {
    std::vector<std::string> arguments;
    std::string message;
};

// The first line on stderr without the tool's name.
std::string Message(const test::BatchResult& result)
{
    const auto lines = result.ErrorLines();
    const std::string first = lines.empty() ? std::string() : lines[0];
    const std::string prefix = "kadrimex-batch: ";
    return first.rfind(prefix, 0) == 0 ? first.substr(prefix.size()) : first;
}

// Each run ends with `status` and its message as the one line on stderr.
template <std::size_t N>
void ExpectRefusals(const TRefusal (&cases)[N], int status, int resource = -1, rlim_t limit = 0)
{
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const test::BatchResult result = RunLimited(c.arguments, resource, limit);
        EXPECT_EQ(result.status, status) << result.errors;
        EXPECT_EQ(result.errors, "kadrimex-batch: " + c.message + "\n");
    }
}

TEST_F(BatchRobustness, EverySignalAtEveryStageCancels)
{
    const std::string existing = Path("out.bmp");
    const std::string fresh = Path("fresh.jpg");
    WriteFileAtomically(existing, {'o', 'l', 'd'});
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        for (const char* stage : {"decode", "operation", "encode", "write"}) {
            for (const std::string& output : {existing, fresh}) {
                SCOPED_TRACE(std::string(stage) + " signal " + std::to_string(signal) + " " + output);
                setenv("KADRIMEX_BATCH_TEST_SIGNAL", (std::string(stage) + ":" + std::to_string(signal)).c_str(), 1);
                const test::BatchResult result = test::RunBatch({"gauss", "2", "-i", input, "-o", output, "--quiet"});
                unsetenv("KADRIMEX_BATCH_TEST_SIGNAL");
                EXPECT_EQ(result.status, 1) << result.errors;
                EXPECT_EQ(result.errors, "kadrimex-batch: cancelled\n");
            }
        }
    }
    EXPECT_EQ(ReadFileBytes(existing), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(Names(dir), (std::set<std::string>{"in.bmp", "out.bmp"}));
}

TEST_F(BatchRobustness, AnExceededFileSizeLimitFailsTheWriteAndLeavesNothing)
{
    const std::string output = Path("out.bmp");
    const test::BatchResult result =
        RunLimited({"new", "1000", "1000", "000000", "-o", output, "--quiet"}, RLIMIT_FSIZE, 1 << 20);
    EXPECT_EQ(result.status, 1) << result.errors;
    EXPECT_EQ(Message(result), "Cannot write file " + output + ": File too large");
    EXPECT_EQ(Names(dir), (std::set<std::string>{"in.bmp"}));
}

TEST_F(BatchRobustness, SpecialFilesAreRefusedAtOnce)
{
    const std::string fifo = Path("fifo.bmp");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directories(dir / "folder.bmp");
    const std::string output = Path("out.bmp");
    const std::string notRegular = ": it is not a regular file";
    const TRefusal cases[] = {
        {{"convert", "-i", fifo, "-o", output}, "Cannot open file " + fifo + notRegular},
        {{"convert", "-i", Path("folder.bmp"), "-o", output}, "Cannot open file " + Path("folder.bmp") + notRegular},
        {{"convert", "-i", "/dev/zero", "-o", output}, "Cannot open file /dev/zero" + notRegular},
        {{"raw", "100", "8bpp", "-i", fifo, "-o", output}, "Cannot open the file " + fifo + notRegular},
        {{"curve", "0", fifo, "-i", input, "-o", output},
         "Cannot read the tone table: Cannot open file " + fifo + notRegular},
        {{"raw", "100", "8bpp", "palette=" + fifo, "-i", input, "-o", output},
         "Cannot read the palette file: Cannot open the file " + fifo + notRegular},
        {{"convert", "-i", input, "-o", fifo}, "Cannot write file " + fifo + notRegular},
        {{"convert", "-i", input, "-o", Path("folder.bmp")}, "Cannot write file " + Path("folder.bmp") + notRegular},
    };
    ExpectRefusals(cases, 1);
    EXPECT_EQ(Names(dir), (std::set<std::string>{"in.bmp", "fifo.bmp", "folder.bmp"}));
    EXPECT_TRUE(fs::is_fifo(fifo));
}

TEST_F(BatchRobustness, LinkedOutputsAreWrittenThrough)
{
    fs::create_directories(dir / "target");
    const std::string real = (dir / "target" / "real.bmp").string();
    WriteFileAtomically(real, {'o', 'l', 'd'});
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    fs::create_symlink("target/real.bmp", dir / "link1.bmp");    // relative
    fs::create_symlink(dir / "link1.bmp", dir / "link2.bmp");   // a chain
    fs::create_symlink("target/later.bmp", dir / "dangling.bmp");
    fs::create_hard_link(real, dir / "hard.bmp");

    for (const char* link : {"link1.bmp", "link2.bmp"}) {
        SCOPED_TRACE(link);
        fs::remove(real);
        WriteFileAtomically(real, {'o', 'l', 'd'});
        chmod(real.c_str(), 0640);
        const test::BatchResult result = test::RunBatch({"convert", "-i", input, "-o", Path(link)});
        ASSERT_EQ(result.status, 0) << result.errors;
        EXPECT_TRUE(fs::is_symlink(dir / link));
        EXPECT_EQ(ReadFileBytes(real), ReadFileBytes(input));
        struct stat info {};
        ASSERT_EQ(stat(real.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0640u);
    }
    ASSERT_EQ(test::RunBatch({"convert", "-i", input, "-o", Path("dangling.bmp")}).status, 0);
    EXPECT_TRUE(fs::is_symlink(dir / "dangling.bmp"));
    EXPECT_EQ(ReadFileBytes((dir / "target" / "later.bmp").string()), ReadFileBytes(input));
    // The hard link was a second name of the first target: it keeps the old bytes.
    EXPECT_EQ(ReadFileBytes(Path("hard.bmp")), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(Names(dir / "target"), (std::set<std::string>{"real.bmp", "later.bmp"}));

    fs::create_symlink("loop.bmp", dir / "loop.bmp");
    const test::BatchResult loop = test::RunBatch({"convert", "-i", input, "-o", Path("loop.bmp")});
    EXPECT_EQ(loop.status, 1);
    EXPECT_EQ(Message(loop), "Cannot write file " + Path("loop.bmp") + ": Too many levels of symbolic links");
}

TEST_F(BatchRobustness, MisusedArgumentsAreNamed)
{
    const std::string out = Path("out.bmp");
    const TRefusal cases[] = {
        {{"convert", "-i", input, "-i", input, "-o", out}, "-i given twice ('" + input + "' and '" + input + "')"},
        {{"convert", "-i", input, "-o", out, "-o", "b.bmp"}, "-o given twice ('" + out + "' and 'b.bmp')"},
        {{"new", "1", "1", "000000", "-i", input, "-o", out}, "new takes no input picture (-i " + input + ")"},
        {{"convert", "--fast", "-i", input, "-o", out}, "unknown option '--fast' (see --help)"},
        {{"gauss", "-x", "-i", input, "-o", out}, "unknown option '-x' (see --help)"},
        {{"gauss", "2", "3", "-i", input, "-o", out}, "unexpected argument '3'; usage: gauss LEVEL -i INPUT -o OUTPUT"},
        {{"gauss", "-i", input, "-o", out}, "usage: gauss LEVEL -i INPUT -o OUTPUT"},
        {{"convert", "-i", input, "-o", ""}, "-o needs a file name"},
        {{"user", "9", "1", "0", "0", "1", "-i", input, "-o", out}, "SIZE must be 1, 3, 5 or 7"},
        {{"gauss", "2", "-i", input, "-o", Path("out.gif")}, "the output must end in .bmp, .jpg, .jpeg, .png, .tif, .tiff or .webp"},
        {{"nosuchcommand", "-o", out}, "unknown command 'nosuchcommand' (see --help)"},
        {{"gauss", "2", "-o", out}, "gauss needs an input picture (-i INPUT)"},
        {{"new", "32761", "1", "FFFFFF", "-o", out}, "Width and height must be whole numbers from 1 to 32760"},
    };
    ExpectRefusals(cases, 2);
    EXPECT_FALSE(fs::exists(out));
    // Accepted as the dialog accepts it, but no mask that large fits: a failure.
    const test::BatchResult mask = test::RunBatch({"gauss", "50000", "-i", input, "-o", out});
    EXPECT_EQ(mask.status, 1);
    EXPECT_EQ(mask.errors, "kadrimex-batch: A filter mask of 50001 x 50001 pixels (LEVEL 50000) is too large\n");
    // An output folder that cannot be written fails before the input is read.
    const std::string nowhere = Path("absent/out.bmp");
    const test::BatchResult early = test::RunBatch({"gauss", "2", "-i", Path("absent.bmp"), "-o", nowhere});
    EXPECT_EQ(early.status, 1);
    EXPECT_EQ(early.errors, "kadrimex-batch: Cannot write file " + nowhere + ": No such file or directory\n");
    // A negative number is an argument, not an option.
    EXPECT_EQ(test::RunBatch({"gauss", "-2", "-i", input, "-o", out}).status, 0);
    // new takes its colour as red, green, blue: the input here is 336699.
    const TBitmap made = Load(input);
    ASSERT_EQ(made.PixelFormat(), TPixelFormat::pf24bit);
    ASSERT_EQ(made.Width(), 300);
    ASSERT_EQ(made.Height(), 200);
    const std::uint8_t* last = made.ScanLine(199) + 3 * 299;
    EXPECT_EQ((std::array<int, 3>{last[0], last[1], last[2]}), (std::array<int, 3>{0x99, 0x66, 0x33}));
}

// Every numeric argument of every command, one at a time, given a value that
// is not a finite number in plain decimal notation: each run is refused
// (exit 2) before the input is read, with one line. A whole number beyond
// 32 bits is refused too where a whole number is asked; as a real it is an
// ordinary value.
TEST_F(BatchRobustness, EveryNumericArgumentRefusesWhatIsNotANumber)
{
    const std::string table = Path("table.txt");  // never read either
    enum TKind { Real, Whole };
    const struct {
        std::vector<std::string> arguments;  // "@" marks the argument tried
        TKind kind;
    } slots[] = {
        {{"gauss", "@"}, Real},          {{"triangle", "@"}, Real},        {{"fftgauss", "@"}, Real},
        {{"sharpen", "@", "1"}, Real},   {{"sharpen", "1", "@"}, Real},    {{"edges", "@", "1"}, Real},
        {{"edges", "1", "@"}, Real},     {{"rotate", "@"}, Real},          {{"resize", "@", "9"}, Whole},
        {{"resize", "9", "@"}, Whole},   {{"resize", "9", "9", "@"}, Whole}, {{"depth", "@"}, Whole},
        {{"equalize", "@"}, Whole},      {{"range", "@", "200", "0"}, Whole}, {{"range", "0", "@", "0"}, Whole},
        {{"range", "0", "200", "@"}, Whole}, {{"curve", "@", table}, Whole},
        {{"user", "@", "1", "0", "0", "1"}, Whole}, {{"user", "1", "@", "0", "0", "1"}, Real},
        {{"user", "1", "1", "@", "0", "1"}, Real},  {{"user", "1", "1", "0", "@", "1"}, Whole},
        {{"user", "1", "1", "0", "0", "@"}, Real},  {{"user-example", "@", "0", "0"}, Whole},
        {{"user-example", "1", "@", "0"}, Whole},   {{"user-example", "1", "0", "@"}, Whole},
        {{"new", "@", "9", "FFFFFF"}, Whole},       {{"new", "9", "@", "FFFFFF"}, Whole},
        {{"gen-gauss", "@", "9", "1"}, Whole},      {{"gen-gauss", "9", "@", "1"}, Whole},
        {{"gen-gauss", "9", "9", "@"}, Real},       {{"gen-sharpen", "9", "9", "@"}, Real},
        {{"gen-edge", "9", "9", "@"}, Real},        {{"gen-triangle", "9", "9", "@", "1"}, Real},
        {{"gen-triangle", "9", "9", "1", "@"}, Real}, {{"gen-shape", "9", "9", "@", "1"}, Whole},
        {{"gen-shape", "9", "9", "1", "@"}, Real},  {{"raw", "@", "8bpp"}, Whole},
        {{"raw", "9", "multi:@"}, Whole},           {{"raw", "9", "8bpp", "skip=@"}, Whole},
        {{"raw", "9", "8bpp", "lines=@"}, Whole},   {{"raw", "9", "8bpp", "mul=@"}, Whole},
    };
    const std::string out = Path("out.bmp");
    for (const auto& slot : slots) {
        for (const std::string bad : {"nan", "inf", "-inf", "1e999", "-1e999", "", "1,5", "0x10", "99999999999999999999"}) {
            if (slot.kind == Real && bad == "99999999999999999999")
                continue;
            std::vector<std::string> arguments;
            for (const std::string& a : slot.arguments) {
                const auto at = a.find('@');
                arguments.push_back(at == std::string::npos ? a : std::string(a).replace(at, 1, bad));
            }
            const std::string shown = arguments[0] + " '" + bad + "' in " + std::to_string(arguments.size() - 1);
            if (arguments[0] != "new" && arguments[0].rfind("gen-", 0) != 0)
                arguments.insert(arguments.end(), {"-i", Path("missing.bmp")});  // never read
            arguments.insert(arguments.end(), {"-o", out});
            const test::BatchResult result = test::RunBatch(arguments);
            EXPECT_EQ(result.status, 2) << shown << ": " << result.errors;
            EXPECT_EQ(result.ErrorLines().size(), 1u) << shown << ": " << result.errors;
        }
    }
    EXPECT_FALSE(fs::exists(out));
}

// A real Ctrl+C: a 7x7 matrix of real coefficients on 12 million pixels runs
// for seconds, long enough to be interrupted.
class BatchCancel : public test::BatchPictureTest {
protected:
    BatchCancel() : BatchPictureTest(4000, 3000, 5) {}

    // Coefficients this small take the filter's plain 80-bit loop, which
    // stays slow however fast the usual paths become.
    std::vector<std::string> SlowFilter(const std::string& output) const
    {
        std::vector<std::string> args = {"user", "7", "1.37", "0.5", "0"};
        for (int i = 0; i < 49; ++i)
            args.push_back(i % 2 ? "3.183e-300" : "-1.414e-300");
        args.insert(args.end(), {"-i", input, "-o", output, "--quiet"});
        return args;
    }
};

TEST_F(BatchCancel, InterruptLeavesNoOutputAndReportsOneLine)
{
    const std::string fresh = (dir / "fresh.bmp").string();
    const std::string existing = (dir / "existing.bmp").string();
    WriteFileAtomically(existing, {'o', 'l', 'd'});

    for (const std::string& output : {fresh, existing}) {
        SCOPED_TRACE(output);
        test::BatchProcess process(SlowFilter(output));
        ASSERT_TRUE(process.Started());
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        process.Signal(SIGINT);
        const test::BatchResult result = process.Wait();
        EXPECT_EQ(result.status, 1) << result.errors;
        EXPECT_EQ(result.errors, "kadrimex-batch: cancelled\n");
    }
    EXPECT_FALSE(fs::exists(fresh));
    EXPECT_EQ(ReadFileBytes(existing), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    // Only the input and the untouched file remain: no temporary leftovers.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
}

// An address-space limit makes running out of memory certain: each case
// ends with its message and writes nothing. The sanitizers reserve more
// address space than any such limit allows.
TEST_F(BatchRobustness, ExhaustedMemoryEndsWithAMessage)
{
    if (std::getenv("KADRIMEX_SANITIZED"))
        GTEST_SKIP() << "an address-space limit cannot apply under the sanitizers";
    const std::string big = Path("big.bmp");
    ASSERT_EQ(test::RunBatch({"new", "2000", "2000", "808080", "-o", big}).status, 0);
    const std::string huge = Path("huge.raw");
    { std::ofstream(huge).close(); }
    fs::resize_file(huge, 3000000000);  // sparse
    const std::string out = Path("out.bmp");
    const TRefusal cases[] = {
        {{"new", "32760", "32760", "FFFFFF", "-o", out}, "Not enough memory for a picture of 3070 MB"},
        {{"resize", "32760", "32760", "-i", input, "-o", out}, "Not enough memory for a picture of 3070 MB"},
        {{"fft", "-i", big, "-o", out}, "Not enough memory for a complex plane of 2048 x 2048 samples"},
        {{"raw", "30000", "24bpp", "-i", huge, "-o", out}, "Not enough memory for a picture of 2861 MB"},
    };
    ExpectRefusals(cases, 1, RLIMIT_AS, rlim_t(300) << 20);
    EXPECT_FALSE(fs::exists(out));
}

// Arithmetic-coded data may end at the end-of-image marker and decode on
// as zeros: 104 bytes make a picture of any size (a fuzzer's find,
// 57795 x 8456). It opens, taking the picture's memory once, not twice.
TEST_F(BatchRobustness, ATinyFileOfAHugePictureTakesItsMemoryOnce)
{
    if (std::getenv("KADRIMEX_SANITIZED"))
        GTEST_SKIP() << "an address-space limit cannot apply under the sanitizers";
    const int w = 8000, h = 8000;
    auto segment = [](std::uint8_t marker, std::vector<std::uint8_t> body) {
        const std::size_t length = body.size() + 2;
        body.insert(body.begin(), {0xFF, marker, std::uint8_t(length >> 8), std::uint8_t(length)});
        return body;
    };
    std::vector<std::uint8_t> file{0xFF, 0xD8};
    std::vector<std::uint8_t> table(65, 1);
    table[0] = 0;
    for (const auto& s : {segment(0xDB, table),
                          segment(0xC9, {8, std::uint8_t(h >> 8), std::uint8_t(h), std::uint8_t(w >> 8),
                                         std::uint8_t(w), 1, 1, 0x11, 0}),
                          segment(0xDA, {1, 1, 0, 0, 63, 0}), std::vector<std::uint8_t>(8, 0)})
        file.insert(file.end(), s.begin(), s.end());
    file.insert(file.end(), {0xFF, 0xD9});
    const std::string flat = Path("flat.jpg"), out = Path("flat.bmp");
    std::ofstream(flat, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));

    const rlim_t picture = rlim_t(w) * h * 3;
    const test::BatchResult result = RunLimited({"convert", "-i", flat, "-o", out}, RLIMIT_AS, picture + (rlim_t(160) << 20));
    ASSERT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(fs::file_size(out), 54 + picture);
}

}  // namespace

// An 8-bit picture saves as JPEG without a whole 24-bit copy: a 64 MB
// picture (from a 1 KB RLE file) within a limit that a 192 MB copy exceeds.
TEST_F(BatchRobustness, SavingAsJpegTakesNoWhole24BitCopy)
{
    if (std::getenv("KADRIMEX_SANITIZED"))
        GTEST_SKIP() << "an address-space limit cannot apply under the sanitizers";
    const int side = 8000;
    std::vector<std::uint8_t> file(14 + 40 + 1024 + 2, 0);
    const auto put = [&](std::size_t at, std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            file[at + std::size_t(i)] = std::uint8_t(value >> (8 * i));
    };
    file[0] = 'B', file[1] = 'M';
    put(2, std::uint32_t(file.size()), 4), put(10, 14 + 40 + 1024, 4);
    put(14, 40, 4), put(18, side, 4), put(22, side, 4), put(26, 1, 2), put(28, 8, 2), put(30, 1, 4);  // RLE8
    put(34, 2, 4), put(46, 256, 4);
    for (int i = 0; i < 256; ++i)
        put(54 + 4 * std::size_t(i), std::uint32_t(i * 0x010101), 3);
    file[file.size() - 1] = 1;  // end of bitmap at once: every pixel index 0
    const std::string rle = Path("rle.bmp"), out = Path("out.jpg");
    std::ofstream(rle, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    const rlim_t picture = rlim_t(side) * side;
    const test::BatchResult result = RunLimited({"convert", "-i", rle, "-o", out}, RLIMIT_AS, picture + (rlim_t(160) << 20));
    EXPECT_EQ(result.status, 0) << result.errors;
    EXPECT_TRUE(fs::exists(out));
}
