#include "qwk/retrieval_rules.h"

#include "ascii.h"
#include "qwk_format/qwk_header.h"
#include "vxutil.h"

#include <algorithm>

namespace qwk {
namespace {

void RemoveTrailingControlAndSpace(std::string& line) {
    while (!line.empty() && static_cast<unsigned char>(line.back()) <= 32)
        line.pop_back();
}

} // namespace

std::int64_t FirstArticleToFetch(std::int32_t first, std::int32_t last, std::int32_t lastRead) {
    const std::int64_t afterRead = lastRead >= 0 ? std::int64_t{lastRead} + 1
                                                 : std::int64_t{last} + std::int64_t{lastRead} + 1;
    return std::max<std::int64_t>(first, afterRead);
}

bool IsOwnArticle(const std::string& organizationHeader, const std::string& organizationSetting) {
    if (organizationSetting.empty())
        return false;
    return ascii::Upper(organizationHeader) == ascii::Upper(organizationSetting);
}

void SplitIntoMessages(const std::string& articleText, std::int32_t linesPerMessage,
                       std::string& scratch,
                       const std::function<void(std::string_view lines, bool moreFollows)>& emit) {
    const char* cursor = articleText.c_str();
    scratch.clear();
    std::int32_t lineCount = 0;
    while (*cursor != '\0') {
        std::string line = VxGetNextLine(cursor);
        RemoveTrailingControlAndSpace(line);
        std::string_view rest(line);
        do {
            std::size_t cut = std::min(rest.size(), MaxMessageLine);
            // Not inside a UTF-8 character: back off over its continuation
            // bytes (in a single-byte set that only shortens the line).
            for (int i = 0; i < 3 && cut < rest.size() && cut > 1 &&
                            (static_cast<unsigned char>(rest[cut]) & 0xC0) == 0x80;
                 ++i)
                --cut;
            const std::string_view piece = rest.substr(0, cut);
            rest.remove_prefix(piece.size());
            scratch.append(piece).push_back(LineEnd);
            if (++lineCount == linesPerMessage || scratch.size() >= MaxMessageText) {
                emit(scratch, !rest.empty() || *cursor != '\0');
                scratch.clear();
                lineCount = 0;
            }
        } while (!rest.empty());
    }
    if (lineCount > 0)
        emit(scratch, false);
}

} // namespace qwk
