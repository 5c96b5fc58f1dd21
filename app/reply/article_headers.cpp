#include "reply/article_headers.h"

#include "nntp_control/tnntp.h"
#include "vxutil.h"

#include <QDate>

#include <charconv>
#include <system_error>

std::string ArticleFrom(const std::string& senderField, const std::string& domain) {
    if (senderField.find('@') != std::string::npos || domain.empty())
        return senderField;
    std::string mailbox = senderField;
    for (char& c : mailbox)
        if (c == ' ')
            c = '.';
    return senderField + " <" + mailbox + "@" + domain + ">";
}

double DayCount(const QDateTime& localTime) {
    static const QDate epoch(1899, 12, 30);
    const qint64 days = epoch.daysTo(localTime.date());
    const double fraction = localTime.time().msecsSinceStartOfDay() / 86'400'000.0;
    return static_cast<double>(days) + fraction;
}

std::string MakeMessageId(double dayCount, std::int32_t postingCounter, std::int32_t random,
                          const std::string& domain) {
    // to_chars ignores the C and Qt locales alike, so the point stays a point.
    char number[64];
    const auto written =
        std::to_chars(number, number + sizeof number, dayCount, std::chars_format::fixed, 2);
    const std::string day =
        written.ec == std::errc() ? std::string(number, written.ptr) : std::string("0.00");
    return "<" + day + "." + std::to_string(postingCounter) + "." + std::to_string(random) +
           "@zandrel" + VxCondString(domain.empty(), "", "." + domain) + ">";
}

void ComposeArticleHeaders(TDocHeaders& headers, const qwk::Block& replyHeader,
                           const std::string& newsgroup, const ArticleIdentity& identity,
                           const std::string& messageId) {
    headers.Clear();
    headers.Add("From",
                ArticleFrom(qwk::HeaderText(replyHeader, qwk::header::From), identity.Domain));
    headers.Add("Newsgroups", newsgroup);
    headers.Add("Subject", qwk::HeaderText(replyHeader, qwk::header::Subject));
    if (!identity.Organization.empty())
        headers.Add("Organization", identity.Organization);
    headers.Add("Message-ID", messageId);
}
