// Chains of steps: "gauss 20 + sharpen 50 10 + resize 50%" run one after
// another on the picture in memory, each step's result the next one's
// working copy, as a user applies commands one after another in the editor.
#pragma once

#include "tools/Batch.h"

#include "engine/PictureFiles.h"

#include <functional>
#include <string>
#include <vector>

namespace kadrimex::batch {

struct BatchStep {
    const BatchCommand* command = nullptr;
    std::vector<std::string> args;
};

// Splits the words at each lone "+" into steps and checks each step's
// command name and number of arguments, and that only the first step makes
// its picture (a generator, new, raw). Throws UsageError.
std::vector<BatchStep> ParseSteps(const std::vector<std::string>& words);

// A dry run of every step that works on a picture: each reads and checks
// its arguments without reading any picture. Throws UsageError, or
// EImageError for a value no picture could take (a mask too large, an
// unreadable tone table).
void CheckSteps(const std::vector<BatchStep>& steps);

struct ChainOptions {
    bool asStored = false;
    // Told the share of the whole chain done (0 to 1) while it runs.
    std::function<void(double)> progress;
};

// Runs the steps on INPUT (ignored when the first step makes its picture)
// and returns the last step's result. Throws as a step does.
TBitmap RunChain(const std::vector<BatchStep>& steps, const std::string& input, const ChainOptions& options);

// Writes the picture as `format`, atomically; throws Cancelled when a stop
// request came first (nothing is written) and EImageError for a write error.
void SaveResult(const std::string& output, const TBitmap& picture, TFileFormat format);

// ".bmp, .jpg or .jpeg": the endings an output may have, for messages.
std::string WritableEndings();

}  // namespace kadrimex::batch
