#include "mime/readable_text.h"

#include "ascii.h"
#include "mime/text_charset.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace mime {

namespace {

// The Latin-1 entities, in code point order from U+00A0.
constexpr const char* Latin1EntityNames[] = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",
    "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn",
    "sup2",   "sup3",   "acute",  "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",
    "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave", "Aacute", "Acirc",  "Atilde",
    "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave",
    "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde",
    "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",
    "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",   "eth",
    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave",
    "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml"};
static_assert(std::size(Latin1EntityNames) == 96);

struct NamedEntity {
    const char* Name;
    char32_t CodePoint;
};

// The others mail programs write.
constexpr NamedEntity OtherEntities[] = {
    {"amp", '&'},       {"lt", '<'},        {"gt", '>'},        {"quot", '"'},
    {"apos", '\''},     {"OElig", 0x152},   {"oelig", 0x153},   {"Scaron", 0x160},
    {"scaron", 0x161},  {"Yuml", 0x178},    {"fnof", 0x192},    {"circ", 0x2C6},
    {"tilde", 0x2DC},   {"pi", 0x3C0},      {"ensp", 0x2002},   {"emsp", 0x2003},
    {"thinsp", 0x2009}, {"zwnj", 0x200C},   {"zwj", 0x200D},    {"lrm", 0x200E},
    {"rlm", 0x200F},    {"ndash", 0x2013},  {"mdash", 0x2014},  {"lsquo", 0x2018},
    {"rsquo", 0x2019},  {"sbquo", 0x201A},  {"ldquo", 0x201C},  {"rdquo", 0x201D},
    {"bdquo", 0x201E},  {"dagger", 0x2020}, {"Dagger", 0x2021}, {"bull", 0x2022},
    {"hellip", 0x2026}, {"permil", 0x2030}, {"prime", 0x2032},  {"lsaquo", 0x2039},
    {"rsaquo", 0x203A}, {"euro", 0x20AC},   {"trade", 0x2122},  {"larr", 0x2190},
    {"rarr", 0x2192},   {"minus", 0x2212},  {"le", 0x2264},     {"ge", 0x2265},
    {"ne", 0x2260},     {"infin", 0x221E},
};

// The code point of "&name" without its "&" and ";", or 0.
char32_t NamedEntityCodePoint(std::string_view name) {
    for (std::size_t i = 0; i < std::size(Latin1EntityNames); ++i) {
        if (name == Latin1EntityNames[i])
            return static_cast<char32_t>(0xA0 + i);
    }
    for (const NamedEntity& entity : OtherEntities) {
        if (name == entity.Name)
            return entity.CodePoint;
    }
    return 0;
}

bool IsAsciiAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsHtmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// Decodes the entity at text[at] (an '&') into out and returns the bytes it
// took, or 0 when there is none and the '&' is a character.
std::size_t DecodeEntity(std::string_view text, std::size_t at, std::string& out) {
    std::size_t i = at + 1;
    char32_t codePoint = 0;
    if (i < text.size() && text[i] == '#') {
        ++i;
        const bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
        if (hex)
            ++i;
        const std::size_t digitsStart = i;
        std::uint32_t value = 0;
        while (i < text.size() && i - digitsStart < 8) {
            const char c = ascii::Lower(text[i]);
            int digit;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (hex && c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else
                break;
            value = value * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
            ++i;
        }
        if (i == digitsStart)
            return 0;
        if (value >= 0x80 && value <= 0x9F) {
            // Pages written on Windows number its quotes and dashes this way.
            out.append(Windows1252Table().ToUtf8[value]);
        } else if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, value);
        }
    } else {
        const std::size_t nameStart = i;
        while (i < text.size() && IsAsciiAlnum(text[i]) && i - nameStart < 10)
            ++i;
        codePoint = NamedEntityCodePoint(text.substr(nameStart, i - nameStart));
        if (codePoint == 0)
            return 0;
        // A no-break space is a space to a reader of plain text.
        AppendUtf8(out, codePoint == 0xA0 ? U' ' : codePoint);
    }
    if (i < text.size() && text[i] == ';')
        ++i;
    return i - at;
}

std::string DecodeEntities(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '&') {
            if (const std::size_t taken = DecodeEntity(text, i, out)) {
                i += taken;
                continue;
            }
        }
        out.push_back(text[i++]);
    }
    return out;
}

bool OneOf(std::string_view name, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

struct Tag {
    std::string Name; // lower case
    bool Closing = false;
    std::string Href;
};

// Reads the tag at html[at] (a '<' followed by a letter or '/'); returns the
// position after its '>'.
std::size_t ReadTag(std::string_view html, std::size_t at, Tag& tag) {
    std::size_t i = at + 1;
    if (i < html.size() && html[i] == '/') {
        tag.Closing = true;
        ++i;
    }
    while (i < html.size() && (IsAsciiAlnum(html[i]) || html[i] == '-' || html[i] == ':'))
        tag.Name.push_back(ascii::Lower(html[i++]));
    // Attributes: only a link's address is kept.
    while (i < html.size() && html[i] != '>') {
        if (IsHtmlSpace(html[i]) || html[i] == '/') {
            ++i;
            continue;
        }
        const std::size_t nameStart = i;
        while (i < html.size() && !IsHtmlSpace(html[i]) && html[i] != '=' && html[i] != '>')
            ++i;
        const std::string_view name = html.substr(nameStart, i - nameStart);
        while (i < html.size() && IsHtmlSpace(html[i]))
            ++i;
        if (i >= html.size() || html[i] != '=')
            continue;
        ++i;
        while (i < html.size() && IsHtmlSpace(html[i]))
            ++i;
        std::string_view value;
        if (i < html.size() && (html[i] == '"' || html[i] == '\'')) {
            const char quote = html[i++];
            const std::size_t end = std::min(html.find(quote, i), html.size());
            value = html.substr(i, end - i);
            i = end < html.size() ? end + 1 : end;
        } else {
            const std::size_t valueStart = i;
            while (i < html.size() && !IsHtmlSpace(html[i]) && html[i] != '>')
                ++i;
            value = html.substr(valueStart, i - valueStart);
        }
        if (tag.Name == "a" && ascii::EqualIgnoringCase(name, "href"))
            tag.Href = DecodeEntities(value);
    }
    return i < html.size() ? i + 1 : i;
}

// Builds the text line by line: whitespace collapses to one space, blocks
// end lines, and no line ends in a space.
class TextBuilder {
public:
    void Text(std::string_view text, bool preformatted) {
        for (char c : text) {
            if (preformatted) {
                if (c == '\r')
                    continue;
                if (c == '\n') {
                    NewLine();
                } else {
                    out_.push_back(c);
                }
                continue;
            }
            if (IsHtmlSpace(c)) {
                pendingSpace_ = true;
                continue;
            }
            if (pendingSpace_ && !out_.empty() && out_.back() != '\n' && out_.back() != ' ')
                out_.push_back(' ');
            pendingSpace_ = false;
            out_.push_back(c);
        }
    }

    // At least `count` line ends (2: a blank line) before the next text.
    void Break(int count) {
        if (out_.empty())
            return;
        TrimTrailingSpaces();
        int present = 0;
        for (auto it = out_.rbegin(); it != out_.rend() && *it == '\n' && present < count; ++it)
            ++present;
        for (; present < count; ++present)
            out_.push_back('\n');
        pendingSpace_ = false;
    }

    void NewLine() {
        TrimTrailingSpaces();
        out_.push_back('\n');
        pendingSpace_ = false;
    }

    std::string_view Current() const { return out_; }

    std::string Finish() {
        TrimTrailingSpaces();
        const std::size_t first = out_.find_first_not_of('\n');
        if (first == std::string::npos)
            return {};
        out_.erase(0, first);
        while (!out_.empty() && out_.back() == '\n')
            out_.pop_back();
        // Runs of <br> leave more than one blank line; one is enough.
        std::string text;
        int newlines = 0;
        for (char c : out_) {
            newlines = c == '\n' ? newlines + 1 : 0;
            if (newlines <= 2)
                text.push_back(c);
        }
        text.push_back('\n');
        return text;
    }

private:
    void TrimTrailingSpaces() {
        while (!out_.empty() && out_.back() == ' ')
            out_.pop_back();
    }

    std::string out_;
    bool pendingSpace_ = false;
};

} // namespace

std::string HtmlToText(std::string_view html) {
    TextBuilder text;
    int preformatted = 0;
    std::vector<std::pair<std::string, std::size_t>> links; // address, where its text starts
    for (std::size_t i = 0; i < html.size();) {
        const char c = html[i];
        if (c != '<' || i + 1 >= html.size()) {
            const std::size_t next = std::min(html.find('<', i + 1), html.size());
            text.Text(DecodeEntities(html.substr(i, next - i)), preformatted > 0);
            i = next;
            continue;
        }
        if (html.compare(i, 4, "<!--") == 0) {
            const std::size_t end = html.find("-->", i + 4);
            i = end == std::string_view::npos ? html.size() : end + 3;
            continue;
        }
        const char after = html[i + 1];
        if (after == '!' || after == '?') {
            const std::size_t end = html.find('>', i);
            i = end == std::string_view::npos ? html.size() : end + 1;
            continue;
        }
        if (!(after == '/' || (after >= 'a' && after <= 'z') || (after >= 'A' && after <= 'Z'))) {
            text.Text("<", preformatted > 0);
            ++i;
            continue;
        }
        Tag tag;
        i = ReadTag(html, i, tag);
        const std::string& name = tag.Name;
        if (!tag.Closing && OneOf(name, {"script", "style", "head", "title", "template"})) {
            // Their content is not text; skip to the matching end tag.
            const std::string end = "</" + name;
            std::size_t at = i;
            for (;;) {
                at = html.find("</", at);
                if (at == std::string_view::npos ||
                    ascii::StartsWithIgnoringCase(html.substr(at), end))
                    break;
                at += 2;
            }
            i = at == std::string_view::npos ? html.size()
                                             : std::min(html.find('>', at), html.size() - 1) + 1;
            continue;
        }
        if (name == "br") {
            text.NewLine();
        } else if (name == "pre") {
            text.Break(2);
            preformatted = std::max(0, preformatted + (tag.Closing ? -1 : 1));
        } else if (OneOf(name, {"p", "h1", "h2", "h3", "h4", "h5", "h6", "ul", "ol", "dl", "table",
                                "blockquote", "hr", "address", "figure"})) {
            text.Break(2);
        } else if (OneOf(name, {"div", "tr", "dt", "dd", "section", "article", "header", "footer",
                                "nav", "main", "center", "form", "caption"})) {
            text.Break(1);
        } else if (name == "li") {
            text.Break(1);
            if (!tag.Closing)
                text.Text("* ", true);
        } else if (name == "td" || name == "th") {
            if (!tag.Closing)
                text.Text(" ", false);
        } else if (name == "a") {
            if (!tag.Closing) {
                links.emplace_back(tag.Href, text.Current().size());
            } else if (!links.empty()) {
                auto [href, start] = links.back();
                links.pop_back();
                // The address after the text, unless the text is the address.
                const std::string_view shown =
                    text.Current().substr(std::min(start, text.Current().size()));
                const bool worthShowing = ascii::StartsWithIgnoringCase(href, "http") ||
                                          ascii::StartsWithIgnoringCase(href, "ftp") ||
                                          ascii::StartsWithIgnoringCase(href, "news");
                if (worthShowing && shown.find(href) == std::string_view::npos)
                    text.Text(" <" + href + ">", false);
            }
        }
    }
    return text.Finish();
}

std::string UnflowText(std::string_view text, bool delSp) {
    std::string out;
    std::string paragraph;
    int paragraphDepth = -1; // no paragraph open
    auto flush = [&] {
        if (paragraphDepth < 0)
            return;
        if (paragraphDepth > 0) {
            out.append(static_cast<std::size_t>(paragraphDepth), '>');
            if (!paragraph.empty())
                out.push_back(' ');
        }
        out.append(paragraph);
        out.push_back('\n');
        paragraph.clear();
        paragraphDepth = -1;
    };
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);

        int depth = 0;
        while (!line.empty() && line.front() == '>') {
            ++depth;
            line.remove_prefix(1);
        }
        if (!line.empty() && line.front() == ' ')
            line.remove_prefix(1); // space-stuffing
        const bool signatureSeparator = line == "-- ";
        const bool flowed = !signatureSeparator && !line.empty() && line.back() == ' ';
        if (paragraphDepth >= 0 && (depth != paragraphDepth || signatureSeparator))
            flush(); // a flowed line before a change of depth ends its paragraph
        if (flowed && delSp)
            line.remove_suffix(1);
        paragraphDepth = depth;
        paragraph.append(line);
        if (!flowed)
            flush();
    }
    flush();
    return out;
}

std::string WithCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32 + 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out.append("\r\n");
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            out.append("\r\n");
        } else {
            out.push_back(c);
        }
    }
    return out;
}

} // namespace mime
