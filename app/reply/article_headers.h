// The header lines of an article made from a reply: who sent it, where it
// goes, what it is about, the user's organisation and a message identifier.
#pragma once

#include "qwk_format/qwk_header.h"

#include <QDateTime>

#include <cstdint>
#include <string>

class TDocHeaders;

// The From value: the reply's sender as the reader stored it. A bare name
// (no "@") gets an address made from it when a mail domain is configured,
// "John Doe" becoming "John Doe <John.Doe@domain>".
std::string ArticleFrom(const std::string& senderField, const std::string& domain);

// The local date and time as a day count since 30 December 1899, the time
// of day as the fraction.
double DayCount(const QDateTime& localTime);

// "<day count with two decimals>.<counter>.<random>@zandrel[.domain]>". The
// day count always uses a decimal point: a locale's comma would make the
// identifier invalid and the server would refuse every article.
std::string MakeMessageId(double dayCount, std::int32_t postingCounter, std::int32_t random,
                          const std::string& domain);

// What the article's headers are made from besides the reply itself.
struct ArticleIdentity {
    std::string Domain;
    std::string Organization;
};

// Replaces headers with From, Newsgroups, Subject, Organization (only when
// set) and Message-ID, in that order, from the reply's header fields as they
// are.
void ComposeArticleHeaders(TDocHeaders& headers, const qwk::Block& replyHeader,
                           const std::string& newsgroup, const ArticleIdentity& identity,
                           const std::string& messageId);

// A reply made ready for the wire: its full sender and subject and its text
// in UTF-8, and the thread it continues.
struct ReplyArticle {
    std::string Sender;     // as the reader gave it: a name, or an address
    std::string Subject;
    std::string References; // empty: the reply starts a thread
    std::string Body;       // CR LF lines
};

// The version User-Agent names.
inline constexpr const char* ProgramVersion = "1.0";

// As above, then References (when the reply continues a thread) and, when
// anything is not ASCII, MIME-Version, Content-Type (UTF-8) and
// Content-Transfer-Encoding (8bit, or quoted-printable when a line would pass
// 998 octets; the body is then encoded), then User-Agent. A non-ASCII
// Subject or name goes out as RFC 2047 encoded words. Returns the body as it
// goes out.
std::string ComposeReplyArticle(TDocHeaders& headers, const ReplyArticle& reply,
                                const std::string& newsgroup, const ArticleIdentity& identity,
                                const std::string& messageId);
