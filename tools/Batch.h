// Command table of kadrimex-batch. Each operation family registers its
// commands from its own source file with a static BatchRegistration.
#pragma once

#include "engine/Bitmap.h"
#include "engine/ProcessorThread.h"

#include <functional>
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
    // -i INPUT as given (raw reads the file itself).
    const std::string& InputPath() const { return FInputPath; }
    // The working copy of -i INPUT (JPEG decoded; an icon raises the
    // editor's assignment error). Loaded on first use.
    TAdvancedBitmap& Input();
    // The working copy handed over to the operation that consumes it, so a
    // large picture is not copied once more; Input() would load it again.
    TAdvancedBitmap TakeInput();

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

// True once Ctrl+C or SIGTERM asked to stop; for commands that do
// their work without a worker.
bool Interrupted();

// Argument parsing shared by every command: reals are read as the dialogs
// read them (plain decimal notation with a point, whatever the locale, as an
// exact 80-bit value); anything else is a UsageError with the dialogs'
// conversion message.
long double ParseReal(const std::string& text);
int ParseInt(const std::string& text, const char* what);

// Runs one operation the way the editor's launcher does: the bitmaps as
// `policy` says (the working copy of the input unless the operation makes
// its picture from nothing), the dialog values `params` through the
// operation's FillThread, then the worker; its destination becomes the
// result.
template <class Params>
void RunOperation(BatchRun& run, Params params, TDestinationPolicy policy = TDestinationPolicy::NewEmpty24)
{
    TBitmapProcesorThread thread(true);
    std::unique_ptr<TAdvancedBitmap> workingCopy;
    if (NeedsWorkingCopy(policy))
        workingCopy = std::make_unique<TAdvancedBitmap>(run.TakeInput());
    TOperationBitmaps bitmaps = AttachBitmaps(thread, policy, std::move(workingCopy));
    FillThread(thread, std::move(params));
    run.Run(thread);
    run.Result = std::move(*bitmaps.destination);
}

// A command with the single argument LEVEL, the value of the filter level
// dialog, whose parameter record `Params` holds only that level.
template <class Params>
BatchCommand LevelCommand(std::string name)
{
    return {std::move(name), "LEVEL", 1, 1, true,
            [](BatchRun& run) { RunOperation(run, Params{ParseReal(run.Args()[0])}); }};
}

}  // namespace kadrimex::batch
