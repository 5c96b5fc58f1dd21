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
// set) and Message-ID, in that order.
void ComposeArticleHeaders(TDocHeaders& headers, const qwk::Block& replyHeader,
                           const std::string& newsgroup, const ArticleIdentity& identity,
                           const std::string& messageId);
