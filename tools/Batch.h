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

// What one step of a command line runs on: its arguments, and its input
// picture either read from -i INPUT or handed over by the step before it.
class BatchRun {
public:
    // `progress`, when set, is told the running operation's share done
    // (0 to 1) while Run() waits for it. `asStored` opens a turned JPEG as
    // stored.
    BatchRun(std::vector<std::string> args, std::string inputPath,
             std::function<void(double)> progress = {}, bool asStored = false);

    const std::vector<std::string>& Args() const { return FArgs; }
    // -i INPUT as given (raw reads the file itself).
    const std::string& InputPath() const;
    // The working copy of -i INPUT (JPEG decoded; an icon raises the
    // editor's assignment error), or the picture GiveInput() handed over.
    // Loaded on first use.
    TAdvancedBitmap& Input();
    // The working copy handed over to the operation that consumes it, so a
    // large picture is not copied once more; Input() would load it again.
    TAdvancedBitmap TakeInput();

    // The previous step's result becomes this step's working copy, as the
    // editor's next command takes the picture the last one left.
    void GiveInput(TBitmap picture);
    // A dry run: the command reads and checks its arguments and stops with
    // ArgumentsAccepted where it first asks for its picture, its file or
    // its worker, so a command line is refused before any picture is read.
    void CheckOnly() { FCheckOnly = true; }

    // Runs the prepared worker synchronously on its own thread, reporting
    // progress and cancelling on Ctrl+C. Throws EImageError when the
    // routine failed and Cancelled when interrupted.
    void Run(TBitmapProcesorThread& thread);

    // The picture this step leaves: written to OUTPUT or handed on.
    TBitmap Result;

private:
    std::vector<std::string> FArgs;
    std::string FInputPath;
    std::function<void(double)> FProgress;
    bool FAsStored = false;
    bool FCheckOnly = false;
    std::unique_ptr<TAdvancedBitmap> FInput;
};

// Raised by Run() when Ctrl+C cancelled the operation.
class Cancelled : public std::runtime_error {
public:
    Cancelled() : std::runtime_error("Cancelled") {}
};

// Ends a dry run (BatchRun::CheckOnly) once the arguments are read.
class ArgumentsAccepted : public std::runtime_error {
public:
    ArgumentsAccepted() : std::runtime_error("Arguments accepted") {}
};

struct BatchCommand {
    std::string name;
    std::string arguments;  // usage text of the arguments
    int minArgs = 0;
    int maxArgs = 0;        // -1: any number
    bool takesInput = true;
    std::function<void(BatchRun&)> run;
    // Reads -i INPUT as a file of its own (raw) rather than as a picture;
    // like a command without input it makes the picture, so it can only be
    // a chain's first step.
    bool readsFile = false;

    bool MakesPicture() const { return !takesInput || readsFile; }
};

struct BatchRegistration {
    explicit BatchRegistration(BatchCommand command);
};

const std::vector<BatchCommand>& Commands();

// True once Ctrl+C, SIGTERM or SIGHUP asked to stop; for commands that do
// their work without a worker.
bool Interrupted();
// Throws Cancelled once a stop was asked for.
void CheckInterrupted();
// Installs the handlers of Ctrl+C, SIGTERM and SIGHUP that ask to stop.
void CatchStopSignals();

// Tests name a stage (decode, operation, encode, write) and a signal in
// KADRIMEX_BATCH_TEST_SIGNAL, "STAGE:NUMBER[:NTH]": the tool sends itself
// that signal when the stage is under way for the NTH time (the first by
// default), as a user's Ctrl+C or kill would.
void SignalAt(const char* stage);

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
