#include "qwk_format/message_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace qwk {
namespace {

// Large enough that a run writes in few system calls, small enough that
// memory stays flat however many articles it saves.
constexpr std::size_t WriteBufferSize = 64 * 1024;

std::string ErrorText(int error, const std::string& path) {
    return "I/O error " + std::to_string(error) + " (" + std::strerror(error) + ") on " + path;
}

} // namespace

MessageFile::MessageFile(std::string path, Mode mode)
    : path_(std::move(path)), buffer_(WriteBufferSize) {
    file_ = std::fopen(path_.c_str(), mode == Mode::Append ? "ab" : "wb");
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

std::optional<std::size_t> CountMessages(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    Block block{};
    if (!file.read(block.data(), BlockSize))
        return std::nullopt; // not even the first block
    std::size_t messages = 0;
    while (file.read(block.data(), BlockSize)) {
        std::string count = HeaderText(block, header::BlockCount);
        count.erase(count.find_last_not_of(' ') + 1);
        if (count.empty() || count.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        const long blocks = std::stol(count);
        if (blocks < 1)
            return std::nullopt;
        if (!file.seekg(static_cast<std::streamoff>((blocks - 1) * BlockSize), std::ios::cur))
            return std::nullopt;
        ++messages;
    }
    // A cut-off last message leaves the stream past the end, or a partial block.
    if (file.gcount() != 0)
        return std::nullopt;
    file.clear();
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error || static_cast<std::uintmax_t>(file.tellg()) != size)
        return std::nullopt;
    return messages;
}

} // namespace qwk
