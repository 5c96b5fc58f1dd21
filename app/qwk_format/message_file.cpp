#include "qwk_format/message_file.h"

#include <cerrno>
#include <cstring>

namespace qwk {
namespace {

// Large enough that a run writes in few system calls, small enough that
// memory stays flat however many articles it saves.
constexpr std::size_t WriteBufferSize = 64 * 1024;

std::string ErrorText(int error, const std::string& path) {
    return "I/O error " + std::to_string(error) + " (" + std::strerror(error) + ") on " + path;
}

} // namespace

MessageFile::MessageFile(std::string path) : path_(std::move(path)), buffer_(WriteBufferSize) {
    file_ = std::fopen(path_.c_str(), "wb");
    if (!file_)
        throw MessageFileError(ErrorText(errno ? errno : EIO, path_));
    std::setvbuf(file_, buffer_.data(), _IOFBF, buffer_.size());
}

MessageFile::~MessageFile() {
    if (file_)
        std::fclose(file_);
}

void MessageFile::Write(std::string_view bytes) {
    if (error_ != 0 || !file_ || bytes.empty())
        return;
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size())
        error_ = errno ? errno : EIO;
}

void MessageFile::ThrowIfFailed() const {
    if (error_ != 0)
        throw MessageFileError(ErrorText(error_, path_));
}

void MessageFile::Close() {
    if (!file_)
        return;
    errno = 0;
    const int result = std::fclose(file_);
    file_ = nullptr;
    if (result != 0 && error_ == 0)
        error_ = errno ? errno : EIO;
    ThrowIfFailed();
}

} // namespace qwk
