// The References header of an article answering another, as RFC 5537
// section 3.4.4 makes it: the parent's References followed by the parent's
// Message-ID.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The longest References value whose header line, "References: " included
// and CR LF not, stays within the 998 octets a header line may have.
inline constexpr std::size_t MaxReferencesValue = 998 - std::string_view("References: ").size();

// The message identifiers of references ("<...>", whatever separates them)
// joined by single spaces. When that is longer than maxLength, identifiers go
// from the oldest end, but the first, the thread's original article, always
// stays; if even the first and the last together are too long, only the last
// stays. Text that is not an identifier is dropped.
std::string LimitReferences(std::string_view references,
                            std::size_t maxLength = MaxReferencesValue);

// The References value for a reply to the article that had these References
// and this Message-ID. An identifier repeated at the end is given once.
std::string ReplyReferences(std::string_view parentReferences, std::string_view parentMessageId);
