#include "mime/header_encoding.h"

#include "mime/text_charset.h"

#include <glib.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace mime {

namespace {

constexpr std::string_view QPrefix = "=?UTF-8?Q?";
constexpr std::string_view BPrefix = "=?UTF-8?B?";
constexpr std::string_view Suffix = "?=";
constexpr std::size_t WordOverhead = QPrefix.size() + Suffix.size();
constexpr std::size_t MaxPayload = MaxEncodedWord - WordOverhead;
// Less room than this left on a line for an encoded word that cannot end
// there: the word starts a new line instead of being a sliver.
constexpr std::size_t SmallestPayload = 16;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

unsigned char Byte(char c) {
    return static_cast<unsigned char>(c);
}

// Characters a Q-encoded word may carry as they are, in a Subject and in a
// phrase alike (RFC 2047 section 5).
bool QLiteral(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '!' ||
           c == '*' || c == '+' || c == '-' || c == '/' || c == ' ';
}

std::size_t QCost(char c) {
    return QLiteral(c) ? 1 : 3;
}

std::size_t BCost(std::size_t bytes) {
    return (bytes + 2) / 3 * 4;
}

void AppendQ(std::string& out, std::string_view bytes) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    for (char c : bytes) {
        if (c == ' ') {
            out += '_';
        } else if (QLiteral(c)) {
            out += c;
        } else {
            out += '=';
            out += Hex[Byte(c) >> 4];
            out += Hex[Byte(c) & 0x0F];
        }
    }
}

void AppendB(std::string& out, std::string_view bytes) {
    const std::unique_ptr<gchar, decltype(&g_free)> encoded(
        g_base64_encode(reinterpret_cast<const guchar*>(bytes.data()), bytes.size()), &g_free);
    out += encoded.get();
}

// A word a decoder would not give back as it is: not ASCII, a control
// character, or something that reads as an encoded word.
bool NeedsEncoding(std::string_view word) {
    for (char c : word) {
        if (Byte(c) >= 0x80 || Byte(c) < 0x20 || Byte(c) == 0x7F)
            return true;
    }
    const std::size_t start = word.find("=?");
    return start != std::string_view::npos && word.find("?=", start + 2) != std::string_view::npos;
}

std::size_t CharLength(std::string_view text, std::size_t at) {
    if (Byte(text[at]) < 0x80)
        return 1;
    const std::size_t length = Utf8CharLength(text, at);
    return length == 0 ? 1 : length;
}

// Builds the folded value piece by piece, keeping count of the current line.
class Layout {
public:
    explicit Layout(std::size_t headerNameLength) : line_(headerNameLength + 2) {}

    // A word as it is, after the blanks that preceded it; a fold goes before
    // the blanks when the line would grow too long.
    void AddPlain(std::string_view blanks, std::string_view word) {
        const std::size_t width = blanks.size() + word.size();
        if (line_ + width > MaxEncodedLine && CanFold(blanks))
            Fold();
        out_ += blanks;
        out_ += word;
        line_ += width;
    }

    // Text as encoded words after the blanks that preceded it; between two
    // encoded words of the text goes a single space.
    void AddEncoded(std::string_view blanks, std::string_view text) {
        std::size_t qCost = 0;
        for (char c : text)
            qCost += QCost(c);
        // Q where it is not much longer: most of it stays readable.
        const bool runQ = qCost <= BCost(text.size()) + BCost(text.size()) / 4;
        std::string_view separator = blanks;
        std::size_t at = 0;
        while (at < text.size()) {
            bool useQ = runQ;
            std::size_t taken = Piece(text, at, Room(separator), useQ);
            if ((taken == 0 || (at + taken < text.size() && Room(separator) < SmallestPayload)) &&
                CanFold(separator)) {
                Fold();
                useQ = runQ;
                taken = Piece(text, at, Room(separator), useQ);
            }
            if (taken == 0) { // no fold possible here: the line grows long
                useQ = runQ;
                taken = Piece(text, at, MaxPayload, useQ);
            }
            out_ += separator;
            const std::size_t before = out_.size();
            out_ += useQ ? QPrefix : BPrefix;
            if (useQ)
                AppendQ(out_, text.substr(at, taken));
            else
                AppendB(out_, text.substr(at, taken));
            out_ += Suffix;
            line_ += separator.size() + out_.size() - before;
            at += taken;
            separator = " ";
        }
    }

    std::string Take() { return std::move(out_); }

private:
    // Only at blanks, and never before the value's first word.
    bool CanFold(std::string_view blanks) const { return !blanks.empty() && !out_.empty(); }

    void Fold() {
        out_ += "\r\n";
        line_ = 0;
    }

    // The payload an encoded word may have on this line.
    std::size_t Room(std::string_view separator) const {
        const std::size_t used = line_ + separator.size() + WordOverhead;
        return used >= MaxEncodedLine ? 0 : std::min(MaxEncodedLine - used, MaxPayload);
    }

    // The bytes of whole characters from at whose encoding fits in room;
    // unpadded: the most of them that make whole three-byte groups.
    static std::size_t Fitting(std::string_view text, std::size_t at, std::size_t room, bool useQ,
                               std::size_t& unpadded) {
        std::size_t taken = 0;
        std::size_t cost = 0;
        unpadded = 0;
        while (at + taken < text.size()) {
            const std::size_t length = CharLength(text, at + taken);
            std::size_t next = 0;
            if (useQ) {
                next = cost;
                for (std::size_t i = 0; i < length; ++i)
                    next += QCost(text[at + taken + i]);
            } else {
                next = BCost(taken + length);
            }
            if (next > room)
                break;
            cost = next;
            taken += length;
            if (taken % 3 == 0)
                unpadded = taken;
        }
        return taken;
    }

    // The next encoded word's bytes. A B word the text goes on after must
    // need no "=" padding: some decoders join neighbouring words before
    // decoding them and stop at the first padding. Where whole characters
    // cannot give that, the word is Q-encoded (useQ becomes true).
    static std::size_t Piece(std::string_view text, std::size_t at, std::size_t room, bool& useQ) {
        std::size_t unpadded = 0;
        const std::size_t taken = Fitting(text, at, room, useQ, unpadded);
        if (useQ || at + taken == text.size())
            return taken;
        if (unpadded > 0)
            return unpadded;
        useQ = true;
        return Fitting(text, at, room, true, unpadded);
    }

    std::string out_;
    std::size_t line_;
};

struct Segment {
    std::string_view Blanks; // before the text
    std::string_view Text;
    bool Encoded = false;
};

// Words and the blanks before each; neighbouring words that need encoding
// become one segment with the blanks between them, since a decoder drops the
// white space between two encoded words.
std::vector<Segment> Segments(std::string_view text) {
    std::vector<Segment> segments;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t wordStart = std::min(text.find_first_not_of(" \t", at), text.size());
        const std::size_t wordEnd = std::min(text.find_first_of(" \t", wordStart), text.size());
        const std::string_view blanks = text.substr(at, wordStart - at);
        const std::string_view word = text.substr(wordStart, wordEnd - wordStart);
        const bool encoded = !word.empty() && NeedsEncoding(word);
        if (encoded && !segments.empty() && segments.back().Encoded) {
            Segment& last = segments.back();
            last.Text = text.substr(last.Text.data() - text.data(),
                                    wordEnd - (last.Text.data() - text.data()));
        } else {
            segments.push_back({blanks, word, encoded});
        }
        at = wordEnd;
    }
    return segments;
}

bool AnyEncoded(const std::vector<Segment>& segments) {
    for (const Segment& segment : segments) {
        if (segment.Encoded)
            return true;
    }
    return false;
}

std::string Utf8Text(std::string_view text) {
    return IsAscii(text) ? std::string(text) : Utf8OrWindows1252(text);
}

// Characters RFC 5322 reserves, which a phrase can only carry inside quotes.
bool NeedsQuotes(std::string_view name) {
    return name.find_first_of("()<>[]:;@\\,.\"") != std::string_view::npos;
}

std::string Quoted(std::string_view name) {
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

} // namespace

std::string EncodeHeaderText(std::string_view utf8, std::size_t headerNameLength) {
    const std::string text = Utf8Text(utf8);
    const std::vector<Segment> segments = Segments(text);
    if (!AnyEncoded(segments))
        return text;
    Layout layout(headerNameLength);
    for (const Segment& segment : segments) {
        if (segment.Encoded)
            layout.AddEncoded(segment.Blanks, segment.Text);
        else
            layout.AddPlain(segment.Blanks, segment.Text);
    }
    return layout.Take();
}

std::string EncodeFromValue(std::string_view displayNameUtf8, std::string_view address) {
    std::string_view name = displayNameUtf8;
    while (!name.empty() && IsBlank(name.front()))
        name.remove_prefix(1);
    while (!name.empty() && IsBlank(name.back()))
        name.remove_suffix(1);
    if (name.empty())
        return std::string(address);
    const std::string angleAddress = "<" + std::string(address) + ">";
    const std::string text = Utf8Text(name);
    if (!NeedsEncoding(text)) {
        // Not folded: the value was ASCII before and stays the same.
        return (NeedsQuotes(text) ? Quoted(text) : text) + " " + angleAddress;
    }
    Layout layout(std::string_view("From").size());
    layout.AddEncoded("", text);
    layout.AddPlain(" ", angleAddress);
    return layout.Take();
}

} // namespace mime
