#include "archive/tlpstr.h"

#include "vxutil.h"

#include <algorithm>
#include <cstring>
#include <istream>
#include <memory>
#include <new>
#include <ostream>

namespace {

// The most a growable holder reads from a stream.
constexpr std::size_t GrowableStreamLimit = 32768;

} // namespace

TLPStr::TLPStr(std::uint16_t capacity) {
    if (capacity != 0)
        SetSize(capacity);
}

TLPStr::~TLPStr() {
    delete[] text_;
}

TLPStr& TLPStr::operator=(const TLPStr&) {
    VxInfoDialog(DirectAssignMessage, "Information");
    return *this;
}

void TLPStr::Clear() {
    if (fixed_ && text_ != nullptr) {
        text_[0] = '\0';
        return;
    }
    delete[] text_;
    text_ = nullptr;
    capacity_ = 0;
}

char* TLPStr::GetText(char*& buffer) const {
    if (text_ == nullptr) {
        if (buffer == nullptr)
            buffer = new char[2];
        buffer[0] = '\0';
        return buffer;
    }
    const std::size_t length = std::strlen(text_);
    if (buffer == nullptr)
        buffer = new char[length + 1];
    std::memcpy(buffer, text_, length + 1);
    return buffer;
}

void TLPStr::SetText(const char* text) {
    // The text may live in this holder's own buffer; copy it before clearing.
    const std::string copy = text != nullptr ? std::string(text) : std::string();
    Clear();
    if (text == nullptr)
        return;
    if (text_ != nullptr) {
        const std::size_t kept = std::min<std::size_t>(copy.size(), capacity_ - 1u);
        std::memcpy(text_, copy.data(), kept);
        text_[kept] = '\0';
        return;
    }
    // The capacity is a 16-bit count; a longer text is still held whole, and
    // the capacity then says only that the buffer is at least that large.
    text_ = new char[copy.size() + 1];
    std::memcpy(text_, copy.c_str(), copy.size() + 1);
    capacity_ = static_cast<std::uint16_t>(std::min<std::size_t>(copy.size() + 1, 0xFFFF));
}

void TLPStr::SetSize(std::uint16_t capacity) {
    if (capacity == 0) {
        fixed_ = false;
        return;
    }
    if (text_ != nullptr && capacity == capacity_) {
        fixed_ = true;
        return;
    }
    char* buffer = new (std::nothrow) char[capacity];
    if (buffer == nullptr)
        return;
    buffer[0] = '\0';
    if (text_ != nullptr) {
        const std::size_t kept = std::min<std::size_t>(std::strlen(text_), capacity - 1u);
        std::memcpy(buffer, text_, kept);
        buffer[kept] = '\0';
    }
    delete[] text_;
    text_ = buffer;
    capacity_ = capacity;
    fixed_ = true;
}

void TLPStr::LoadFromStream(std::istream& stream) {
    const std::size_t limit = fixed_ ? capacity_ : GrowableStreamLimit;
    std::string block(limit, '\0');
    stream.read(block.data(), static_cast<std::streamsize>(limit));
    const auto delivered = static_cast<std::size_t>(stream.gcount());
    if (delivered == limit)
        throw StreamError("Line too long");
    block.resize(delivered);
    SetText(block.c_str());
}

void TLPStr::SaveToStream(std::ostream& stream) const {
    if (text_ != nullptr)
        stream.write(text_, static_cast<std::streamsize>(std::strlen(text_)));
}

void TLPStr::WriteStoredText(std::ostream& stream) const {
    if (!HasStoredText())
        return;
    const std::uint32_t length = static_cast<std::uint32_t>(std::strlen(text_) + 1);
    const char header[5] = {
        10, static_cast<char>(length & 0xFF), static_cast<char>((length >> 8) & 0xFF),
        static_cast<char>((length >> 16) & 0xFF), static_cast<char>((length >> 24) & 0xFF)};
    stream.write(header, sizeof header);
    stream.write(text_, length);
}

void TLPStr::ReadStoredText(std::istream& stream) {
    stream.ignore(1);
    unsigned char size[4] = {};
    stream.read(reinterpret_cast<char*>(size), sizeof size);
    if (stream.gcount() != sizeof size)
        return;
    const std::uint32_t length =
        size[0] | (size[1] << 8) | (size[2] << 16) | (static_cast<std::uint32_t>(size[3]) << 24);
    if (length == 0)
        return;
    // The length comes from the stream: read what is really there, a piece
    // at a time, and terminate it ourselves rather than trust the last byte.
    std::string stored;
    char piece[4096];
    std::uint32_t left = length;
    while (left > 0 && stream) {
        const auto wanted = std::min<std::uint32_t>(left, sizeof piece);
        stream.read(piece, wanted);
        const auto got = static_cast<std::uint32_t>(stream.gcount());
        stored.append(piece, got);
        left -= got;
        if (got < wanted)
            break;
    }
    SetText(stored.c_str());
}
