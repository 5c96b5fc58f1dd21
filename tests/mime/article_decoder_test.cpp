#include "mime/article_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct DecodeCase {
    const char* Name;
    std::vector<mime::HeaderField> Headers;
    std::string Body;
    std::string From;
    std::string Subject;
    std::string ExpectedBody;
};

const std::string PlainBody = "Hello,\r\n\r\n> quoted =?not encoded?= <b>\r\n-- \r\nsig\r\n";

std::vector<mime::HeaderField> Mime(std::string contentType, std::string encoding = "") {
    std::vector<mime::HeaderField> headers{{"From", "a@example.org"},
                                           {"Subject", "s"},
                                           {"MIME-Version", "1.0"},
                                           {"Content-Type", std::move(contentType)}};
    if (!encoding.empty())
        headers.push_back({"Content-Transfer-Encoding", std::move(encoding)});
    return headers;
}

const std::vector<DecodeCase> DecodeCases = {
    {"PlainAsciiIsUntouched",
     {{"From", "Ann <ann@example.org>"}, {"Subject", "Re: plain"}, {"MIME-Version", "1.0"}},
     PlainBody,
     "Ann <ann@example.org>",
     "Re: plain",
     PlainBody},
    {"CharsetOnlyContentTypeIsUntouched", Mime("text/plain; charset=\"us-ascii\"", "7bit"),
     PlainBody, "a@example.org", "s", PlainBody},
    {"EncodedWordsInFromAndSubject",
     {{"From", "=?UTF-8?Q?J=C3=B6rg_M=C3=BCller?= <jm@example.org>"},
      {"Subject", "=?ISO-8859-1?B?Q2Fm6Q==?= =?utf-8?q?_und_mehr?="}},
     "x\r\n",
     "J\u00f6rg M\u00fcller <jm@example.org>",
     "Caf\u00e9 und mehr",
     "x\r\n"},
    {"MalformedEncodedWordStaysText",
     {{"From", "=?UTF-8?B?"}, {"Subject", "Re: =?utf-8?X?abc?= and =?iso-8859-1?q?caf=E9"}},
     "x\r\n",
     "=?UTF-8?B?",
     "Re: =?utf-8?X?abc?= and =?iso-8859-1?q?caf=E9",
     "x\r\n"},
    {"RawEightBitHeadersAndBodyWithoutMime",
     {{"From", "Andr\xE9 <a@example.org>"},
      {"Subject", "\xC3\xBC"
                  "ber"}},
     "caf\xE9 \x93quoted\x94\r\ncaf\xC3\xA9\r\n",
     "Andr\u00e9 <a@example.org>",
     "\u00fcber",
     "caf\u00e9 \u201cquoted\u201d\r\ncaf\u00e9\r\n"},
    {"QuotedPrintableJoinsSoftBreaks", Mime("text/plain; charset=utf-8", "quoted-printable"),
     "Caf=C3=A9 und ein langer Sa=\r\ntz =3D gut.\r\n", "a@example.org", "s",
     "Caf\u00e9 und ein langer Satz = gut.\r\n"},
    {"Base64WithBareLineFeeds", Mime("text/plain; charset=iso-8859-15", "base64"),
     // "Preis: 5 \xA4\nEnde\n" (0xA4 is the euro sign in ISO-8859-15)
     "UHJlaXM6IDUgpApFbmRlCg==\r\n", "a@example.org", "s", "Preis: 5 \u20ac\r\nEnde\r\n"},
    {"DeclaredCharsetIsRead", Mime("text/plain; charset=KOI8-R", "8bit"),
     "\xF0\xD2\xC9\xD7\xC5\xD4\r\n", "a@example.org", "s",
     "\u041f\u0440\u0438\u0432\u0435\u0442\r\n"},
    {"AsciiLabelOnUtf8Text", Mime("text/plain; charset=us-ascii", "8bit"), "na\xC3\xAFve\r\n",
     "a@example.org", "s", "na\u00efve\r\n"},
    {"Utf8LabelOnWindows1252Text", Mime("text/plain; charset=utf-8; format=fixed", "8bit"),
     "\x93hi\x94 caf\xE9\r\n", "a@example.org", "s", "\u201chi\u201d caf\u00e9\r\n"},
    {"UnknownCharset", Mime("text/plain; charset=x-no-such-set", "quoted-printable"),
     "caf=E9=\r\n\r\n", "a@example.org", "s", "caf\u00e9\r\n"},
    {"AlternativeGivesPlainText", Mime("multipart/alternative; boundary=\"b1\""),
     "--b1\r\nContent-Type: text/plain; charset=utf-8\r\n\r\nplain \xC3\xA9\r\n"
     "--b1\r\nContent-Type: text/html\r\n\r\n<p>html</p>\r\n--b1--\r\n",
     "a@example.org", "s", "plain \u00e9\r\n"},
    {"MixedGivesTextsAndAttachmentLines", Mime("multipart/mixed; boundary=outer"),
     "preamble\r\n--outer\r\nContent-Type: text/plain\r\n\r\nfirst\r\n"
     "--outer\r\nContent-Type: application/octet-stream\r\n"
     "Content-Disposition: attachment; filename=\"blob.bin\"\r\n"
     "Content-Transfer-Encoding: base64\r\n\r\nMDEyMzQ1Njc4OQ==\r\n"
     "--outer\r\nContent-Type: text/plain\r\nContent-Disposition: attachment; filename=a.txt\r\n"
     "\r\nnot shown\r\n"
     "--outer\r\nContent-Type: multipart/alternative; boundary=inner\r\n\r\n"
     "--inner\r\nContent-Type: text/html\r\n\r\n<b>no</b>\r\n"
     "--inner\r\nContent-Type: text/plain\r\n\r\nsecond\r\n--inner--\r\n"
     "--outer\r\nContent-Type: image/png; name=dot.png\r\nContent-Transfer-Encoding: base64\r\n"
     "\r\niVBORw==\r\n--outer--\r\n",
     "a@example.org", "s",
     "first\r\n\r\n"
     "[Attachment: blob.bin, application/octet-stream, 10 bytes, not included]\r\n\r\n"
     "[Attachment: a.txt, text/plain, 9 bytes, not included]\r\n\r\n"
     "second\r\n\r\n"
     "[Attachment: dot.png, image/png, 4 bytes, not included]\r\n"},
    {"HtmlOnlyGivesItsText", Mime("text/html; charset=utf-8", "quoted-printable"),
     "<html><head><title>t</title><style>p {}</style></head><body>\r\n"
     "<h1>Caf=C3=A9 &amp; Bar</h1><p>One   line\r\nwrapped&nbsp;here &#8364;5 &hellip;</p>\r\n"
     "<ul><li>first</li><li>second</li></ul>a<br>b <a href=3D\"https://x.example/\">link</a>"
     "<!-- hidden --></body></html>\r\n",
     "a@example.org", "s",
     "Caf\u00e9 & Bar\r\n\r\nOne line wrapped here \u20ac5 \u2026\r\n\r\n* first\r\n"
     "* second\r\n\r\na\r\nb link <https://x.example/>\r\n"},
    {"FlowedWithDelSp", Mime("text/plain; charset=utf-8; format=flowed; delsp=yes"),
     "A long para \r\ngraph joined.\r\n> quo \r\n> ted\r\n>> deeper \r\nfixed\r\n \r\n"
     "-- \r\nsig\r\n",
     "a@example.org", "s",
     "A long paragraph joined.\r\n> quoted\r\n>> deeper\r\nfixed\r\n\r\n-- \r\nsig\r\n"},
    {"FlowedWithoutDelSp", Mime("text/plain; format=flowed"),
     "one \r\ntwo \r\nthree\r\n From stuffed\r\n", "a@example.org", "s",
     "one two three\r\nFrom stuffed\r\n"},
    {"MultipartWithoutBoundaryIsNeverEmpty", Mime("multipart/mixed"), "just text\r\n",
     "a@example.org", "s", "just text\r\n"},
};

class Decode : public testing::TestWithParam<DecodeCase> {};

TEST_P(Decode, GivesReadableUtf8) {
    const DecodeCase& c = GetParam();
    const mime::DecodedArticle article = mime::DecodeArticle(c.Headers, c.Body);
    EXPECT_EQ(article.From, c.From);
    EXPECT_EQ(article.Subject, c.Subject);
    EXPECT_EQ(article.Body, c.ExpectedBody);
}

INSTANTIATE_TEST_SUITE_P(Articles, Decode, testing::ValuesIn(DecodeCases),
                         [](const testing::TestParamInfo<DecodeCase>& info) {
                             return std::string(info.param.Name);
                         });

} // namespace
