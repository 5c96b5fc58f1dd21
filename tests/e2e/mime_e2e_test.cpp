// `zandrel BATCH` against the local news server over articles in the shapes
// Usenet carries them (encoded words, transfer encodings, charsets, multipart,
// HTML, flowed text, and none of it), once for each character set a packet
// can be written in: what reaches MESSAGES.DAT is the readable text in that
// set, and a plain ASCII article is written exactly as before decoding.
#include "core/settings.h"
#include "mime/packet_charset.h"
#include "qwk/retrieval_rules.h"
#include "qwk_format/qwk_message_writer.h"
#include "support/blocking_nntp_client.h"
#include "support/local_news_server.h"
#include "support/program_path.h"
#include "support/reply_packet_builder.h"
#include "support/temp_directory.h"

#include "qwk_format/messages_dat_test_reader.h"

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Article {
    const char* What;
    std::string From;    // as posted
    std::string Subject; // as posted
    std::string Headers; // further header lines, each ended by CR LF
    std::string Body;
    // What the packet shows, in UTF-8; ExpectedSender is the From field of
    // the header block before it is cut to its width.
    std::string ExpectedFrom;
    std::string ExpectedSender;
    std::string ExpectedSubject;
    // ExactBody: the body lines are exactly these; otherwise each of them is
    // part of a body line, in this order.
    std::vector<std::string> BodyLines;
    bool ExactBody = true;
    // Wire text that must not survive into the message's text.
    std::vector<std::string> Absent = {"=C3", "=E9", "=?", "Content-", "<p>", "<html", "&"};
    // The message must be byte for byte what the program wrote before it
    // decoded articles.
    bool WrittenAsBefore = false;
};

const std::string Base64Text =
    "Base64 text: caf\u00e9, na\u00efve, Z\u00fcrich.\r\nSecond line.\r\n";
const std::string Base64Body = QByteArray::fromStdString(Base64Text).toBase64().toStdString();
// 60 characters; in UTF-8 the 25th byte of the header field starts "ü".
const std::string LongSubject =
    "Gr\u00fc\u00dfe aus K\u00f6ln, Hr. M\u00fcller: ein Betreff von sechzig Zeichen.";
const std::string AttachmentBody = QByteArray("notes\x01\x02\x03 bytes").toBase64().toStdString();

std::vector<Article> Articles() {
    const std::string mime = "MIME-Version: 1.0\r\n";
    const std::string utf8Plain = mime + "Content-Type: text/plain; charset=UTF-8\r\n";
    std::vector<Article> articles = {
        {"encoded words in From and Subject",
         "=?UTF-8?Q?Andr=C3=A9_M=C3=BCller?= <andre@example.org>",
         "=?UTF-8?B?" + QByteArray::fromStdString(LongSubject).toBase64().toStdString() + "?=",
         "",
         "Encoded words in From and Subject.\r\n",
         "Andr\u00e9 M\u00fcller <andre@example.org>",
         "Andr\u00e9 M\u00fcller",
         LongSubject,
         {"Encoded words in From and Subject."}},
        {"quoted-printable with soft line breaks",
         "Ann <ann@example.org>",
         "=?UTF-8?Q?caf=C3=A9?= =?UTF-8?Q?_cr=C3=A8me?= in QP",
         utf8Plain + "Content-Transfer-Encoding: quoted-printable\r\n",
         "Le caf=C3=A9 est pr=C3=AAt, et cette ligne est assez longue pour qu'on la c=\r\n"
         "oupe par une rupture douce.\r\nA =3D B\r\n",
         "Ann <ann@example.org>",
         "Ann",
         "caf\u00e9 cr\u00e8me in QP",
         {"Le caf\u00e9 est pr\u00eat, et cette ligne est assez longue pour qu'on la coupe par "
          "une rupture douce.",
          "A = B"}},
        {"base64",
         "Ann <ann@example.org>",
         "Base64 body",
         utf8Plain + "Content-Transfer-Encoding: base64\r\n",
         Base64Body + "\r\n",
         "Ann <ann@example.org>",
         "Ann",
         "Base64 body",
         {"Base64 text: caf\u00e9, na\u00efve, Z\u00fcrich.", "Second line."}},
        // Characters that are 0xE3 in a single-byte set, and in UTF-8 the
        // lead byte of each of the Japanese ones.
        {"8bit UTF-8, raw UTF-8 subject",
         "bob@example.org (Bob B\u00e9b\u00e9)",
         "Gr\u00fc\u00dfe in raw UTF-8",
         utf8Plain + "Content-Transfer-Encoding: 8bit\r\n",
         "Gr\u00fc\u00dfe aus S\u00e3o Paulo: \u03c0 = 3.14\r\n"
         "\u3053\u3093\u306b\u3061\u306f\r\n",
         "bob@example.org (Bob B\u00e9b\u00e9)",
         "Bob B\u00e9b\u00e9",
         "Gr\u00fc\u00dfe in raw UTF-8",
         {"Gr\u00fc\u00dfe aus S\u00e3o Paulo: \u03c0 = 3.14", "\u3053\u3093\u306b\u3061\u306f"}},
        {"Latin-1",
         "Ann <ann@example.org>",
         "=?ISO-8859-1?Q?Gr=FC=DFe_aus_K=F6ln?=",
         mime + "Content-Type: text/plain; charset=ISO-8859-1\r\n"
                "Content-Transfer-Encoding: 8bit\r\n",
         "Caf\xE9 cr\xE8me br\xFBl\xE9\x65 in S\xE3o Paulo\r\n",
         "Ann <ann@example.org>",
         "Ann",
         "Gr\u00fc\u00dfe aus K\u00f6ln",
         {"Caf\u00e9 cr\u00e8me br\u00fbl\u00e9e in S\u00e3o Paulo"}},
        {"Windows-1252 without MIME",
         "Ann <ann@example.org>",
         "Old reader",
         "",
         "He said \x93hello\x94, paid 5 \x80 \x96 it\x92s fine.\r\n",
         "Ann <ann@example.org>",
         "Ann",
         "Old reader",
         {"He said \u201chello\u201d, paid 5 \u20ac \u2013 it\u2019s fine."}},
        {"multipart/alternative",
         "Ann <ann@example.org>",
         "Alternative",
         mime + "Content-Type: multipart/alternative; boundary=\"alt\"\r\n",
         "--alt\r\nContent-Type: text/plain; charset=UTF-8\r\n"
         "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
         "Plain part: caf=C3=A9 cr=C3=A8me.\r\n"
         "--alt\r\nContent-Type: text/html; charset=UTF-8\r\n\r\n"
         "<html><body><p>HTML part: <b>caf&eacute;</b></p></body></html>\r\n--alt--\r\n",
         "Ann <ann@example.org>",
         "Ann",
         "Alternative",
         {"Plain part: caf\u00e9 cr\u00e8me."}},
        {"multipart/mixed with an attachment",
         "Ann <ann@example.org>",
         "Mixed",
         mime + "Content-Type: multipart/mixed; boundary=\"mix\"\r\n",
         "This is a multi-part message in MIME format.\r\n"
         "--mix\r\nContent-Type: text/plain; charset=UTF-8\r\n"
         "Content-Transfer-Encoding: 8bit\r\n\r\nSee the attached notes, caf\u00e9.\r\n"
         "--mix\r\nContent-Type: application/octet-stream; name=\"notes.bin\"\r\n"
         "Content-Disposition: attachment; filename=\"notes.bin\"\r\n"
         "Content-Transfer-Encoding: base64\r\n\r\n" +
             AttachmentBody + "\r\n--mix--\r\n",
         "Ann <ann@example.org>",
         "Ann",
         "Mixed",
         {"See the attached notes, caf\u00e9.", "",
          "[Attachment: notes.bin, application/octet-stream, 14 bytes, not included]"}},
        {"HTML only",
         "Ann <ann@example.org>",
         "HTML only",
         mime + "Content-Type: text/html; charset=UTF-8\r\n",
         "<html><head><style>p { color: red }</style></head><body>\r\n"
         "<p>Only HTML: <b>caf\u00e9</b> &amp; cr&egrave;me</p></body></html>\r\n",
         "Ann <ann@example.org>",
         "Ann",
         "HTML only",
         {"Only HTML: caf\u00e9 & cr\u00e8me"},
         false,
         {"<p>", "<b>", "&amp;", "&egrave;", "color"}},
        {"format=flowed",
         "Ann <ann@example.org>",
         "Flowed",
         mime + "Content-Type: text/plain; charset=UTF-8; format=flowed\r\n"
                "Content-Transfer-Encoding: 8bit\r\n",
         "This paragraph is flowed, and its \r\nlines join into one, caf\u00e9.\r\n",
         "Ann <ann@example.org>",
         "Ann",
         "Flowed",
         {"This paragraph is flowed, and its lines join into one, caf\u00e9."}},
        {"malformed encoded word",
         "Ann <ann@example.org>",
         "Broken =?UTF-8?Q?caf=C3=A9 word",
         "",
         "The subject stays as it was written.\r\n",
         "Ann <ann@example.org>",
         "Ann",
         "Broken =?UTF-8?Q?caf=C3=A9 word",
         {"The subject stays as it was written."},
         true,
         {}},
        {"unknown charset",
         "Ann <ann@example.org>",
         "Unknown charset",
         mime + "Content-Type: text/plain; charset=x-unknown\r\n"
                "Content-Transfer-Encoding: 8bit\r\n",
         "UTF-8 here: caf\u00e9\r\nWindows-1252 here: na\xEFve\r\n",
         "Ann <ann@example.org>",
         "Ann",
         "Unknown charset",
         {"UTF-8 here: caf\u00e9", "Windows-1252 here: na\u00efve"}},
        {"plain ASCII without MIME",
         "Plain Sender <plain@example.org>",
         "Plain ASCII: =C3=A9 stays as written",
         "",
         "A plain article.\r\n.starts with a dot\r\ntrailing spaces   \r\n\tindented by a tab\r\n"
         "=C3=A9 and =?UTF-8?Q?x?= stay as written <p>&amp;\r\n\r\nlast line\r\n",
         "Plain Sender <plain@example.org>",
         "Plain Sender",
         "Plain ASCII: =C3=A9 stays as written",
         {"A plain article.", ".starts with a dot", "trailing spaces", "\tindented by a tab",
          "=C3=A9 and =?UTF-8?Q?x?= stay as written <p>&amp;", "", "last line"},
         true,
         {},
         true},
    };
    for (Article& article : articles) {
        if (article.Body.find(Base64Body.substr(0, 24)) != std::string::npos)
            article.Absent.push_back(Base64Body.substr(0, 24));
        if (article.Body.find(AttachmentBody) != std::string::npos)
            article.Absent.push_back(AttachmentBody);
    }
    return articles;
}

struct CharsetCase {
    const char* Name; // as ZANDREL.INI spells it
    const char* TestName;
    mime::PacketCharset Charset;
};

void PrintTo(const CharsetCase& charset, std::ostream* out) {
    *out << charset.Name;
}

// The UTF-8 text as the packet's set holds it, for the characters the
// articles above use.
std::string InSet(const std::string& utf8, mime::PacketCharset charset) {
    if (charset == mime::PacketCharset::Utf8)
        return utf8;
    struct Character {
        char32_t CodePoint;
        const char* Cp437;
        const char* Latin1;
    };
    static const Character characters[] = {{U'\u00e8', "\x8A", "\xE8"},
                                           {U'\u00e9', "\x82", "\xE9"},
                                           {U'\u00ea', "\x88", "\xEA"},
                                           {U'\u00ef', "\x8B", "\xEF"},
                                           {U'\u00f6', "\x94", "\xF6"},
                                           {U'\u00fb', "\x96", "\xFB"},
                                           {U'\u00fc', "\x81", "\xFC"},
                                           {U'\u00df', "\xE1", "\xDF"},
                                           // Missing from the set, or the line end byte there.
                                           {U'\u00e3', "a", "a"},
                                           {U'\u03c0', "pi", "pi"},
                                           {U'\u20ac', "EUR", "EUR"},
                                           {U'\u2013', "-", "-"},
                                           {U'\u2019', "'", "'"},
                                           {U'\u201c', "\"", "\""},
                                           {U'\u201d', "\"", "\""},
                                           {U'\u3053', "?", "?"},
                                           {U'\u3093', "?", "?"},
                                           {U'\u306b', "?", "?"},
                                           {U'\u3061', "?", "?"},
                                           {U'\u306f', "?", "?"}};
    std::string text;
    for (const char32_t c : QString::fromStdString(utf8).toUcs4()) {
        if (c < 0x80) {
            text.push_back(static_cast<char>(c));
            continue;
        }
        const auto found =
            std::find_if(std::begin(characters), std::end(characters),
                         [c](const Character& known) { return known.CodePoint == c; });
        if (found == std::end(characters)) {
            ADD_FAILURE() << "no test mapping for U+" << std::hex << static_cast<unsigned>(c);
            continue;
        }
        text += charset == mime::PacketCharset::Cp437 ? found->Cp437 : found->Latin1;
    }
    return text;
}

// What a header field shows: the first bytes that fit, in UTF-8 whole
// characters only.
std::string FieldText(std::string text, std::size_t width, mime::PacketCharset charset) {
    if (text.size() > width) {
        std::size_t cut = width;
        while (charset == mime::PacketCharset::Utf8 && cut > 0 &&
               (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut;
        text.resize(cut);
    }
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

bool ValidUtf8(const std::string& text) {
    return QString::fromStdString(text).toStdString() == text;
}

// Each message as it is stored: its header block and text blocks.
std::vector<std::string> StoredMessages(const std::string& file) {
    std::vector<std::string> messages;
    std::size_t at = qwk::BlockSize;
    while (at + qwk::BlockSize <= file.size()) {
        qwk::Block header;
        std::copy_n(file.data() + at, qwk::BlockSize, header.begin());
        const std::size_t blocks =
            std::stoul("0" + qwk::HeaderText(header, qwk::header::BlockCount));
        if (blocks == 0)
            break;
        messages.push_back(file.substr(at, blocks * qwk::BlockSize));
        at += blocks * qwk::BlockSize;
    }
    return messages;
}

// A message's lines as a reader splits them: at each 0xE3 in the test
// reader's text for the single-byte sets; in UTF-8 not where 0xE3 leads a
// character. The block padding after the last line is dropped.
std::vector<std::string> MessageLines(const ReadBackMessage& read, const std::string& stored,
                                      mime::PacketCharset charset) {
    std::string text = read.text;
    if (charset == mime::PacketCharset::Utf8) {
        text = stored.substr(qwk::BlockSize);
        for (std::size_t i = 0; i < text.size(); ++i) {
            const bool leadsCharacter = i + 2 < text.size() &&
                                        (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80 &&
                                        (static_cast<unsigned char>(text[i + 2]) & 0xC0) == 0x80;
            if (text[i] == qwk::LineEnd && !leadsCharacter)
                text[i] = '\n';
        }
    }
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

// The article as the program wrote it before it decoded articles: raw From,
// Subject and body, lines cut as Get Articles cuts them.
std::string WrittenBeforeDecoding(const std::string& article, std::int32_t number,
                                  const std::string& group) {
    const std::size_t split = article.find("\r\n\r\n");
    qwk::ArticleHeaders headers;
    const std::pair<std::string, std::string*> fields[] = {
        {"From: ", &headers.From}, {"Subject: ", &headers.Subject}, {"Date: ", &headers.Date}};
    for (std::size_t start = 0; start < split;) {
        const std::size_t end = article.find("\r\n", start);
        const std::string line = article.substr(start, end - start);
        for (const auto& [name, field] : fields)
            if (line.rfind(name, 0) == 0)
                *field = line.substr(name.size());
        start = end + 2;
    }
    NewsGroupRecord record;
    record.Name = group;
    record.Conference = 1;
    qwk::StringSink sink;
    qwk::MessageWriter writer(sink);
    std::string scratch;
    qwk::SplitIntoMessages(article.substr(split + 4), DefaultLinesPerMessage, scratch,
                           [&](std::string_view lines, bool moreFollows) {
                               writer.WriteMessage(headers, number, record, lines, moreFollows);
                           });
    return sink.Bytes;
}

class MimeE2E : public testing::TestWithParam<CharsetCase> {
protected:
    static void SetUpTestSuite() {
        group_ = UniqueGroupName("zandrel.mime");
        if (!NewsdSucceeds("newgroup " + group_)) {
            failure_ = "is scripts/newsd running?";
            return;
        }
        BlockingNntpClient client;
        if (!client.connect("127.0.0.1", NewsdPort())) {
            failure_ = client.lastReply();
            return;
        }
        for (const Article& article : Articles()) {
            const auto posted = client.post("From: " + article.From + "\r\nNewsgroups: " + group_ +
                                            "\r\nSubject: " + article.Subject + "\r\n" +
                                            article.Headers + "\r\n" + article.Body);
            if (!posted.ok) {
                failure_ = std::string(article.What) + ": " + posted.reason;
                return;
            }
        }
        const auto range = client.group(group_);
        if (!range || range->count != static_cast<std::int64_t>(Articles().size())) {
            failure_ = "the group does not hold every article";
            return;
        }
        first_ = range->first;
        for (std::int64_t n = range->first; n <= range->last; ++n)
            received_.push_back(client.article(n).value_or(""));
    }

    static std::string RunBatch(const std::string& directory, int& exitCode) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        QProcess process;
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(QString::fromStdString(directory));
        process.start(QString::fromStdString(ZandrelProgram()), {"BATCH"});
        if (!process.waitForStarted(10000) || !process.waitForFinished(120000))
            process.kill();
        process.waitForFinished(5000);
        exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return process.readAllStandardOutput().toStdString() +
               process.readAllStandardError().toStdString();
    }

    static inline std::string group_;
    static inline std::string failure_;
    static inline std::int64_t first_ = 0;
    static inline std::vector<std::string> received_;
};

TEST_P(MimeE2E, EveryArticleReadsInThePacketsCharacterSet) {
    ASSERT_TRUE(failure_.empty()) << failure_;
    const mime::PacketCharset charset = GetParam().Charset;
    TempWorkDirectory dir(false);
    TempWorkDirectory::Write(
        dir.File("ZANDREL.INI"),
        "[NNTP]\r\nNNTP Server=127.0.0.1\r\nNNTP Remote Port=" + std::to_string(NewsdPort()) +
            "\r\n[Qwk]\r\nQwk ID=MIME\r\nCharacter Set=" + GetParam().Name + "\r\n");
    TempWorkDirectory::Write(dir.File("GROUPS.DAT"), group_ + " 1 0\r\n");
    fs::create_directory(dir.File("WORK"));
    int exitCode = -1;
    const std::string output = RunBatch(dir.Path(), exitCode);
    ASSERT_EQ(exitCode, 0) << output;

    std::string file;
    for (const auto& [name, bytes] : ReadZipArchive(dir.File("WORK/MIME.QWK")))
        if (name == "MESSAGES.DAT")
            file = bytes;
    TempWorkDirectory::Write(dir.File("MESSAGES.DAT"), file);
    const ReadBackPacket packet = ReadMessagesDat(dir.File("MESSAGES.DAT"));
    const std::vector<std::string> stored = StoredMessages(file);
    const std::vector<Article> articles = Articles();
    ASSERT_TRUE(packet.wellFormed);
    ASSERT_EQ(packet.messages.size(), articles.size());
    ASSERT_EQ(stored.size(), articles.size());

    for (std::size_t i = 0; i < articles.size(); ++i) {
        const Article& article = articles[i];
        SCOPED_TRACE(article.What);
        const ReadBackMessage& message = packet.messages[i];
        EXPECT_EQ(message.Field(qwk::header::MessageNumber), std::to_string(first_ + i));
        EXPECT_EQ(
            message.Field(qwk::header::From),
            FieldText(InSet(article.ExpectedSender, charset), qwk::header::From.width, charset));
        EXPECT_EQ(message.Field(qwk::header::Subject),
                  FieldText(InSet(article.ExpectedSubject, charset), qwk::header::Subject.width,
                            charset));
        if (article.WrittenAsBefore) {
            EXPECT_EQ(stored[i], WrittenBeforeDecoding(
                                     received_[i], static_cast<std::int32_t>(first_ + i), group_));
        }

        const std::vector<std::string> lines = MessageLines(message, stored[i], charset);
        ASSERT_GE(lines.size(), 6u);
        EXPECT_EQ(lines[0], "From: " + InSet(article.ExpectedFrom, charset));
        EXPECT_EQ(lines[1], "Subject: " + InSet(article.ExpectedSubject, charset));
        EXPECT_EQ(lines[2], "");
        // Nothing split a line or the text's end: the origin line closes it.
        EXPECT_EQ(lines[lines.size() - 2], "");
        EXPECT_EQ(lines.back(), " * Origin: Internet Newsgroup - " + group_);
        const std::vector<std::string> body(lines.begin() + 3, lines.end() - 2);
        std::vector<std::string> expected;
        for (const std::string& line : article.BodyLines)
            expected.push_back(InSet(line, charset));
        if (article.ExactBody) {
            EXPECT_EQ(body, expected);
        } else {
            auto at = body.begin();
            for (const std::string& part : expected) {
                at = std::find_if(at, body.end(), [&](const std::string& line) {
                    return line.find(part) != std::string::npos;
                });
                EXPECT_NE(at, body.end()) << "no line holds \"" << part << "\"";
            }
        }
        const std::string text = stored[i].substr(qwk::BlockSize);
        for (const std::string& wire : article.Absent)
            EXPECT_EQ(text.find(wire), std::string::npos) << wire;
        if (charset == mime::PacketCharset::Utf8) {
            for (const std::string& line : lines)
                EXPECT_TRUE(ValidUtf8(line)) << line;
            EXPECT_TRUE(ValidUtf8(message.Field(qwk::header::From)));
            EXPECT_TRUE(ValidUtf8(message.Field(qwk::header::Subject)));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    CharacterSets, MimeE2E,
    testing::Values(CharsetCase{"CP437", "Cp437", mime::PacketCharset::Cp437},
                    CharsetCase{"ISO-8859-1", "Latin1", mime::PacketCharset::Latin1},
                    CharsetCase{"UTF-8", "Utf8", mime::PacketCharset::Utf8}),
    [](const testing::TestParamInfo<CharsetCase>& info) { return info.param.TestName; });

} // namespace
