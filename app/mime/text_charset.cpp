#include "mime/text_charset.h"

#include "ascii.h"

#include <glib.h>
#include <iconv.h>

#include <cerrno>

namespace mime {

namespace {

constexpr std::string_view ReplacementCharacter = "\xEF\xBF\xBD";

// Charsets in which ASCII bytes are ASCII characters. The others (UTF-7 and
// UTF-16 spell letters differently, ISO-2022 switches sets by escapes) must
// go through iconv even when every byte is below 0x80.
bool AsciiCompatible(std::string_view charset) {
    for (std::string_view prefix : {"utf-7", "utf7", "utf-16", "utf16", "utf-32", "utf32", "ucs",
                                    "unicode", "iso-2022", "hz"}) {
        if (ascii::StartsWithIgnoringCase(charset, prefix))
            return false;
    }
    return true;
}

// Labels that Utf8OrWindows1252 reads better than iconv would: ISO-8859-1 is
// written by programs that send Windows-1252 (its quotes in 0x80-0x9F), and a
// wrong US-ASCII or UTF-8 label is the commonest lie.
bool HandledByFallback(std::string_view charset) {
    for (std::string_view label : {"us-ascii", "ascii", "utf-8", "utf8", "iso-8859-1", "iso8859-1",
                                   "iso_8859-1", "latin1", "windows-1252", "cp1252"}) {
        if (ascii::EqualIgnoringCase(charset, label))
            return true;
    }
    return false;
}

// A charset name from an article goes to iconv_open only if it looks like one;
// glibc reads suffixes such as "//TRANSLIT" from the name.
bool PlausibleCharsetName(std::string_view charset) {
    if (charset.empty() || charset.size() > 40)
        return false;
    for (char c : charset) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == ':';
        if (!ok)
            return false;
    }
    return true;
}

bool ValidUtf8WithMultiByte(std::string_view bytes) {
    bool multiByte = false;
    for (std::size_t i = 0; i < bytes.size();) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t length = Utf8CharLength(bytes, i);
        if (length == 0)
            return false;
        multiByte = true;
        i += length;
    }
    return multiByte;
}

// The whole text through iconv; false at the first byte sequence the set does
// not define, so the caller can fall back.
bool IconvToUtf8(std::string_view bytes, const std::string& charset, std::string& out) {
    iconv_t cd = iconv_open("UTF-8", charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    out.assign(bytes.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    std::size_t written = 0;
    bool ok = true;
    bool flushed = false;
    while (ok && !flushed) {
        char* outPtr = out.data() + written;
        std::size_t outLeft = out.size() - written;
        // Once the input is used up, a null input flushes a stateful set's
        // pending shift back to its initial state.
        const bool flushing = inLeft == 0;
        const std::size_t result = flushing ? iconv(cd, nullptr, nullptr, &outPtr, &outLeft)
                                            : iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        written = out.size() - outLeft;
        if (result == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG)
                out.resize(out.size() * 2);
            else
                ok = false;
        } else if (flushing) {
            flushed = true;
        }
    }
    iconv_close(cd);
    out.resize(written);
    return ok;
}

SingleByteTable BuildTable(const char* iconvName, bool reserveLineEnd) {
    SingleByteTable table;
    iconv_t cd = iconv_open("UTF-8", iconvName);
    for (int byte = 0; byte < 256; ++byte) {
        std::string& utf8 = table.ToUtf8[static_cast<std::size_t>(byte)];
        char in = static_cast<char>(byte);
        char buffer[8];
        char* inPtr = &in;
        char* outPtr = buffer;
        std::size_t inLeft = 1;
        std::size_t outLeft = sizeof buffer;
        if (cd != reinterpret_cast<iconv_t>(-1) &&
            iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1) &&
            outPtr != buffer) {
            utf8.assign(buffer, static_cast<std::size_t>(outPtr - buffer));
        } else {
            utf8 = ReplacementCharacter;
        }
        if (byte < 0x80 || utf8 == ReplacementCharacter || (reserveLineEnd && byte == 0xE3))
            continue;
        const gunichar codePoint = g_utf8_get_char(utf8.c_str());
        table.FromCodePoint.emplace(codePoint, static_cast<unsigned char>(byte));
    }
    if (cd != reinterpret_cast<iconv_t>(-1))
        iconv_close(cd);
    return table;
}

} // namespace

bool IsAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

void AppendUtf8(std::string& out, char32_t codePoint) {
    char buffer[6];
    const gint length = g_unichar_to_utf8(static_cast<gunichar>(codePoint), buffer);
    out.append(buffer, static_cast<std::size_t>(length));
}

std::size_t Utf8CharLength(std::string_view text, std::size_t at) {
    const gunichar c =
        g_utf8_get_char_validated(text.data() + at, static_cast<gssize>(text.size() - at));
    if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2))
        return 0;
    return static_cast<std::size_t>(g_utf8_skip[static_cast<unsigned char>(text[at])]);
}

std::string Utf8OrWindows1252(std::string_view bytes) {
    const SingleByteTable& windows = Windows1252Table();
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    std::size_t asciiStart = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        const unsigned char byte = static_cast<unsigned char>(bytes[i]);
        if (byte < 0x80) {
            ++i;
            continue;
        }
        out.append(bytes.substr(asciiStart, i - asciiStart));
        if (const std::size_t length = Utf8CharLength(bytes, i); length > 0) {
            out.append(bytes.substr(i, length));
            i += length;
        } else {
            out.append(windows.ToUtf8[byte]);
            ++i;
        }
        asciiStart = i;
    }
    out.append(bytes.substr(asciiStart));
    return out;
}

std::string TextToUtf8(std::string_view bytes, std::string_view charset) {
    if (!PlausibleCharsetName(charset))
        charset = {};
    const bool asciiCompatible = charset.empty() || AsciiCompatible(charset);
    if (asciiCompatible && IsAscii(bytes))
        return std::string(bytes);
    if (charset.empty() || HandledByFallback(charset))
        return Utf8OrWindows1252(bytes);
    // Valid UTF-8 beyond ASCII under a single-byte label was written by a
    // program that labelled its output wrongly; read as labelled it would be
    // two or three odd letters per character.
    if (asciiCompatible && ValidUtf8WithMultiByte(bytes))
        return std::string(bytes);
    std::string out;
    if (IconvToUtf8(bytes, std::string(charset), out))
        return out;
    return Utf8OrWindows1252(bytes);
}

const SingleByteTable& Windows1252Table() {
    static const SingleByteTable table = BuildTable("WINDOWS-1252", false);
    return table;
}

const SingleByteTable& Cp437Table() {
    static const SingleByteTable table = BuildTable("IBM437", true);
    return table;
}

const SingleByteTable& Latin1Table() {
    static const SingleByteTable table = BuildTable("ISO-8859-1", true);
    return table;
}

} // namespace mime
