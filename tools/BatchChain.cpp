#include "tools/BatchChain.h"

#include <initializer_list>

namespace kadrimex::batch {

namespace {

const BatchCommand& FindCommand(const std::string& name)
{
    for (const auto& c : Commands())
        if (c.name == name)
            return c;
    throw UsageError("unknown command '" + name + "' (see --help)");
}

BatchStep MakeStep(std::vector<std::string> words)
{
    BatchStep step;
    step.command = &FindCommand(words[0]);
    step.args.assign(words.begin() + 1, words.end());
    const BatchCommand& c = *step.command;
    const std::string usageLine = "usage: " + c.name + (c.arguments.empty() ? "" : " ") + c.arguments +
                                  (c.takesInput ? " -i INPUT" : "") + " -o OUTPUT";
    if (c.maxArgs >= 0 && int(step.args.size()) > c.maxArgs)
        throw UsageError("unexpected argument '" + step.args[std::size_t(c.maxArgs)] + "'; " + usageLine);
    if (int(step.args.size()) < c.minArgs)
        throw UsageError(usageLine);
    return step;
}

}  // namespace

std::vector<BatchStep> ParseSteps(const std::vector<std::string>& words)
{
    std::vector<BatchStep> steps;
    std::vector<std::string> current;
    for (std::size_t i = 0; i <= words.size(); ++i) {
        if (i < words.size() && words[i] != "+") {
            current.push_back(words[i]);
            continue;
        }
        if (current.empty())
            throw UsageError(words.empty() ? "no command given (see --help)"
                                           : "a '+' must stand between two steps (see --help)");
        steps.push_back(MakeStep(std::move(current)));
        current.clear();
        if (steps.size() > 1 && steps.back().command->MakesPicture())
            throw UsageError(steps.back().command->name + " makes a new picture: it can only be the first step");
    }
    return steps;
}

void CheckSteps(const std::vector<BatchStep>& steps)
{
    for (const auto& step : steps) {
        // A generator would make its whole picture: it is checked by running.
        if (!step.command->takesInput)
            continue;
        BatchRun run(step.args, "-");
        run.CheckOnly();
        try {
            step.command->run(run);
        } catch (const ArgumentsAccepted&) {
        }
    }
}

TBitmap RunChain(const std::vector<BatchStep>& steps, const std::string& input, const ChainOptions& options)
{
    TBitmap picture;
    const double count = double(steps.size());
    for (std::size_t k = 0; k < steps.size(); ++k) {
        const BatchStep& step = steps[k];
        std::function<void(double)> progress;
        if (options.progress)
            progress = [&options, k, count](double share) { options.progress((double(k) + share) / count); };
        BatchRun run(step.args, k == 0 && step.command->takesInput ? input : std::string(), std::move(progress),
                     options.asStored);
        if (k > 0)
            run.GiveInput(std::move(picture));
        step.command->run(run);
        CheckInterrupted();
        picture = std::move(run.Result);
    }
    return picture;
}

void SaveResult(const std::string& output, const TBitmap& picture, TFileFormat format)
{
    CheckInterrupted();
    SignalAt("encode");
    CheckInterrupted();
    const auto cancelled = [] {
        SignalAt("write");
        return Interrupted();
    };
    if (!SavePictureFile(output, picture, format, cancelled))
        throw Cancelled();
}

std::string WritableEndings()
{
    std::vector<std::string> endings;
    for (const char* word : {"bmp", "jpg", "jpeg", "png", "tif", "tiff", "webp"})
        if (WritableFormatNamed(word) != TFileFormat::None)
            endings.push_back(std::string(".") + word);
    std::string text;
    for (std::size_t i = 0; i < endings.size(); ++i)
        text += (i == 0 ? "" : i + 1 == endings.size() ? " or " : ", ") + endings[i];
    return text;
}

}  // namespace kadrimex::batch
