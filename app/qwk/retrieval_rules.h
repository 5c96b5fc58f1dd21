// The decisions of the Get Articles run that need no server: where a group's
// fetching starts, which articles count as our own, and how an article is
// cut into QWK messages.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace qwk {

// The first article number to fetch for a group whose server range is
// first..last, given its LastRead (-N: the newest N only). Greater than last
// when there is nothing new. Wide, so the ends of the 32-bit range cannot
// overflow.
std::int64_t FirstArticleToFetch(std::int32_t first, std::int32_t last, std::int32_t lastRead);

// Whether a refused ARTICLE means the article is gone for good (423 no such
// number, 430 no such message), so its number is consumed. Any other refusal
// (access denied, credentials, a server outage) may pass, so the article is
// asked for again by the next run.
constexpr bool ArticleIsGone(int replyCode) {
    return replyCode == 423 || replyCode == 430;
}

// An article counts as posted from here when its Organization header equals
// the configured one, ignoring ASCII case. With no Organization configured
// nothing counts as own: most articles carry no Organization header at all.
bool IsOwnArticle(const std::string& organizationHeader, const std::string& organizationSetting);

// The longest line a message carries; a longer one goes on over as many
// lines as it needs, so nothing is lost and no reader meets a line of
// megabytes.
inline constexpr std::size_t MaxMessageLine = 4096;
// The most text one message carries, far inside what its 6-digit block
// count can describe; more goes on in the next message.
inline constexpr std::size_t MaxMessageText = 4 * 1024 * 1024;

// Cuts an article's text (lines ended by CR LF, ending at its first NUL) into
// messages of at most linesPerMessage lines, each line stripped of trailing
// bytes 32 and below, wrapped at MaxMessageLine and ended by the QWK line
// end. A limit of 0 or less keeps the article in one message unless it
// outgrows MaxMessageText; an empty text gives none. emit receives
// each message's lines and whether another message of the article follows.
// scratch is reused between calls so a run does not allocate per article.
void SplitIntoMessages(const std::string& articleText, std::int32_t linesPerMessage,
                       std::string& scratch,
                       const std::function<void(std::string_view lines, bool moreFollows)>& emit);

} // namespace qwk
