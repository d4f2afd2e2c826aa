// Whole-file reading and writing for the codecs. Reading refuses files
// larger than any picture the editor accepts; writing goes through a
// temporary file beside the target so that a failure never leaves a
// half-written or destroyed file behind.
#include "engine/Codecs.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace kadrimex {

namespace {

// Largest file ReadFileBytes takes: an uncompressed 32-bit picture of the
// largest accepted pixel count plus generous room for headers.
constexpr std::uint64_t kMaxFileBytes = std::uint64_t(kMaxBitmapPixels) * 4 + (std::uint64_t(16) << 20);

std::string SystemReason(int error)
{
    return std::strerror(error);
}

// Closes a descriptor on every path out of a function.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : FFd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor()
    {
        if (FFd >= 0)
            ::close(FFd);
    }
    int Get() const { return FFd; }
    int Release()
    {
        const int fd = FFd;
        FFd = -1;
        return fd;
    }
    // Closes now and reports the result (close can report a write error).
    int Close()
    {
        const int result = ::close(FFd);
        FFd = -1;
        return result;
    }

private:
    int FFd;
};

// Direct writes move whole units of this size from memory aligned to it
// (a multiple of every block size in use); files from kDirectWriteFrom
// bytes on are written that way.
constexpr std::size_t kDirectUnit = 4096;
constexpr std::uint64_t kDirectWriteFrom = std::uint64_t(16) << 20;

// Calls transfer(offset, remaining) (a read or write of the bytes from
// `offset`) until `count` bytes have moved or it moves none, retrying after
// an interruption. Returns the bytes moved, or -1 with errno set when a
// call fails.
template <typename Transfer>
std::int64_t TransferAll(std::size_t count, Transfer transfer)
{
    std::size_t done = 0;
    while (done < count) {
        const ssize_t moved = transfer(done, count - done);
        if (moved < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (moved == 0)
            break;
        done += std::size_t(moved);
    }
    return std::int64_t(done);
}

std::string DirectoryOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// The file a symbolic link finally names (the path itself when it is no
// link); a dangling link gives the name the file will be created under.
std::string FinalTarget(const std::string& path)
{
    std::string current = path;
    for (int depth = 0; depth < 40; ++depth) {
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return current;
        std::string target(std::size_t(info.st_size > 0 ? info.st_size : 4096) + 1, '\0');
        const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
        if (length < 0)
            throw EImageError("Cannot write file " + path + ": " + SystemReason(errno));
        target.resize(std::size_t(length));
        current = !target.empty() && target[0] == '/' ? target : DirectoryOf(current) + "/" + target;
    }
    throw EImageError("Cannot write file " + path + ": " + SystemReason(ELOOP));
}

}  // namespace

int OpenRegularFile(const std::string& path, const std::string& failure)
{
    // O_NONBLOCK: opening a FIFO without a writer would otherwise wait.
    const int raw = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (raw < 0)
        throw EImageError(failure + " " + path + ": " + SystemReason(errno));
    FileDescriptor fd(raw);
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0)
        throw EImageError(failure + " " + path + ": " + SystemReason(errno));
    if (!S_ISREG(info.st_mode))
        throw EImageError(failure + " " + path + ": it is not a regular file");
    const int flags = ::fcntl(fd.Get(), F_GETFL);
    if (flags >= 0)
        ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK);
    return fd.Release();
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path)
{
    FileDescriptor fd(OpenRegularFile(path));
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0)
        throw EImageError("Cannot read file " + path + ": " + SystemReason(errno));
    if (std::uint64_t(info.st_size) > kMaxFileBytes)
        throw EImageError("File " + path + " is too large to be a picture");

    std::vector<std::uint8_t> bytes;
    try {
        bytes.resize(std::size_t(info.st_size));
    } catch (const std::bad_alloc&) {
        throw EOutOfResources("Not enough memory to read file " + path);
    }
    const std::int64_t got = TransferAll(bytes.size(), [&](std::size_t offset, std::size_t remaining) {
        return ::read(fd.Get(), bytes.data() + offset, remaining);
    });
    if (got < 0)
        throw EImageError("Cannot read file " + path + ": " + SystemReason(errno));
    bytes.resize(std::size_t(got));  // shorter when the file shrank while we read it
    return bytes;
}

bool WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes,
                         const std::function<bool()>& cancelled)
{
    return WriteFileAtomically(
        path, bytes.size(), [&](std::uint64_t offset, std::size_t) { return bytes.data() + offset; }, cancelled);
}

bool WriteFileAtomically(const std::string& path, std::uint64_t size, const TBlockSource& block,
                         const std::function<bool()>& cancelled)
{
    if (path.empty())
        throw EImageError("Cannot write a file without a name");
    const std::string target = FinalTarget(path);
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode))
        throw EImageError("Cannot write file " + path + ": it is not a regular file");

    // A name beside the target, so the final rename stays on one file system.
    std::random_device entropy;
    std::string temporary;
    int raw = -1;
    for (int attempt = 0; attempt < 100 && raw < 0; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08x~", unsigned(entropy()));
        temporary = target + suffix;
        // 0666 lets the umask decide the permissions, as for any new file.
        raw = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (raw < 0 && errno != EEXIST)
            break;
    }
    if (raw < 0)
        throw EImageError("Cannot write file " + path + ": " + SystemReason(errno));
    FileDescriptor fd(raw);

    auto fail = [&](int error) {
        ::unlink(temporary.c_str());
        throw EImageError("Cannot write file " + path + ": " + SystemReason(error));
    };
    auto stop = [&]() {
        if (!cancelled || !cancelled())
            return false;
        ::unlink(temporary.c_str());
        return true;
    };

    // An existing file keeps its permissions.
    if (exists)
        ::fchmod(fd.Get(), existing.st_mode & 07777);

    // A large file bypasses the page cache where the file system allows it:
    // filling fresh cache pages costs more than the disk write, and the bytes
    // are synced below anyway. Direct writes go from an aligned copy in whole
    // units; the file's last partial unit, and everything after a refused or
    // short direct write, go through the cache from where the file ends.
    const int flags = ::fcntl(fd.Get(), F_GETFL);
    std::unique_ptr<void, decltype(&std::free)> bounce(nullptr, &std::free);
    const auto leaveDirect = [&]() {
        ::fcntl(fd.Get(), F_SETFL, flags);
        bounce.reset();
    };
    if (size >= kDirectWriteFrom && flags >= 0 && ::fcntl(fd.Get(), F_SETFL, flags | O_DIRECT) == 0) {
        bounce.reset(std::aligned_alloc(kDirectUnit, kWriteBlock));
        if (!bounce)
            leaveDirect();
    }

    // In blocks, so a request to stop is seen while a large file is written.
    for (std::uint64_t from = 0; from < size; from += kWriteBlock) {
        if (stop())
            return false;
        const std::size_t count = std::size_t(std::min<std::uint64_t>(kWriteBlock, size - from));
        const std::uint8_t* bytes = block(from, count);
        std::size_t done = 0;
        if (bounce) {
            const std::size_t whole = count / kDirectUnit * kDirectUnit;
            auto* copy = static_cast<std::uint8_t*>(bounce.get());
            std::memcpy(copy, bytes, whole);
            const std::int64_t direct = TransferAll(whole, [&](std::size_t offset, std::size_t remaining) {
                return ::write(fd.Get(), copy + offset, remaining);
            });
            if (direct < 0 && errno != EINVAL)
                fail(errno);
            if (direct != std::int64_t(whole)) {
                const off_t at = ::lseek(fd.Get(), 0, SEEK_CUR);
                if (at < 0 || std::uint64_t(at) < from)
                    fail(at < 0 ? errno : EIO);
                done = std::size_t(std::uint64_t(at) - from);
            } else {
                done = whole;
            }
            if (done < count)
                leaveDirect();
        }
        const std::int64_t rest = TransferAll(count - done, [&](std::size_t offset, std::size_t remaining) {
            return ::write(fd.Get(), bytes + done + offset, remaining);
        });
        const std::int64_t written = rest < 0 ? rest : std::int64_t(done) + rest;
        if (written < 0)
            fail(errno);
        if (std::uint64_t(written) < count)
            fail(ENOSPC);  // a write that takes nothing of a non-empty buffer
    }
    if (::fsync(fd.Get()) != 0)
        fail(errno);
    if (fd.Close() != 0)
        fail(errno);
    if (stop())
        return false;
    if (::rename(temporary.c_str(), target.c_str()) != 0)
        fail(errno);

    // Make the rename itself durable; a failure here no longer endangers data.
    const int dir = ::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

}  // namespace kadrimex
