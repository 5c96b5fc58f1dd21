#include "mime/article_decoder.h"

#include "ascii.h"
#include "mime/readable_text.h"
#include "mime/text_charset.h"

#include <gmime/gmime.h>

#include <memory>
#include <optional>

namespace mime {

namespace {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T> using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GFree {
    void operator()(gpointer memory) const { g_free(memory); }
};
using GChars = std::unique_ptr<char, GFree>;

// GMime is set up on first use, once for all threads; a fetch run of plain
// articles never needs it.
GMimeParserOptions* ParserOptions() {
    static GMimeParserOptions* const options = [] {
        g_mime_init();
        GMimeParserOptions* created = g_mime_parser_options_new();
        // Raw 8-bit header text, as in Utf8OrWindows1252.
        const char* fallback[] = {"utf-8", "windows-1252", nullptr};
        g_mime_parser_options_set_fallback_charsets(created, fallback);
        return created;
    }();
    return options;
}

const HeaderField* FindField(const std::vector<HeaderField>& headers, std::string_view name) {
    for (const HeaderField& field : headers) {
        if (ascii::EqualIgnoringCase(field.Name, name))
            return &field;
    }
    return nullptr;
}

bool IsMimeField(std::string_view name) {
    return ascii::StartsWithIgnoringCase(name, "Content-") ||
           ascii::EqualIgnoringCase(name, "MIME-Version");
}

bool IdentityTransferEncoding(const HeaderField* field) {
    if (field == nullptr)
        return true;
    const std::string_view value = ascii::Trimmed(field->Value);
    return ascii::EqualIgnoringCase(value, "7bit") || ascii::EqualIgnoringCase(value, "8bit") ||
           ascii::EqualIgnoringCase(value, "binary");
}

// The charset of a Content-Type that says nothing but "text/plain" and
// perhaps a charset ("" for none); nothing when the value has anything more
// (a format, a comment, another type) and must go through the parser.
std::optional<std::string_view> PlainTextCharset(std::string_view value) {
    if (value.find_first_of("(\\") != std::string_view::npos)
        return std::nullopt;
    std::size_t semicolon = value.find(';');
    if (!ascii::EqualIgnoringCase(ascii::Trimmed(value.substr(0, semicolon)), "text/plain"))
        return std::nullopt;
    std::string_view charset;
    while (semicolon != std::string_view::npos) {
        const std::size_t start = semicolon + 1;
        semicolon = value.find(';', start);
        const std::string_view parameter = ascii::Trimmed(value.substr(start, semicolon - start));
        if (parameter.empty())
            continue;
        const std::size_t equals = parameter.find('=');
        if (equals == std::string_view::npos || !charset.empty() ||
            !ascii::EqualIgnoringCase(ascii::Trimmed(parameter.substr(0, equals)), "charset"))
            return std::nullopt;
        charset = ascii::Trimmed(parameter.substr(equals + 1));
        if (charset.size() >= 2 && charset.front() == '"' && charset.back() == '"')
            charset = charset.substr(1, charset.size() - 2);
        if (charset.empty() || charset.find('"') != std::string_view::npos)
            return std::nullopt;
    }
    return charset;
}

std::string DecodeHeaderText(std::string_view value) {
    if (value.find("=?") == std::string_view::npos)
        return IsAscii(value) ? std::string(value) : Utf8OrWindows1252(value);
    const std::string text(value);
    GChars decoded(g_mime_utils_header_decode_text(ParserOptions(), text.c_str()));
    if (!decoded)
        return Utf8OrWindows1252(value);
    // GMime's result is UTF-8; this keeps that a promise.
    return Utf8OrWindows1252(decoded.get());
}

bool IsType(GMimeObject* object, const char* type, const char* subtype) {
    GMimeContentType* contentType = g_mime_object_get_content_type(object);
    return contentType != nullptr && g_mime_content_type_is_type(contentType, type, subtype);
}

bool IsInline(GMimeObject* object) {
    GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(object);
    return disposition == nullptr || !g_mime_content_disposition_is_attachment(disposition);
}

bool IsInlineText(GMimeObject* object, const char* subtype) {
    return GMIME_IS_PART(object) && IsType(object, "text", subtype) && IsInline(object);
}

bool ContainsPlainText(GMimeObject* object) {
    if (IsInlineText(object, "plain"))
        return true;
    if (!GMIME_IS_MULTIPART(object))
        return false;
    GMimeMultipart* multipart = GMIME_MULTIPART(object);
    for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i) {
        if (ContainsPlainText(g_mime_multipart_get_part(multipart, i)))
            return true;
    }
    return false;
}

// The part's content with its transfer encoding undone.
std::string DecodedContent(GMimePart* part) {
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (content == nullptr)
        return {};
    GObjectPtr<GMimeStream> memory(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, memory.get());
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory.get()));
    return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

std::size_t DecodedSize(GMimeObject* object) {
    GObjectPtr<GMimeStream> counter(g_mime_stream_null_new());
    if (GMIME_IS_PART(object)) {
        if (GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(object)))
            g_mime_data_wrapper_write_to_stream(content, counter.get());
    } else if (GMIME_IS_MESSAGE_PART(object)) {
        if (GMimeMessage* message = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object)))
            g_mime_object_write_to_stream(GMIME_OBJECT(message), nullptr, counter.get());
    } else {
        g_mime_object_write_to_stream(object, nullptr, counter.get());
    }
    return GMIME_STREAM_NULL(counter.get())->written;
}

// A name or type from the article, on one line of valid UTF-8.
std::string OneLine(const char* text) {
    std::string line = Utf8OrWindows1252(text);
    for (char& c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    }
    return line;
}

std::string AttachmentLine(GMimeObject* object) {
    const char* filename = g_mime_object_get_content_disposition_parameter(object, "filename");
    if (filename == nullptr || *filename == '\0')
        filename = g_mime_object_get_content_type_parameter(object, "name");
    // A forwarded article is known by its subject.
    if ((filename == nullptr || *filename == '\0') && GMIME_IS_MESSAGE_PART(object)) {
        if (GMimeMessage* message = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object)))
            filename = g_mime_message_get_subject(message);
    }
    std::string type = "application/octet-stream";
    if (GMimeContentType* contentType = g_mime_object_get_content_type(object)) {
        GChars mimeType(g_mime_content_type_get_mime_type(contentType));
        if (mimeType)
            type = OneLine(mimeType.get());
    }
    for (char& c : type)
        c = ascii::Lower(c);
    const std::size_t size = DecodedSize(object);
    return "[Attachment: " +
           (filename != nullptr && *filename != '\0' ? OneLine(filename) : "unnamed") + ", " +
           type + ", " + std::to_string(size) + (size == 1 ? " byte" : " bytes") +
           ", not included]\r\n";
}

bool ParameterIs(GMimeObject* object, const char* name, std::string_view expected) {
    const char* value = g_mime_object_get_content_type_parameter(object, name);
    return value != nullptr && ascii::EqualIgnoringCase(ascii::Trimmed(value), expected);
}

std::string PartText(GMimePart* part, bool html) {
    GMimeObject* object = GMIME_OBJECT(part);
    const char* charset = g_mime_object_get_content_type_parameter(object, "charset");
    const std::string text =
        TextToUtf8(DecodedContent(part), charset ? ascii::Trimmed(charset) : "");
    std::string lines;
    if (html)
        lines = WithCrLf(HtmlToText(text));
    else if (ParameterIs(object, "format", "flowed"))
        lines = WithCrLf(UnflowText(text, ParameterIs(object, "delsp", "yes")));
    else
        lines = WithCrLf(text);
    if (!lines.empty() && lines.back() != '\n')
        lines.append("\r\n");
    return lines;
}

// The readable pieces of a MIME tree, in order.
class BodyRenderer {
public:
    void Render(GMimeObject* object, bool htmlAsText) {
        if (GMIME_IS_MULTIPART(object)) {
            GMimeMultipart* multipart = GMIME_MULTIPART(object);
            if (IsType(object, "multipart", "alternative")) {
                RenderAlternative(multipart);
                return;
            }
            for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i)
                Render(g_mime_multipart_get_part(multipart, i), htmlAsText);
            return;
        }
        if (IsInlineText(object, "plain")) {
            Add(PartText(GMIME_PART(object), false));
        } else if (htmlAsText && IsInlineText(object, "html")) {
            Add(PartText(GMIME_PART(object), true));
        } else {
            Add(AttachmentLine(object));
        }
    }

    // One blank line between pieces.
    std::string Joined() const {
        std::string body;
        for (const std::string& piece : pieces_) {
            if (!body.empty())
                body.append("\r\n");
            body.append(piece);
        }
        return body;
    }

private:
    // The plain text, or else the best the alternatives offer.
    void RenderAlternative(GMimeMultipart* multipart) {
        const int count = g_mime_multipart_get_count(multipart);
        auto first = [&](auto&& accept) -> GMimeObject* {
            for (int i = 0; i < count; ++i) {
                GMimeObject* part = g_mime_multipart_get_part(multipart, i);
                if (accept(part))
                    return part;
            }
            return nullptr;
        };
        GMimeObject* chosen = first([](GMimeObject* o) { return IsInlineText(o, "plain"); });
        if (!chosen) {
            chosen =
                first([](GMimeObject* o) { return GMIME_IS_MULTIPART(o) && ContainsPlainText(o); });
        }
        if (!chosen)
            chosen = first([](GMimeObject* o) { return IsInlineText(o, "html"); });
        if (!chosen)
            chosen = first([](GMimeObject* o) { return GMIME_IS_MULTIPART(o); });
        if (!chosen && count > 0)
            chosen = g_mime_multipart_get_part(multipart, count - 1);
        if (chosen)
            Render(chosen, true);
    }

    void Add(std::string piece) {
        if (!piece.empty())
            pieces_.push_back(std::move(piece));
    }

    std::vector<std::string> pieces_;
};

std::string MimeBody(const std::vector<HeaderField>& headers, std::string_view body) {
    std::string entity;
    entity.reserve(body.size() + 256);
    for (const HeaderField& field : headers) {
        if (!IsMimeField(field.Name))
            continue;
        entity.append(field.Name).append(": ");
        // A stray line break would end the header block early.
        for (char c : field.Value)
            entity.push_back(c == '\r' || c == '\n' ? ' ' : c);
        entity.append("\r\n");
    }
    entity.append("\r\n").append(body);

    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(entity.data(), entity.size()));
    GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    GObjectPtr<GMimeObject> root(g_mime_parser_construct_part(parser.get(), ParserOptions()));
    if (!root)
        return {};
    BodyRenderer renderer;
    renderer.Render(root.get(), !ContainsPlainText(root.get()));
    return renderer.Joined();
}

bool HasVisibleText(std::string_view text) {
    return text.find_first_not_of(" \t\r\n") != std::string_view::npos;
}

} // namespace

DecodedArticle DecodeArticle(const std::vector<HeaderField>& headers, std::string_view body) {
    DecodedArticle article;
    if (const HeaderField* from = FindField(headers, "From"))
        article.From = DecodeHeaderText(from->Value);
    if (const HeaderField* subject = FindField(headers, "Subject"))
        article.Subject = DecodeHeaderText(subject->Value);

    const HeaderField* contentType = nullptr;
    int contentTypes = 0;
    for (const HeaderField& field : headers) {
        if (ascii::EqualIgnoringCase(field.Name, "Content-Type")) {
            contentType = &field;
            ++contentTypes;
        }
    }
    // Most articles: no MIME, or MIME that only names the text's charset.
    // Their body needs no parser; line ends are left exactly as received.
    if (IdentityTransferEncoding(FindField(headers, "Content-Transfer-Encoding")) &&
        contentTypes <= 1) {
        const std::optional<std::string_view> charset = contentType == nullptr
                                                            ? std::optional<std::string_view>("")
                                                            : PlainTextCharset(contentType->Value);
        if (charset) {
            article.Body = TextToUtf8(body, *charset);
            return article;
        }
    }

    article.Body = MimeBody(headers, body);
    if (!HasVisibleText(article.Body) && HasVisibleText(body))
        article.Body = WithCrLf(Utf8OrWindows1252(body));
    return article;
}

} // namespace mime
