#include "reply/article_headers.h"

#include "mime/body_encoding.h"
#include "mime/header_encoding.h"
#include "nntp_control/tnntp.h"
#include "vxutil.h"

#include <QDate>

#include <algorithm>
#include <cctype>
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

namespace {

bool IsAsciiText(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// A mailbox made of a name must be ASCII: letters and digits stay, a space
// becomes a dot, the rest goes.
std::string MailboxOf(const std::string& name) {
    std::string mailbox;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == ' ')
            mailbox += '.';
        else if (byte < 0x80 && (std::isalnum(byte) || c == '.' || c == '-' || c == '_'))
            mailbox += c;
    }
    return mailbox.empty() ? std::string("reader") : mailbox;
}

std::string FromValue(const std::string& sender, const std::string& domain) {
    if (IsAsciiText(sender))
        return ArticleFrom(sender, domain);
    if (sender.find('@') != std::string::npos || domain.empty())
        return mime::EncodeHeaderText(sender, 4);
    return mime::EncodeFromValue(sender, MailboxOf(sender) + "@" + domain);
}

bool HasLineLongerThan(std::string_view text, std::size_t limit) {
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::size_t length = end - start;
        if (length > 0 && text[start + length - 1] == '\r')
            --length;
        if (length > limit)
            return true;
        start = end + 1;
    }
    return false;
}

} // namespace

std::string ComposeReplyArticle(TDocHeaders& headers, const ReplyArticle& reply,
                                const std::string& newsgroup, const ArticleIdentity& identity,
                                const std::string& messageId) {
    headers.Clear();
    headers.Add("From", FromValue(reply.Sender, identity.Domain));
    headers.Add("Newsgroups", newsgroup);
    headers.Add("Subject",
                IsAsciiText(reply.Subject) ? reply.Subject : mime::EncodeHeaderText(reply.Subject, 7));
    if (!identity.Organization.empty())
        headers.Add("Organization", identity.Organization);
    headers.Add("Message-ID", messageId);
    if (!reply.References.empty())
        headers.Add("References", reply.References);
    std::string body = reply.Body;
    if (!IsAsciiText(reply.Sender) || !IsAsciiText(reply.Subject) || !IsAsciiText(reply.Body)) {
        headers.Add("MIME-Version", "1.0");
        headers.Add("Content-Type", "text/plain; charset=UTF-8");
        if (HasLineLongerThan(body, 998)) {
            headers.Add("Content-Transfer-Encoding", "quoted-printable");
            body = mime::EncodeQuotedPrintable(body);
        } else {
            headers.Add("Content-Transfer-Encoding", "8bit");
        }
    }
    headers.Add("User-Agent", std::string("Zandrel/") + ProgramVersion);
    return body;
}
