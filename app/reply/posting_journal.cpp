#include "reply/posting_journal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

std::string ContentDigest(std::string_view bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

std::string FileDigest(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return {};
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad())
        return {};
    return ContentDigest(bytes);
}

PostingJournal::PostingJournal(std::string path) : path_(std::move(path)) {}

PostingJournal::~PostingJournal() {
    if (fd_ >= 0)
        ::close(fd_);
}

void PostingJournal::Load(const std::string& archiveDigest) {
    archiveDigest_ = archiveDigest;
    std::ifstream file(path_, std::ios::binary);
    std::string line;
    bool current = false;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        std::string kind, key, messageId;
        fields >> kind >> key >> messageId;
        if (kind == "PACKET") {
            current = key == archiveDigest;
            if (!current)
                break;
        } else if (current && !messageId.empty() && kind == "SENDING") {
            sending_[key] = messageId;
        } else if (current && !messageId.empty() && kind == "POSTED") {
            posted_[key] = messageId;
            sending_.erase(key);
        }
    }
    // A line cut off by a crash has no effect beyond itself; the run goes
    // on appending to what was there.
    started_ = current;
}

bool PostingJournal::WasPosted(const std::string& replyKey) const {
    return posted_.count(replyKey) != 0;
}

std::optional<std::string> PostingJournal::SentMessageId(const std::string& replyKey) const {
    const auto found = sending_.find(replyKey);
    if (found == sending_.end())
        return std::nullopt;
    return found->second;
}

bool PostingJournal::RecordSending(const std::string& replyKey, const std::string& messageId) {
    if (!Append("SENDING " + replyKey + " " + messageId + "\n"))
        return false;
    sending_[replyKey] = messageId;
    return true;
}

bool PostingJournal::RecordPosted(const std::string& replyKey, const std::string& messageId) {
    if (!Append("POSTED " + replyKey + " " + messageId + "\n"))
        return false;
    posted_[replyKey] = messageId;
    sending_.erase(replyKey);
    return true;
}

bool PostingJournal::Append(const std::string& line) {
    std::string text;
    if (fd_ < 0) {
        // A stale or missing record starts over with this archive's line.
        int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC;
        if (!started_)
            flags |= O_TRUNC;
        fd_ = ::open(path_.c_str(), flags, 0666);
        if (fd_ < 0) {
            error_ = "Unable to record posted replies in " + path_ + ": " + std::strerror(errno);
            return false;
        }
        if (!started_) {
            text = "PACKET " + archiveDigest_ + "\n";
            started_ = true;
        }
    }
    // Begins on a line of its own even after a line a crash cut short.
    text = "\n" + text + line;
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t written = ::write(fd_, data, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0) {
            error_ = "Unable to record posted replies in " + path_ + ": " + std::strerror(errno);
            return false;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    if (::fsync(fd_) != 0) {
        error_ = "Unable to record posted replies in " + path_ + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void PostingJournal::Remove() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    std::remove(path_.c_str());
    sending_.clear();
    posted_.clear();
    started_ = false;
}
