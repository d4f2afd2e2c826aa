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
#include <sys/file.h>
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

// The file being written: anonymous (O_TMPFILE) until it is complete, so a
// killed run leaves nothing behind, or, where the file system has no
// anonymous files, under a short name of its own beside the target. Either
// way it is named only as TemporaryWriteName(target, n) and holds an
// exclusive lock (flock) for as long as its writer lives, so the next write
// to the same target can tell a killed writer's file from a live one and
// remove it.
class TWriteTemporary {
public:
    explicit TWriteTemporary(const std::string& target) : FTarget(target)
    {
        for (int n = 0; n < kNames; ++n)
            RemoveIfAbandoned(TemporaryWriteName(target, n));
        // Linking an anonymous file into place goes through /proc.
        if (::access("/proc/self/fd", X_OK) == 0) {
            FFd = ::open(DirectoryOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
            if (FFd >= 0) {
                HoldLock();
                return;
            }
        }
        for (int n = 0; n < kNames && FName.empty(); ++n) {
            const std::string name = TemporaryWriteName(target, n);
            // 0666 lets the umask decide the permissions, as for any new file.
            const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && errno == EEXIST)
                continue;
            if (fd < 0)
                throw EImageError("Cannot write file " + target + ": " + SystemReason(errno));
            // Another writer may have taken the new name for abandoned before
            // it was locked and removed it: then the name is no longer ours.
            struct stat mine {}, named {};
            if (::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &mine) == 0 && ::lstat(name.c_str(), &named) == 0 &&
                mine.st_ino == named.st_ino && mine.st_dev == named.st_dev) {
                FFd = fd;
                FName = name;
                HoldLock();
            } else {
                ::close(fd);
            }
        }
        if (FFd < 0)
            throw EImageError("Cannot write file " + target + ": " + SystemReason(EEXIST));
    }
    TWriteTemporary(const TWriteTemporary&) = delete;
    TWriteTemporary& operator=(const TWriteTemporary&) = delete;
    ~TWriteTemporary()
    {
        Discard();
    }

    int Get() const { return FFd; }

    // Closes the file, reporting a deferred write error as errno.
    bool Close()
    {
        if (!FName.empty() || FFd < 0)
            return CloseDescriptor();
        // An anonymous file is named before it is closed; the lock stays
        // with the descriptor until then.
        char self[64];
        std::snprintf(self, sizeof self, "/proc/self/fd/%d", FFd);
        for (int n = 0; n < kNames && FName.empty(); ++n) {
            const std::string name = TemporaryWriteName(FTarget, n);
            if (::linkat(AT_FDCWD, self, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
                FName = name;
            else if (errno != EEXIST)
                return false;
        }
        if (FName.empty()) {
            errno = EEXIST;
            return false;
        }
        return CloseDescriptor();
    }

    // Renames the complete file over the target.
    bool Commit()
    {
        if (::rename(FName.c_str(), FTarget.c_str()) != 0)
            return false;
        FName.clear();
        return true;
    }

    void Discard()
    {
        if (!FName.empty())
            ::unlink(FName.c_str());
        FName.clear();
        if (FFd >= 0)
            ::close(FFd);
        FFd = -1;
        if (FLockFd >= 0)
            ::close(FLockFd);
        FLockFd = -1;
    }

private:
    static constexpr int kNames = 16;  // writers of one target at once

    // The lock belongs to the open file, which a duplicate keeps open after
    // the writing descriptor is closed, until the rename or the removal.
    void HoldLock()
    {
        ::flock(FFd, LOCK_EX);
        FLockFd = ::fcntl(FFd, F_DUPFD_CLOEXEC, 0);
    }

    bool CloseDescriptor()
    {
        const int result = ::close(FFd);
        FFd = -1;
        return result == 0;
    }

    // A temporary file left by a writer that is gone: nobody holds its
    // lock. Removed only while it is the file just locked.
    static void RemoveIfAbandoned(const std::string& name)
    {
        const int fd = ::open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return;
        struct stat locked {}, named {};
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &locked) == 0 && S_ISREG(locked.st_mode) &&
            ::lstat(name.c_str(), &named) == 0 && locked.st_ino == named.st_ino && locked.st_dev == named.st_dev)
            ::unlink(name.c_str());
        ::close(fd);
    }

    std::string FTarget;
    std::string FName;
    int FFd = -1;
    int FLockFd = -1;
};

}  // namespace

std::string TemporaryWriteName(const std::string& target, int n)
{
    // A short name of its own (a hash of the target's path), so a target
    // name of up to NAME_MAX bytes can still be written.
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : target)
        hash = (hash ^ std::uint8_t(c)) * 1099511628211ull;
    char name[64];
    std::snprintf(name, sizeof name, ".kadrimex-%016llx-%d.tmp", static_cast<unsigned long long>(hash), n);
    const std::string folder = DirectoryOf(target);
    return (folder == "/" ? std::string() : folder) + "/" + name;
}

void CheckWritableDestination(const std::string& path)
{
    if (path.empty())
        throw EImageError("Cannot write a file without a name");
    const std::string target = FinalTarget(path);
    const std::string folder = DirectoryOf(target);
    struct stat info {};
    int error = 0;
    if (::stat(folder.c_str(), &info) != 0)
        error = errno;
    else if (!S_ISDIR(info.st_mode))
        error = ENOTDIR;
    else {
        // An anonymous file tried and dropped asks the file system itself
        // (read-only mounts, permissions, quotas alike) and leaves nothing.
        const int probe = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (probe >= 0)
            ::close(probe);
        else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            error = errno;
        else if (::access(folder.c_str(), W_OK | X_OK) != 0)
            error = errno;
    }
    if (error != 0)
        throw EImageError("Cannot write file " + path + ": " + SystemReason(error));
    if (::stat(target.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
        throw EImageError("Cannot write file " + path + ": it is not a regular file");
}

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

    // Beside the target, so the final rename stays on one file system.
    TWriteTemporary fd(target);

    auto fail = [&](int error) {
        fd.Discard();
        throw EImageError("Cannot write file " + path + ": " + SystemReason(error));
    };
    auto stop = [&]() {
        if (!cancelled || !cancelled())
            return false;
        fd.Discard();
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
    if (!fd.Close())
        fail(errno);
    if (stop())
        return false;
    if (!fd.Commit())
        fail(errno);
    fd.Discard();

    // Make the rename itself durable; a failure here no longer endangers data.
    const int dir = ::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

}  // namespace kadrimex
