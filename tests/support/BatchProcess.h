// Runs kadrimex-batch as a separate process, without a shell: the tests
// check its exit status, its one-line messages and the files it leaves.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace kadrimex::test {

struct BatchResult {
    int status = -1;     // exit status, or minus the signal that ended it
    std::string errors;  // everything written to stderr
    std::vector<std::string> ErrorLines() const
    {
        std::vector<std::string> lines;
        std::istringstream in(errors);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
};

class BatchProcess {
public:
    // Starts the tool with these arguments; stdout goes to /dev/null and
    // stderr to a temporary file read back by Wait().
    explicit BatchProcess(const std::vector<std::string>& arguments)
    {
        std::string name = (std::filesystem::temp_directory_path() / "kadrimex-batch-stderr-XXXXXX").string();
        const int fd = mkstemp(name.data());
        if (fd >= 0)
            close(fd);
        FErrorsPath = name;
        std::vector<std::string> words = {KADRIMEX_BATCH_PATH};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, FErrorsPath.c_str(), O_WRONLY | O_TRUNC, 0);
        if (posix_spawn(&FPid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            FPid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    BatchProcess(const BatchProcess&) = delete;
    BatchProcess& operator=(const BatchProcess&) = delete;
    ~BatchProcess()
    {
        if (FPid > 0) {
            kill(FPid, SIGKILL);
            waitpid(FPid, nullptr, 0);
        }
        std::remove(FErrorsPath.c_str());
    }

    bool Started() const { return FPid > 0; }
    void Signal(int signal) const
    {
        if (FPid > 0)
            kill(FPid, signal);
    }

    BatchResult Wait()
    {
        BatchResult result;
        if (FPid <= 0)
            return result;
        int status = 0;
        waitpid(FPid, &status, 0);
        FPid = -1;
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
        std::ifstream in(FErrorsPath);
        std::ostringstream text;
        text << in.rdbuf();
        result.errors = text.str();
        return result;
    }

private:
    pid_t FPid = -1;
    std::string FErrorsPath;
};

// Runs the tool to its end.
inline BatchResult RunBatch(const std::vector<std::string>& arguments)
{
    BatchProcess process(arguments);
    return process.Wait();
}

// Runs the tool with blank-separated arguments (no quoting: for paths
// without blanks, as the tests' temporary folders are).
inline BatchResult RunBatch(const std::string& arguments)
{
    std::vector<std::string> words;
    std::istringstream in(arguments);
    for (std::string word; in >> word;)
        words.push_back(word);
    return RunBatch(words);
}

}  // namespace kadrimex::test
