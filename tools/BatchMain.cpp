#include "tools/Batch.h"

#include "engine/Codecs.h"
#include "engine/Graphic.h"
#include "engine/Numbers.h"
#include "engine/PictureFiles.h"

#include <atomic>
#include <cctype>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <string_view>
#include <thread>
#include <unistd.h>

namespace kadrimex::batch {

namespace {

std::vector<BatchCommand>& Registry()
{
    static std::vector<BatchCommand> commands;
    return commands;
}

volatile std::sig_atomic_t gInterrupted = 0;

void OnInterrupt(int)
{
    gInterrupted = 1;
}

// Tests name a stage (decode, operation, encode, write) and a signal in
// KADRIMEX_BATCH_TEST_SIGNAL, "STAGE:NUMBER": the tool sends itself that
// signal when the stage is under way, as a user's Ctrl+C or kill would.
void SignalAt(const char* stage)
{
    static const char* const request = std::getenv("KADRIMEX_BATCH_TEST_SIGNAL");
    if (!request)
        return;
    const char* colon = std::strchr(request, ':');
    if (colon && std::string(request, colon) == stage)
        std::raise(std::atoi(colon + 1));
}

// "-inf", "-nan", "-infinity" in any case.
bool IsSignedNonNumber(const std::string& word)
{
    std::string lower;
    for (const char c : word.substr(1))
        lower += char(std::tolower(static_cast<unsigned char>(c)));
    return lower == "inf" || lower == "infinity" || lower == "nan";
}

void CheckInterrupted()
{
    if (gInterrupted)
        throw Cancelled();
}

void PrintHelp(std::ostream& out)
{
    out << "Usage: kadrimex-batch COMMAND [ARGUMENTS...] [-i INPUT] -o OUTPUT [--quiet]\n"
           "       kadrimex-batch --help\n"
           "       kadrimex-batch --version\n\n"
           "OUTPUT ending .bmp writes BMP in the picture's pixel format; .jpg or .jpeg writes JPEG\n"
           "at quality 80. Numbers use a point as decimal separator.\n\nCommands:\n";
    for (const auto& c : Commands()) {
        out << "  " << c.name;
        if (!c.arguments.empty())
            out << ' ' << c.arguments;
        out << (c.takesInput ? "  -i INPUT" : "") << '\n';
    }
}

}  // namespace

BatchRegistration::BatchRegistration(BatchCommand command)
{
    Registry().push_back(std::move(command));
}

const std::vector<BatchCommand>& Commands()
{
    return Registry();
}

bool Interrupted()
{
    return gInterrupted != 0;
}

long double ParseReal(const std::string& text)
{
    long double value = 0;
    if (!ReadPlainReal(text, value))
        throw UsageError("'" + text + "' is not a valid floating point value");
    return value;
}

int ParseInt(const std::string& text, const char* what)
{
    // Plain decimal digits with an optional sign: no blanks, no hexadecimal,
    // nothing beyond 32 bits.
    std::string_view digits = text;
    if (digits.size() > 1 && digits.front() == '+')
        digits.remove_prefix(1);
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
        throw UsageError(std::string("'") + text + "' is not a valid integer value for " + what);
    return value;
}

BatchRun::BatchRun(std::vector<std::string> args, std::string inputPath, bool showProgress)
    : FArgs(std::move(args)), FInputPath(std::move(inputPath)), FShowProgress(showProgress)
{
}

TAdvancedBitmap& BatchRun::Input()
{
    if (!FInput) {
        if (FInputPath.empty())
            throw UsageError("This command needs an input picture (-i INPUT)");
        TPicture picture = TPicture::LoadFromFile(FInputPath);
        SignalAt("decode");
        CheckInterrupted();
        auto copy = std::make_unique<TAdvancedBitmap>();
        if (!MakeWorkingCopy(std::move(picture), *copy))
            throw EImageError("The picture is empty");
        FInput = std::move(copy);
    }
    return *FInput;
}

TAdvancedBitmap BatchRun::TakeInput()
{
    TAdvancedBitmap input = std::move(Input());
    FInput.reset();
    return input;
}

void BatchRun::Run(TBitmapProcesorThread& thread)
{
    std::atomic<bool> done{false};
    thread.OnTerminate = [&done](TBitmapProcesorThread*) { done.store(true); };
    thread.Resume();
    SignalAt("operation");
    int lastShown = -1;
    while (!done.load()) {
        if (gInterrupted)
            thread.Terminate();
        if (FShowProgress) {
            const long double max = (long double)thread.ProgressMax();
            const long double percent = (long double)thread.Progress() / (max + 0.0001L) * 100;
            const int shown = int(percent * 10);
            if (shown != lastShown) {
                lastShown = shown;
                const int filled = int(percent / 100 * 40 > 40 ? 40 : percent / 100 * 40);
                std::fprintf(stderr, "\r[%-40.*s] %6.2f %%", filled, "########################################",
                             double(percent));
                std::fflush(stderr);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    thread.WaitFor();
    if (FShowProgress) {
        // A finished run shows its full bar for a moment before it goes.
        if (!gInterrupted && thread.FErrorMessage.empty()) {
            std::fprintf(stderr, "\r[%s] %6.2f %%", "########################################", 100.0);
            std::fflush(stderr);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        std::fprintf(stderr, "\r%60s\r", "");
    }
    if (gInterrupted)
        throw Cancelled();
    if (!thread.FErrorMessage.empty())
        throw EImageError(thread.FErrorMessage);
}

}  // namespace kadrimex::batch

int main(int argc, char** argv)
{
    using namespace kadrimex;
    using namespace kadrimex::batch;

    std::vector<std::string> words(argv + 1, argv + argc);
    if (words.empty() || words[0] == "--help" || words[0] == "-h") {
        PrintHelp(words.empty() ? std::cerr : std::cout);
        return words.empty() ? 2 : 0;
    }
    if (words[0] == "--version") {
        std::cout << "kadrimex-batch " KADRIMEX_VERSION "\n";
        return 0;
    }
    std::string input, output;
    bool quiet = false;
    std::vector<std::string> args;
    auto usage = [](const std::string& message) {
        std::cerr << "kadrimex-batch: " << message << '\n';
        return 2;
    };
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w == "-i" || w == "-o") {
            if (i + 1 >= words.size())
                return usage(w + " needs a file name");
            std::string& target = w == "-i" ? input : output;
            if (!target.empty())
                return usage(w + " given twice ('" + target + "' and '" + words[i + 1] + "')");
            target = words[++i];
            if (target.empty())
                return usage(w + " needs a file name");
        } else if (w == "--quiet") {
            quiet = true;
        } else if (w.size() >= 2 && w[0] == '-' && !std::isdigit(static_cast<unsigned char>(w[1])) && w[1] != '.' &&
                   !IsSignedNonNumber(w)) {
            // A negative number is an argument, and so is a negative infinity
            // or not-a-number, which its command refuses as a value; anything
            // else with a dash is an option.
            return usage("unknown option '" + w + "' (see --help)");
        } else {
            args.push_back(w);
        }
    }
    const BatchCommand* command = nullptr;
    for (const auto& c : Commands())
        if (c.name == words[0])
            command = &c;
    if (!command) {
        std::cerr << "kadrimex-batch: unknown command '" << words[0] << "' (see --help)\n";
        return 2;
    }
    const std::string usageLine = "usage: " + command->name + (command->arguments.empty() ? "" : " ") +
                                  command->arguments + (command->takesInput ? " -i INPUT" : "") + " -o OUTPUT";
    if (command->maxArgs >= 0 && int(args.size()) > command->maxArgs)
        return usage("unexpected argument '" + args[std::size_t(command->maxArgs)] + "'; " + usageLine);
    if (int(args.size()) < command->minArgs)
        return usage(usageLine);
    if (!command->takesInput && !input.empty())
        return usage(command->name + " takes no input picture (-i " + input + ")");
    if (output.empty()) {
        std::cerr << "kadrimex-batch: an output file is needed (-o OUTPUT)\n";
        return 2;
    }
    const TFileFormat format = WritableFormatOf(output);
    if (format == TFileFormat::None) {
        std::cerr << "kadrimex-batch: the output must end in .bmp, .jpg or .jpeg\n";
        return 2;
    }
    if (command->takesInput && input.empty()) {
        std::cerr << "kadrimex-batch: " << command->name << " needs an input picture (-i INPUT)\n";
        return 2;
    }

    // Every stage ends at the next check of the flag; an exceeded file size
    // limit fails the write (EFBIG) instead of killing the tool.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal, OnInterrupt);
    std::signal(SIGXFSZ, SIG_IGN);
    BatchRun run(args, command->takesInput ? input : std::string(), !quiet && isatty(STDERR_FILENO));
    try {
        // A destination that cannot be written fails before the input is read.
        CheckWritableDestination(output);
        command->run(run);
        CheckInterrupted();
        SignalAt("encode");
        const auto cancelled = [] {
            SignalAt("write");
            return gInterrupted != 0;
        };
        CheckInterrupted();
        if (!SavePictureFile(output, run.Result, format, cancelled))
            throw Cancelled();
    } catch (const UsageError& e) {
        std::cerr << "kadrimex-batch: " << e.what() << '\n';
        return 2;
    } catch (const Cancelled&) {
        std::cerr << "kadrimex-batch: cancelled\n";
        return 1;
    } catch (const std::bad_alloc&) {
        std::cerr << "kadrimex-batch: not enough memory\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "kadrimex-batch: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
