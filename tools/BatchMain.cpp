#include "tools/Batch.h"

#include "engine/Graphic.h"
#include "engine/Numbers.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>

namespace kadrimex::batch {

namespace {

std::vector<BatchCommand>& Registry()
{
    static std::vector<BatchCommand> commands;
    return commands;
}

// Set by the signal handler, read by every job's thread: a lock-free atomic
// is safe for both.
std::atomic<bool> gInterrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnInterrupt(int)
{
    gInterrupted.store(true);
}

}  // namespace

void SignalAt(const char* stage)
{
    static const char* const request = std::getenv("KADRIMEX_BATCH_TEST_SIGNAL");
    static std::atomic<int> reached{0};
    if (!request)
        return;
    const char* colon = std::strchr(request, ':');
    if (!colon || std::string(request, colon) != stage)
        return;
    const char* nth = std::strchr(colon + 1, ':');
    if (reached.fetch_add(1) + 1 == (nth ? std::atoi(nth + 1) : 1))
        std::raise(std::atoi(colon + 1));
}

void CheckInterrupted()
{
    if (gInterrupted)
        throw Cancelled();
}

void CatchStopSignals()
{
    // Every stage ends at the next check of the flag; an exceeded file size
    // limit fails the write (EFBIG) instead of killing the tool.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal, OnInterrupt);
    std::signal(SIGXFSZ, SIG_IGN);
}

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
    return gInterrupted.load();
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

BatchRun::BatchRun(std::vector<std::string> args, std::string inputPath, std::function<void(double)> progress,
                   bool asStored)
    : FArgs(std::move(args)), FInputPath(std::move(inputPath)), FProgress(std::move(progress)), FAsStored(asStored)
{
}

const std::string& BatchRun::InputPath() const
{
    if (FCheckOnly)
        throw ArgumentsAccepted();
    return FInputPath;
}

TAdvancedBitmap& BatchRun::Input()
{
    if (FCheckOnly)
        throw ArgumentsAccepted();
    if (!FInput) {
        if (FInputPath.empty())
            throw UsageError("This command needs an input picture (-i INPUT)");
        TPicture picture = TPicture::LoadFromFile(FInputPath, !FAsStored);
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

void BatchRun::GiveInput(TBitmap picture)
{
    if (picture.Empty())
        throw EImageError("The picture is empty");
    FInput = std::make_unique<TAdvancedBitmap>();
    static_cast<TBitmap&>(*FInput) = std::move(picture);
}

void BatchRun::Run(TBitmapProcesorThread& thread)
{
    if (FCheckOnly)
        throw ArgumentsAccepted();
    // The worker wakes this thread when it ends, so a small picture's step
    // costs no wait; meanwhile every 20 ms the stop flag and the progress
    // are looked at.
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
    thread.OnTerminate = [&](TBitmapProcesorThread*) {
        std::lock_guard<std::mutex> guard(lock);
        done = true;
        ended.notify_one();
    };
    thread.Resume();
    SignalAt("operation");
    std::unique_lock<std::mutex> guard(lock);
    while (!ended.wait_for(guard, std::chrono::milliseconds(20), [&] { return done; })) {
        if (gInterrupted)
            thread.Terminate();
        if (FProgress) {
            const double max = double(thread.ProgressMax());
            const double share = max > 0 ? double(thread.Progress()) / max : 0;
            FProgress(share < 0 ? 0 : share > 1 ? 1 : share);
        }
    }
    guard.unlock();
    thread.WaitFor();
    if (gInterrupted)
        throw Cancelled();
    if (!thread.FErrorMessage.empty())
        throw EImageError(thread.FErrorMessage);
}

}  // namespace kadrimex::batch
