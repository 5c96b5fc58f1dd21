#include "qwk_format/references.h"

#include <vector>

namespace {

// White space and control characters end an identifier: none may be inside.
bool EndsIdentifier(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= ' ' || byte == 0x7F;
}

// Each "<...>" without white space inside; the rest is what folding,
// comments or a damaged header left between them.
std::vector<std::string_view> MessageIds(std::string_view text) {
    std::vector<std::string_view> ids;
    std::size_t at = 0;
    while ((at = text.find('<', at)) != std::string_view::npos) {
        std::size_t end = at + 1;
        while (end < text.size() && text[end] != '>' && text[end] != '<' &&
               !EndsIdentifier(text[end]))
            ++end;
        if (end < text.size() && text[end] == '>' && end > at + 1) {
            ids.push_back(text.substr(at, end + 1 - at));
            ++end;
        }
        at = end;
    }
    return ids;
}

std::string Joined(const std::vector<std::string_view>& ids, std::size_t maxLength) {
    if (ids.empty())
        return {};
    // Keeps the newest identifiers that fit after the first.
    const std::string_view first = ids.front();
    std::size_t length = first.size();
    std::size_t keptFrom = ids.size();
    while (keptFrom > 1 && length + 1 + ids[keptFrom - 1].size() <= maxLength) {
        --keptFrom;
        length += 1 + ids[keptFrom].size();
    }
    std::string joined;
    if (keptFrom == ids.size() && ids.size() > 1) {
        // Not even the parent fits beside the first: the parent is what a
        // reader threads by, so it stays.
        joined = ids.back();
        return joined;
    }
    joined.reserve(length);
    joined = first;
    for (std::size_t i = keptFrom; i < ids.size(); ++i) {
        joined += ' ';
        joined += ids[i];
    }
    return joined;
}

} // namespace

std::string LimitReferences(std::string_view references, std::size_t maxLength) {
    return Joined(MessageIds(references), maxLength);
}

std::string ReplyReferences(std::string_view parentReferences, std::string_view parentMessageId) {
    std::vector<std::string_view> ids = MessageIds(parentReferences);
    const std::vector<std::string_view> parent = MessageIds(parentMessageId);
    if (!parent.empty() && (ids.empty() || ids.back() != parent.front()))
        ids.push_back(parent.front());
    return Joined(ids, MaxReferencesValue);
}
