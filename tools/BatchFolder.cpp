#include "tools/BatchFolder.h"

#include "tools/PictureSize.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <thread>

namespace kadrimex::batch {

namespace {

namespace fs = std::filesystem;

// A picture whose header tells no size counts as 24 megapixels.
constexpr std::int64_t kUnknownPixels = 24'000'000;

std::string FormatWords()
{
    std::string words;
    for (const char* word : {"bmp", "jpg", "png", "tif", "webp"})
        if (WritableFormatNamed(word) != TFileFormat::None)
            words += std::string(words.empty() ? "" : ", ") + word;
    return words;
}

// Half of what the kernel says is available, or 1 GiB when it does not say.
std::int64_t MemoryBudget()
{
    std::ifstream in("/proc/meminfo");
    std::string key;
    std::int64_t kib = 0;
    std::string unit;
    while (in >> key >> kib >> unit)
        if (key == "MemAvailable:")
            return kib * 1024 / 2;
    return std::int64_t(1) << 30;
}

}  // namespace

std::vector<FolderFile> PlanFolder(const std::vector<std::string>& inputs, const std::string& dir,
                                   const std::string& formatWord)
{
    struct stat info {};
    if (::stat(dir.c_str(), &info) != 0)
        throw UsageError("the folder '" + dir + "' does not exist (-d DIR)");
    if (!S_ISDIR(info.st_mode))
        throw UsageError("'" + dir + "' is not a folder (-d DIR)");
    TFileFormat chosen = TFileFormat::None;
    if (!formatWord.empty()) {
        chosen = WritableFormatNamed(formatWord);
        if (chosen == TFileFormat::None)
            throw UsageError("-f " + formatWord + ": the formats that can be written are " + FormatWords());
    }

    // Every input file by device and inode, so an output that is an input
    // under another name (a link, a path through "..") is found.
    std::set<std::pair<dev_t, ino_t>> inputFiles;
    for (const auto& input : inputs)
        if (::stat(input.c_str(), &info) == 0)
            inputFiles.insert({info.st_dev, info.st_ino});

    std::vector<FolderFile> files;
    std::map<std::string, std::string> writers;  // output name -> input
    for (const auto& input : inputs) {
        FolderFile file;
        file.input = input;
        file.format = chosen != TFileFormat::None ? chosen : WritableFormatOf(input);
        if (file.format == TFileFormat::None)
            throw UsageError("'" + input + "': its format cannot be written; choose one with -f (" + FormatWords() +
                             ")");
        const std::string name = fs::path(input).filename().string();
        const std::string stem = name.substr(0, name.size() - FileEnding(name).size());
        file.output = (fs::path(dir) / (stem + FormatEnding(file.format))).string();
        const auto [at, fresh] = writers.emplace(file.output, input);
        if (!fresh)
            throw UsageError("'" + at->second + "' and '" + input + "' would both be written to '" + file.output +
                             "'");
        if (::stat(file.output.c_str(), &info) == 0 && inputFiles.count({info.st_dev, info.st_ino}))
            throw UsageError("the output '" + file.output + "' is one of the inputs");
        file.pixels = PicturePixels(input);
        files.push_back(std::move(file));
    }
    return files;
}

int ChooseJobs(const std::vector<FolderFile>& files)
{
    std::int64_t largest = 1;
    for (const auto& f : files)
        largest = std::max(largest, f.pixels > 0 ? f.pixels : kUnknownPixels);
    const std::int64_t perPicture = largest * 3 * kCopiesPerPicture;
    const std::int64_t fitting = std::max<std::int64_t>(1, MemoryBudget() / perPicture);
    const std::int64_t cores = std::max(1u, std::thread::hardware_concurrency());
    return int(std::min({cores, fitting, std::int64_t(files.size())}));
}

int RunFolder(const std::vector<BatchStep>& steps, const std::vector<FolderFile>& files, const FolderOptions& options)
{
    const std::size_t total = files.size();
    // The share of the work each file is: its pixels.
    std::vector<double> weight(total);
    double allWeight = 0;
    for (std::size_t i = 0; i < total; ++i)
        allWeight += weight[i] = double(files[i].pixels > 0 ? files[i].pixels : kUnknownPixels);
    std::vector<std::atomic<double>> share(total);
    std::atomic<std::size_t> next{0}, done{0}, failed{0}, written{0};
    std::atomic<int> running{0};
    std::mutex errorLock;  // one line at a time on stderr
    bool lineShown = false;
    std::string lastLine;

    const auto clearLine = [&] {
        if (lineShown)
            std::fprintf(stderr, "\r%60s\r", "");
        lineShown = false;
    };
    const auto drawLine = [&] {
        double work = 0;
        for (std::size_t i = 0; i < total; ++i)
            work += weight[i] * share[i].load(std::memory_order_relaxed);
        char text[80];
        std::snprintf(text, sizeof text, "%zu of %zu files, %5.1f %%", done.load(), total, work / allWeight * 100);
        if (lineShown && text == lastLine)
            return;
        lastLine = text;
        std::fprintf(stderr, "\r%s", text);
        std::fflush(stderr);
        lineShown = true;
    };

    const auto job = [&] {
        for (;;) {
            if (Interrupted())
                break;
            const std::size_t i = next.fetch_add(1);
            if (i >= total)
                break;
            const FolderFile& file = files[i];
            std::string failure;
            try {
                ChainOptions chain;
                chain.asStored = options.asStored;
                chain.progress = [&share, i](double s) { share[i].store(s, std::memory_order_relaxed); };
                const TBitmap picture = RunChain(steps, file.input, chain);
                SaveResult(file.output, picture, file.format);
                ++written;
            } catch (const Cancelled&) {
                break;
            } catch (const std::bad_alloc&) {
                failure = "not enough memory";
            } catch (const std::exception& e) {
                failure = e.what();
            }
            if (!failure.empty()) {
                ++failed;
                std::lock_guard<std::mutex> lock(errorLock);
                clearLine();
                std::fprintf(stderr, "kadrimex-batch: %s: %s\n", file.input.c_str(), failure.c_str());
            }
            share[i].store(1);
            ++done;
        }
        --running;
    };

    const int jobs = int(std::min<std::size_t>(std::size_t(std::max(options.jobs, 1)), total));
    running = jobs;
    std::vector<std::thread> pool;
    for (int k = 0; k < jobs; ++k)
        pool.emplace_back(job);
    for (int tick = 0; running.load() > 0; ++tick) {
        if (options.showProgress && tick % 5 == 0) {
            std::lock_guard<std::mutex> lock(errorLock);
            drawLine();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    for (auto& t : pool)
        t.join();
    clearLine();

    if (Interrupted()) {
        std::fprintf(stderr, "kadrimex-batch: cancelled (%zu of %zu files written)\n", written.load(), total);
        return 1;
    }
    if (failed > 0) {
        std::fprintf(stderr, "kadrimex-batch: %zu of %zu files failed\n", failed.load(), total);
        return 1;
    }
    return 0;
}

}  // namespace kadrimex::batch
