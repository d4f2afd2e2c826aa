// kadrimex-batch's command line: one picture through a chain of steps to
// -o OUTPUT, or many through the same chain into -d DIR.
#include "tools/Batch.h"
#include "tools/BatchChain.h"
#include "tools/BatchFolder.h"

#include "engine/Codecs.h"

#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

namespace kadrimex::batch {
namespace {

// "-inf", "-nan", "-infinity" in any case.
bool IsSignedNonNumber(const std::string& word)
{
    std::string lower;
    for (const char c : word.substr(1))
        lower += char(std::tolower(static_cast<unsigned char>(c)));
    return lower == "inf" || lower == "infinity" || lower == "nan";
}

void PrintHelp(std::ostream& out)
{
    out << "Usage: kadrimex-batch COMMAND [ARGUMENTS...] [-i INPUT] -o OUTPUT [--quiet]\n"
           "       kadrimex-batch STEP [+ STEP]... [-i INPUT] -o OUTPUT [--quiet]\n"
           "       kadrimex-batch STEP [+ STEP]... -d DIR [-f FORMAT] [-j JOBS] INPUT... [--quiet]\n"
           "       kadrimex-batch --help\n"
           "       kadrimex-batch --version\n\n"
           "OUTPUT's ending chooses its format ("
        << WritableEndings()
        << "): BMP in the picture's pixel format;\n"
           "PNG in it too, as far as PNG has it (1, 4 and 8-bit pictures with their palette, a grey\n"
           "ramp as grey), else 24-bit RGB; TIFF lossless with LZW compression, likewise; JPEG\n"
           "(baseline) and WebP (lossy) at quality 80. Numbers use a point as decimal separator.\n\n"
           "A STEP is a command with its arguments; steps joined by a lone + run one after another\n"
           "on the picture in memory, as in the editor. A command that makes its picture (a generator,\n"
           "new, raw) can only be the first step.\n\n"
           "-d DIR writes each INPUT to DIR/NAME.FORMAT, NAME being the input's name without its\n"
           "ending and FORMAT the -f word (bmp, jpg, png, tif or webp)\n"
           "or else the input's own ending. A file that fails is named on stderr and the others go\n"
           "on; the exit status is then 1.\n\n"
           "-j JOBS runs at most JOBS pictures at once. Without it: one per core, but no more than\n"
           "half the available memory holds, counting each picture as "
        << kCopiesPerPicture
        << " copies of the largest input's\n"
           "24-bit pixels (its size read from the file's header; 24 megapixels when it tells none).\n"
           "--as-stored opens a JPEG that its EXIF orientation turns as stored. --quiet hides the\n"
           "progress shown on a terminal.\n\n"
           "Examples:\n"
           "  kadrimex-batch gauss 20 + sharpen 50 10 + resize 50% -i photo.jpg -o small.jpg\n"
           "  kadrimex-batch resize 50% + flip h -d out -f jpg photos/*.jpg\n\nCommands:\n";
    for (const auto& c : Commands()) {
        out << "  " << c.name;
        if (!c.arguments.empty())
            out << ' ' << c.arguments;
        out << (c.takesInput ? "  -i INPUT" : "") << '\n';
    }
}

// The progress bar of one picture on a terminal.
class ProgressBar {
public:
    explicit ProgressBar(bool shown) : FShown(shown) {}
    void Show(double share)
    {
        const int tenths = int(share * 1000);
        if (!FShown || tenths == FLast)
            return;
        FLast = tenths;
        std::fprintf(stderr, "\r[%-40.*s] %6.2f %%", int(share * 40), "########################################",
                     share * 100);
        std::fflush(stderr);
    }
    // A finished run shows its full bar for a moment before it goes.
    void Finish(bool completed)
    {
        if (!FShown || FLast < 0)
            return;
        if (completed) {
            Show(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        std::fprintf(stderr, "\r%60s\r", "");
        FLast = -1;
    }

private:
    bool FShown;
    int FLast = -1;
};

struct CommandLine {
    std::vector<std::string> stepWords;  // before -d
    std::vector<std::string> inputs;     // after -d
    std::string input, output, dir, format, jobs;
    bool quiet = false;
    bool asStored = false;
};

CommandLine ReadCommandLine(const std::vector<std::string>& words)
{
    CommandLine line;
    bool afterDir = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        std::string* value = w == "-i" ? &line.input
                             : w == "-o" ? &line.output
                             : w == "-d" ? &line.dir
                             : w == "-f" ? &line.format
                             : w == "-j" ? &line.jobs
                                         : nullptr;
        if (value) {
            const char* what = w == "-d" ? "a folder" : w == "-f" ? "a format" : w == "-j" ? "a number" : "a file name";
            if (i + 1 >= words.size() || words[i + 1].empty())
                throw UsageError(w + " needs " + what);
            if (!value->empty())
                throw UsageError(w + " given twice ('" + *value + "' and '" + words[i + 1] + "')");
            *value = words[++i];
            afterDir = afterDir || w == "-d";
        } else if (w == "--quiet") {
            line.quiet = true;
        } else if (w == "--as-stored") {
            line.asStored = true;
        } else if (w.size() >= 2 && w[0] == '-' && !std::isdigit(static_cast<unsigned char>(w[1])) && w[1] != '.' &&
                   !IsSignedNonNumber(w)) {
            // A negative number is an argument, and so is a negative infinity
            // or not-a-number, which its step refuses as a value; anything
            // else with a dash is an option.
            throw UsageError("unknown option '" + w + "' (see --help)");
        } else if (afterDir) {
            if (w == "+")
                throw UsageError("the steps come before -d DIR, the input files after it");
            line.inputs.push_back(w);
        } else {
            line.stepWords.push_back(w);
        }
    }
    return line;
}

int Usage(const std::string& message)
{
    std::cerr << "kadrimex-batch: " << message << '\n';
    return 2;
}

int Failure(const std::string& message)
{
    std::cerr << "kadrimex-batch: " << message << '\n';
    return 1;
}

int RunOne(const std::vector<BatchStep>& steps, const CommandLine& line)
{
    const BatchCommand& first = *steps[0].command;
    if (!first.takesInput && !line.input.empty())
        return Usage(first.name + " takes no input picture (-i " + line.input + ")");
    if (line.output.empty())
        return Usage("an output file is needed (-o OUTPUT)");
    const TFileFormat format = WritableFormatOf(line.output);
    if (format == TFileFormat::None)
        return Usage("the output must end in " + WritableEndings());
    if (first.takesInput && line.input.empty())
        return Usage(first.name + " needs an input picture (-i INPUT)");
    CheckSteps(steps);
    // A destination that cannot be written fails before the input is read.
    CheckWritableDestination(line.output);

    CatchStopSignals();
    ProgressBar bar(!line.quiet && isatty(STDERR_FILENO));
    ChainOptions options;
    options.asStored = line.asStored;
    options.progress = [&bar](double share) { bar.Show(share); };
    try {
        const TBitmap picture = RunChain(steps, line.input, options);
        bar.Finish(!Interrupted());
        SaveResult(line.output, picture, format);
    } catch (...) {
        bar.Finish(false);
        throw;
    }
    return 0;
}

int RunMany(const std::vector<BatchStep>& steps, const CommandLine& line)
{
    if (!line.output.empty())
        return Usage("-d and -o exclude each other");
    if (!line.input.empty())
        return Usage("-d takes its input files after DIR, not -i");
    if (line.inputs.empty())
        return Usage("-d DIR needs the input files after it");
    const BatchCommand& first = *steps[0].command;
    if (!first.takesInput)
        return Usage(first.name + " takes no input picture: it cannot run on the files of -d");
    FolderOptions options;
    if (!line.jobs.empty()) {
        options.jobs = ParseInt(line.jobs, "JOBS");
        if (options.jobs < 1 || options.jobs > 1024)
            return Usage("JOBS must be a whole number from 1 to 1024");
    }
    const std::vector<FolderFile> files = PlanFolder(line.inputs, line.dir, line.format);
    CheckSteps(steps);
    if (line.jobs.empty())
        options.jobs = ChooseJobs(files);
    options.showProgress = !line.quiet && isatty(STDERR_FILENO);
    options.asStored = line.asStored;
    CatchStopSignals();
    return RunFolder(steps, files, options);
}

}  // namespace
}  // namespace kadrimex::batch

int main(int argc, char** argv)
{
    using namespace kadrimex;
    using namespace kadrimex::batch;

    const std::vector<std::string> words(argv + 1, argv + argc);
    if (words.empty() || words[0] == "--help" || words[0] == "-h") {
        PrintHelp(words.empty() ? std::cerr : std::cout);
        return words.empty() ? 2 : 0;
    }
    if (words[0] == "--version") {
        std::cout << "kadrimex-batch " KADRIMEX_VERSION "\n";
        return 0;
    }
    try {
        const CommandLine line = ReadCommandLine(words);
        if (line.dir.empty() && !(line.format.empty() && line.jobs.empty()))
            return Usage("-f and -j go with -d DIR");
        const std::vector<BatchStep> steps = ParseSteps(line.stepWords);
        return line.dir.empty() ? RunOne(steps, line) : RunMany(steps, line);
    } catch (const UsageError& e) {
        return Usage(e.what());
    } catch (const Cancelled&) {
        return Failure("cancelled");
    } catch (const std::bad_alloc&) {
        return Failure("not enough memory");
    } catch (const std::exception& e) {
        return Failure(e.what());
    }
}
