// Many files in one call: the same chain of steps on each input, written to
// DIR/NAME.FORMAT, several pictures side by side.
#pragma once

#include "tools/BatchChain.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kadrimex::batch {

struct FolderFile {
    std::string input;
    std::string output;
    TFileFormat format = TFileFormat::None;
    std::int64_t pixels = 0;  // from the file's header; 0 when unknown
};

// Each input's output in DIR, with the checks made before anything runs:
// DIR is a folder, FORMAT (or each input's own ending) can be written, no
// two inputs write the same name and no output is one of the inputs (the
// same file by any name). Throws UsageError.
std::vector<FolderFile> PlanFolder(const std::vector<std::string>& inputs, const std::string& dir,
                                   const std::string& formatWord);

// How many pictures run at once without -j: one per core, no more than
// files, and no more than half the available memory holds at
// kCopiesPerPicture 24-bit copies of the largest picture.
constexpr int kCopiesPerPicture = 4;
int ChooseJobs(const std::vector<FolderFile>& files);

struct FolderOptions {
    int jobs = 1;
    bool showProgress = false;
    bool asStored = false;
};

// Runs the steps on every file, at most `jobs` at once. A failing file gets
// its line on stderr and the others go on; a stop request ends the run with
// the finished files written and the others not. Returns the exit status.
int RunFolder(const std::vector<BatchStep>& steps, const std::vector<FolderFile>& files,
              const FolderOptions& options);

}  // namespace kadrimex::batch
