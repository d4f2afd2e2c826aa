// Command table of kadrimex-batch. Each operation family registers its
// commands from its own source file with a static BatchRegistration.
#pragma once

#include "engine/Bitmap.h"
#include "engine/ProcessorThread.h"

#include <functional>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace kadrimex::batch {

// A bad argument or a value the editor's dialog would refuse: exit status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class BatchRun {
public:
    BatchRun(std::vector<std::string> args, std::string inputPath, bool showProgress);

    const std::vector<std::string>& Args() const { return FArgs; }
    // The working copy of -i INPUT (JPEG decoded; an icon raises the
    // editor's assignment error). Loaded on first use.
    TAdvancedBitmap& Input();

    // Runs the prepared worker synchronously on its own thread, drawing a
    // progress bar on a terminal and cancelling on Ctrl+C. Throws
    // EImageError when the routine failed and Cancelled when interrupted.
    void Run(TBitmapProcesorThread& thread);

    // The picture written to -o OUTPUT.
    TBitmap Result;

private:
    std::vector<std::string> FArgs;
    std::string FInputPath;
    bool FShowProgress;
    std::unique_ptr<TAdvancedBitmap> FInput;
};

// Raised by Run() when Ctrl+C cancelled the operation.
class Cancelled : public std::runtime_error {
public:
    Cancelled() : std::runtime_error("Cancelled") {}
};

struct BatchCommand {
    std::string name;
    std::string arguments;  // usage text of the arguments
    int minArgs = 0;
    int maxArgs = 0;        // -1: any number
    bool takesInput = true;
    std::function<void(BatchRun&)> run;
};

struct BatchRegistration {
    explicit BatchRegistration(BatchCommand command);
};

const std::vector<BatchCommand>& Commands();

// Argument parsing shared by every command: reals are read as the dialogs
// read them (plain decimal notation with a point, whatever the locale, as an
// exact 80-bit value); anything else is a UsageError with the dialogs'
// conversion message.
long double ParseReal(const std::string& text);
int ParseInt(const std::string& text, const char* what);

// Worker fields common to the 24-bit operations: a new empty destination,
// the working copy as source. The run owns both bitmaps.
struct Operation {
    TBitmapProcesorThread thread{true};
    std::unique_ptr<TAdvancedBitmap> source;
    std::unique_ptr<TAdvancedBitmap> destination = std::make_unique<TAdvancedBitmap>();
};

// Sets up an Operation whose source is the working copy of the input and
// whose destination is a new empty 24-bit bitmap.
std::unique_ptr<Operation> MakeOperation(BatchRun& run, std::int8_t code);
// Runs it and stores the destination as the result.
void Finish(BatchRun& run, Operation& operation);

// The whole body of most commands: MakeOperation, FParam1, FParam2, ...
// set to `params` in order (at most four), Finish.
inline void RunOperation(BatchRun& run, std::int8_t code, std::initializer_list<long double> params = {})
{
    auto operation = MakeOperation(run, code);
    long double* const fields[] = {&operation->thread.FParam1, &operation->thread.FParam2,
                                   &operation->thread.FParam3, &operation->thread.FParam4};
    std::size_t i = 0;
    for (const long double value : params)
        *fields[i++] = value;
    Finish(run, *operation);
}

// A command with the single argument LEVEL, the value of the filter level
// dialog, which goes to FParam1 of operation `code`.
inline BatchCommand LevelCommand(std::string name, std::int8_t code)
{
    return {std::move(name), "LEVEL", 1, 1, true,
            [code](BatchRun& run) { RunOperation(run, code, {ParseReal(run.Args()[0])}); }};
}

}  // namespace kadrimex::batch
