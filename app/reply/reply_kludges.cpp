#include "reply/reply_kludges.h"

#include "ascii.h"
#include "qwk_format/qwk_header.h"
#include "vxutil.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::string_view LineBreak = "\r\n";

// What a reader shows of a subject: the header field's cut, trimmed.
std::string AsField(std::string_view subject) {
    const std::size_t width = std::min(subject.size(), qwk::header::Subject.width);
    return VxCharToStr(subject.data(), static_cast<std::int32_t>(width));
}

bool StartsWithRe(std::string_view subject) {
    return ascii::StartsWithIgnoringCase(subject, "Re:");
}

} // namespace

KludgedReply ReadReplyKludges(std::string_view body, const ReplyFields& fields) {
    KludgedReply result{fields, std::string(body)};
    struct Line {
        std::string_view Name;
        std::string ReplyFields::*Field;
        bool Seen;
        std::string_view Value;
    };
    std::array<Line, 3> lines{Line{"From", &ReplyFields::From, false, {}},
                              Line{"To", &ReplyFields::To, false, {}},
                              Line{"Subject", &ReplyFields::Subject, false, {}}};

    std::size_t at = 0;
    bool any = false;
    for (;;) {
        const std::size_t end = body.find(LineBreak, at);
        const std::string_view line =
            body.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
        const std::size_t colon = line.find(':');
        Line* named = nullptr;
        if (colon != std::string_view::npos) {
            for (Line& candidate : lines) {
                if (!candidate.Seen &&
                    ascii::EqualIgnoringCase(line.substr(0, colon), candidate.Name))
                    named = &candidate;
            }
        }
        if (named == nullptr) {
            // The lines must be followed by one empty line or end the text.
            if (!line.empty())
                return result;
            at = end == std::string_view::npos ? body.size() : end + LineBreak.size();
            break;
        }
        named->Seen = true;
        named->Value = ascii::Trimmed(line.substr(colon + 1));
        any = true;
        if (end == std::string_view::npos) {
            at = body.size();
            break;
        }
        at = end + LineBreak.size();
    }
    if (!any)
        return result;

    bool continuesAField = false;
    for (const Line& line : lines)
        continuesAField =
            continuesAField || (line.Seen && line.Value.starts_with(fields.*line.Field));
    if (!continuesAField)
        return result;
    for (const Line& line : lines) {
        if (line.Seen && line.Value.starts_with(fields.*line.Field))
            result.Fields.*line.Field = std::string(line.Value);
    }
    result.Body = std::string(body.substr(at));
    return result;
}

std::string ReplySubject(std::string_view subject, std::string_view parentSubject) {
    if (parentSubject.empty())
        return std::string(subject);
    const std::string answer = StartsWithRe(parentSubject) ? std::string(parentSubject)
                                                           : "Re: " + std::string(parentSubject);
    if (subject == answer || AsField(answer) == subject)
        return answer;
    if (!StartsWithRe(parentSubject) &&
        (subject == parentSubject || AsField(parentSubject) == subject))
        return answer;
    return std::string(subject);
}
