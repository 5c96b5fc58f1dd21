// Line, word, fixed-width field and integer helpers over counted 8-bit strings.
#include "vxutil.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

constexpr char CarriageReturn = '\r';
constexpr char Blank = ' ';

// Blanks and every control character, the zero byte included. Compared as
// unsigned so that bytes above 127 (a stored byte 255, say) are never taken
// for white space.
bool IsWhiteSpace(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

std::string Trimmed(std::string_view text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && IsWhiteSpace(text[first]))
        ++first;
    while (last > first && IsWhiteSpace(text[last - 1]))
        --last;
    return std::string(text.substr(first, last - first));
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool IsDecimalDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

extern "C" {

std::string VxGetNextLine(const char*& cursor) {
    if (cursor == nullptr)
        return {};
    const char* end = cursor;
    while (*end != '\0' && *end != CarriageReturn)
        ++end;
    std::string line(cursor, end);
    if (*end == CarriageReturn) {
        ++end;
        // The byte after a CR is taken as its LF, whatever it is, but the
        // cursor never steps past the terminating zero.
        if (*end != '\0')
            ++end;
    }
    cursor = end;
    return line;
}

std::string VxGetNextToken(std::string& text) {
    const std::string rest = Trimmed(text);
    const std::size_t blank = rest.find(Blank);
    if (blank == std::string::npos) {
        text.clear();
        return rest;
    }
    std::string token = Trimmed(std::string_view(rest).substr(0, blank));
    text = Trimmed(std::string_view(rest).substr(blank + 1));
    return token;
}

std::string VxCondString(bool flag, const std::string& ifTrue, const std::string& ifFalse) {
    return flag ? ifTrue : ifFalse;
}

std::int32_t VxStrToInt(const std::string& text, std::int32_t defaultValue) {
    const std::size_t length = text.size();
    std::size_t i = 0;
    while (i < length && text[i] == Blank)
        ++i;
    if (i == length)
        return defaultValue;

    if (text[i] == '$') {
        ++i;
        if (i == length)
            return defaultValue;
        std::uint64_t value = 0;
        for (; i < length; ++i) {
            const int digit = HexDigitValue(text[i]);
            if (digit < 0)
                return defaultValue;
            value = value * 16 + static_cast<unsigned>(digit);
            if (value > 0xFFFFFFFFu)
                return defaultValue;
        }
        // A 32-bit pattern: $FFFFFFFF is -1.
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    }

    bool negative = false;
    if (text[i] == '+' || text[i] == '-') {
        negative = text[i] == '-';
        ++i;
    }
    if (i == length)
        return defaultValue;
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t value = 0;
    for (; i < length; ++i) {
        if (!IsDecimalDigit(text[i]))
            return defaultValue;
        value = value * 10 + (text[i] - '0');
        if (value > limit)
            return defaultValue;
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

std::string VxCharToStr(const void* field, std::int32_t width) {
    if (field == nullptr || width <= 0)
        return {};
    return Trimmed(
        std::string_view(static_cast<const char*>(field), static_cast<std::size_t>(width)));
}

void VxStrToChar(void* field, std::int32_t width, const std::string& text) {
    if (field == nullptr || width <= 0)
        return;
    auto* bytes = static_cast<char*>(field);
    const std::size_t size = static_cast<std::size_t>(width);
    const std::size_t copied = std::min(size, text.size());
    std::memcpy(bytes, text.data(), copied);
    std::memset(bytes + copied, Blank, size - copied);
}

} // extern "C"
