// How many articles a second go from their received form to packet text:
// DecodeArticle, then ToPacketCharset of From, Subject and body into CP437.
// Plain ASCII articles (most of Usenet) and a mix of MIME ones are measured
// apart. Build with -DCMAKE_BUILD_TYPE=Release to measure.
#include "mime/article_decoder.h"
#include "mime/packet_charset.h"

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Article {
    std::vector<mime::HeaderField> Headers;
    std::string Body;
};

constexpr std::size_t ArticleCount = 20'000;
constexpr double AsciiTarget = 20'000;
constexpr double MimeTarget = 2'000;

const char* const Words[] = {"the",     "server",  "article", "reader",  "packet", "group",
                             "thread",  "posting", "reply",   "offline", "mail",   "message",
                             "network", "modem",   "archive", "quoted",  "binary", "answer"};

// Lines of 60-75 characters, some quoted, about `size` bytes.
std::string Prose(std::mt19937& random, std::size_t size, const char* accent = nullptr) {
    std::uniform_int_distribution<std::size_t> word(0, std::size(Words) - 1);
    std::string text;
    std::string line;
    while (text.size() < size) {
        if (line.empty() && random() % 5 == 0)
            line = "> ";
        line += Words[word(random)];
        if (accent != nullptr && random() % 12 == 0)
            line += accent;
        if (line.size() > 60 + random() % 15) {
            text += line + "\r\n";
            line.clear();
        } else {
            line += ' ';
        }
    }
    return text;
}

std::vector<mime::HeaderField> UsualHeaders(std::mt19937& random, std::string from,
                                            std::string subject) {
    const std::string id = std::to_string(random());
    return {{"Path", "news.example.net!feeder.example.org!not-for-mail"},
            {"From", std::move(from)},
            {"Newsgroups", "comp.misc,alt.test"},
            {"Subject", std::move(subject)},
            {"Date", "Mon, 3 Jun 2024 12:34:56 +0200"},
            {"Organization", "Example Usenet Service"},
            {"Lines", "42"},
            {"Message-ID", "<" + id + "@example.net>"},
            {"References", "<1@example.net> <2@example.net> <3@example.net>"},
            {"NNTP-Posting-Host", "192.0.2.1"},
            {"X-Trace", "news.example.net 1717410896 " + id},
            {"User-Agent", "SomeReader/1.0"},
            {"Xref", "news.example.net comp.misc:12345 alt.test:67890"}};
}

std::vector<Article> AsciiArticles(std::mt19937& random) {
    std::vector<Article> articles;
    for (std::size_t i = 0; i < ArticleCount; ++i) {
        articles.push_back(
            {UsualHeaders(random, "Ann Example <ann@example.org>", "Re: a question about packets"),
             Prose(random, 800 + random() % 3000)});
    }
    return articles;
}

// The shapes MIME articles on Usenet take, in turn.
std::vector<Article> MimeArticles(std::mt19937& random) {
    std::vector<Article> articles;
    for (std::size_t i = 0; i < ArticleCount; ++i) {
        Article a;
        a.Headers = UsualHeaders(random, "=?UTF-8?Q?J=C3=B6rg_M=C3=BCller?= <jm@example.org>",
                                 "=?ISO-8859-1?Q?Re:_=C4rger_mit_dem_Modem?=");
        a.Headers.push_back({"MIME-Version", "1.0"});
        const std::string prose = Prose(random, 800 + random() % 3000, "\xC3\xA9");
        switch (i % 6) {
        case 0: // UTF-8, 8bit, flowed
            a.Headers.push_back({"Content-Type", "text/plain; charset=UTF-8; format=flowed"});
            a.Headers.push_back({"Content-Transfer-Encoding", "8bit"});
            a.Body = prose;
            break;
        case 1: { // Latin-1, quoted-printable
            a.Headers.push_back({"Content-Type", "text/plain; charset=ISO-8859-15"});
            a.Headers.push_back({"Content-Transfer-Encoding", "quoted-printable"});
            std::string qp;
            for (char c : Prose(random, 800 + random() % 3000, "\xE9"))
                qp += c == '\xE9' ? std::string("=E9") : std::string(1, c);
            a.Body = qp;
            break;
        }
        case 2: // UTF-8 in base64
            a.Headers.push_back({"Content-Type", "text/plain; charset=utf-8"});
            a.Headers.push_back({"Content-Transfer-Encoding", "base64"});
            for (std::size_t n = 0; n < 40; ++n)
                a.Body += "RGllIEFudHdvcnQgaXN0IGdhbnogZWluZmFjaDogRsO8aHJlIGRhcyBNb2RlbS4K\r\n";
            break;
        case 3: // text and HTML
            a.Headers.push_back({"Content-Type", "multipart/alternative; boundary=\"alt\""});
            a.Body = "--alt\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n" + prose +
                     "--alt\r\nContent-Type: text/html; charset=utf-8\r\n\r\n<html><body><p>" +
                     prose + "</p></body></html>\r\n--alt--\r\n";
            break;
        case 4: { // text with a 20 KB attachment
            a.Headers.push_back({"Content-Type", "multipart/mixed; boundary=\"mix\""});
            a.Body = "--mix\r\nContent-Type: text/plain; charset=utf-8\r\n"
                     "Content-Transfer-Encoding: 8bit\r\n\r\n" +
                     prose +
                     "--mix\r\nContent-Type: application/zip; name=\"data.zip\"\r\n"
                     "Content-Disposition: attachment; filename=\"data.zip\"\r\n"
                     "Content-Transfer-Encoding: base64\r\n\r\n";
            for (std::size_t n = 0; n < 360; ++n)
                a.Body += "UEsDBBQAAAAIAAAAIQBzZW5kIG1vcmUgZGF0YSB0byB0aGUgYmVuY2htYXJrIGZp\r\n";
            a.Body += "--mix--\r\n";
            break;
        }
        default: // no MIME at all, Windows-1252 from an old reader
            a.Headers.resize(a.Headers.size() - 1);
            a.Body = Prose(random, 800 + random() % 3000, "\x93quoted\x94");
            break;
        }
        articles.push_back(std::move(a));
    }
    return articles;
}

void Measure(const char* what, const std::vector<Article>& articles, double target) {
    std::size_t bytes = 0;
    std::size_t written = 0;
    const Clock::time_point start = Clock::now();
    for (const Article& article : articles) {
        const mime::DecodedArticle decoded = mime::DecodeArticle(article.Headers, article.Body);
        written += mime::ToPacketCharset(decoded.From, mime::PacketCharset::Cp437).size();
        written += mime::ToPacketCharset(decoded.Subject, mime::PacketCharset::Cp437).size();
        written += mime::ToPacketCharset(decoded.Body, mime::PacketCharset::Cp437).size();
        bytes += article.Body.size();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double perSecond = static_cast<double>(articles.size()) / seconds;
    std::printf("%-34s %10.0f articles/s %8.1f MB/s   (target > %.0f/s)%s   [%zu bytes out]\n",
                what, perSecond, static_cast<double>(bytes) / seconds / 1e6, target,
                perSecond > target ? "" : "   SLOW", written);
}

} // namespace

int main() {
    std::mt19937 random(1);
    const std::vector<Article> ascii = AsciiArticles(random);
    const std::vector<Article> mimeMix = MimeArticles(random);
    // Warm-up: GMime's set-up and the character set tables.
    Measure("warm-up (MIME mix)", std::vector<Article>(mimeMix.begin(), mimeMix.begin() + 60), 0);
    Measure("ASCII only, no MIME", ascii, AsciiTarget);
    Measure("MIME mix", mimeMix, MimeTarget);
    const char* const kinds[] = {
        "  UTF-8 flowed",          "  quoted-printable",      "  base64",
        "  alternative with HTML", "  mixed with attachment", "  Windows-1252, no MIME"};
    for (std::size_t kind = 0; kind < std::size(kinds); ++kind) {
        std::vector<Article> some;
        for (std::size_t i = kind; i < mimeMix.size(); i += std::size(kinds))
            some.push_back(mimeMix[i]);
        Measure(kinds[kind], some, MimeTarget);
    }
    return 0;
}
