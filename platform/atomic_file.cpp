#include "atomic_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string SystemError(int error) {
    return std::strerror(error);
}

// A name beside the target that no other writer in this or another process
// picks at the same moment.
std::string TemporaryNameFor(const fs::path& target) {
    static std::atomic<unsigned> counter{0};
    return target.string() + ".new-" + std::to_string(::getpid()) + "-" +
           std::to_string(counter.fetch_add(1));
}

bool WriteAll(int fd, std::string_view contents) {
    const char* data = contents.data();
    std::size_t left = contents.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

// Makes the rename itself survive a crash; a directory that cannot be synced
// (some file systems refuse) does not undo a rename that already happened.
void SyncDirectoryOf(const fs::path& target) {
    fs::path directory = target.parent_path();
    if (directory.empty())
        directory = ".";
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

AtomicWriteResult WriteFileAtomically(const std::string& path, std::string_view contents) {
    fs::path target(path);
    std::error_code ec;
    if (fs::is_symlink(target, ec)) {
        const fs::path resolved = fs::weakly_canonical(target, ec);
        if (!ec)
            target = resolved;
    }

    mode_t mode = 0666;
    struct stat existing {};
    const bool hadFile = ::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
    if (hadFile)
        mode = existing.st_mode & 07777;

    // A name left by a crashed writer that had this process id is skipped.
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = TemporaryNameFor(target);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return {AtomicWriteResult::CannotCreate, SystemError(errno)};
    if (hadFile) {
        // The umask applied at creation; an existing file's own bits win,
        // and its owner too where this process may give it away.
        ::fchmod(fd, mode);
        if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
            // Only the owner's own files can be given away; not worth failing.
        }
    }

    bool written = WriteAll(fd, contents);
    int error = written ? 0 : errno;
    if (written && ::fsync(fd) != 0) {
        written = false;
        error = errno;
    }
    if (::close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written) {
        ::unlink(temporary.c_str());
        return {AtomicWriteResult::WriteFailed, SystemError(error)};
    }

    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        error = errno;
        ::unlink(temporary.c_str());
        return {AtomicWriteResult::CannotReplace, SystemError(error)};
    }
    SyncDirectoryOf(target);
    return {};
}

AtomicWriteResult MoveFileIntoPlace(const std::string& temporaryPath, const std::string& path) {
    const int fd = ::open(temporaryPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {AtomicWriteResult::CannotCreate, SystemError(errno)};
    const bool synced = ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    if (!synced) {
        ::unlink(temporaryPath.c_str());
        return {AtomicWriteResult::WriteFailed, SystemError(error)};
    }
    if (::rename(temporaryPath.c_str(), path.c_str()) != 0) {
        const int renameError = errno;
        ::unlink(temporaryPath.c_str());
        return {AtomicWriteResult::CannotReplace, SystemError(renameError)};
    }
    SyncDirectoryOf(fs::path(path));
    return {};
}
