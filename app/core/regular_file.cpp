#include "regular_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string KindOf(mode_t mode) {
    if (S_ISREG(mode))
        return {};
    if (S_ISFIFO(mode))
        return "a named pipe";
    if (S_ISDIR(mode))
        return "a directory";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "a special file";
}

std::string ReadError(const std::string& path, int error) {
    return "Unable to read " + path + ": " + std::strerror(error);
}

} // namespace

std::string SpecialFileKind(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return {};
    return KindOf(status.st_mode);
}

std::string NotARegularFileMessage(const std::string& path, const std::string& kind) {
    return path + " is " + kind + ", not a regular file; it is not opened";
}

RegularFileRead ReadRegularFile(const std::string& path) {
    RegularFileRead result;
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        if (errno == ENOENT)
            return result; // Missing
        result.outcome = RegularFileRead::Failed;
        result.error = ReadError(path, errno);
        return result;
    }
    if (const std::string kind = KindOf(status.st_mode); !kind.empty()) {
        result.outcome = RegularFileRead::NotRegular;
        result.error = NotARegularFileMessage(path, kind);
        return result;
    }
    // Not blocking: should a pipe have taken the file's place since the look
    // above, the opening returns at once and the second look refuses it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT)
            return result; // Missing
        result.outcome = RegularFileRead::Failed;
        result.error = ReadError(path, errno);
        return result;
    }
    if (::fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        result.outcome = RegularFileRead::Failed;
        result.error = ReadError(path, error);
        return result;
    }
    if (const std::string kind = KindOf(status.st_mode); !kind.empty()) {
        ::close(fd);
        result.outcome = RegularFileRead::NotRegular;
        result.error = NotARegularFileMessage(path, kind);
        return result;
    }
    std::string contents;
    if (status.st_size > 0)
        contents.reserve(static_cast<std::size_t>(status.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            const int error = errno;
            ::close(fd);
            result.outcome = RegularFileRead::Failed;
            result.error = ReadError(path, error);
            return result;
        }
        if (count == 0)
            break;
        contents.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(fd);
    result.outcome = RegularFileRead::Read;
    result.contents = std::move(contents);
    return result;
}
