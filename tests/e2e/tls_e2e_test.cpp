// Encrypted connections against the local news server that scripts/newsd
// runs: TLS from the first byte on 563 and STARTTLS on 119, its certificate
// (for localhost only) signed by a throwaway CA the tests trust through
// ZANDREL_TEST_CA_FILE.
#include "archive/unzip_file.h"
#include "archive/zip_file.h"
#include "nntp_control/tls_stream.h"
#include "qwk/retrieval_run.h"
#include "support/blocking_nntp_client.h"
#include "support/local_news_server.h"
#include "support/recording_views.h"
#include "support/scripted_news_server.h"
#include "support/temp_directory.h"

#include "qwk_format/messages_dat_test_reader.h"

#include <QCryptographicHash>
#include <QSslCertificate>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

class TlsE2E : public testing::Test {
protected:
    void SetUp() override {
        caFile = Newsd("ca");
        const QList<QSslCertificate> server = QSslCertificate::fromPath(
            QString::fromStdString(fs::path(caFile).parent_path().string() + "/server.pem"));
        if (caFile.empty() || !fs::exists(caFile) || server.isEmpty() || !TlsStream::Available())
            GTEST_SKIP() << "no TLS on the local news server: scripts/newsd start";
        serverFingerprint =
            FormatFingerprint(server.front().digest(QCryptographicHash::Sha256).toStdString());
        group = UniqueGroupName("zandrel.test.tls");
        Newsd("newgroup " + group);
        ASSERT_TRUE(poster.connect("127.0.0.1", NewsdPort())) << "no news server: scripts/newsd";
        TrustTestCa(true);
    }
    void TearDown() override { ::unsetenv("ZANDREL_TEST_CA_FILE"); }

    void TrustTestCa(bool trusted) {
        if (trusted)
            ::setenv("ZANDREL_TEST_CA_FILE", caFile.c_str(), 1);
        else
            ::unsetenv("ZANDREL_TEST_CA_FILE");
    }
    Settings SettingsFor(NntpSecurity security, const std::string& host, int port) {
        Settings settings;
        settings.NntpServer = host;
        settings.NntpPort = port;
        settings.Security = security;
        settings.QwkId = "E2E";
        settings.LinesPerMessage = 90;
        return settings;
    }
    int TlsPort() { return std::atoi(Newsd("tls-port").c_str()); }

    std::string caFile;
    std::string serverFingerprint;
    std::string group;
    BlockingNntpClient poster;
    RecordingConnectionView view;
};

// Get Articles and a post give over TLS and STARTTLS what they give in
// clear text.
TEST_F(TlsE2E, EncryptedConnectionsFetchAndPostLikePlainOnes) {
    for (int i = 1; i <= 3; ++i) {
        const auto posted =
            poster.post("From: Tester <tester@example.invalid>\r\nNewsgroups: " + group +
                        "\r\nSubject: Number " + std::to_string(i) + "\r\n\r\nbody " +
                        std::to_string(i) + "\r\n");
        ASSERT_TRUE(posted.ok) << posted.reason;
    }
    struct Case {
        NntpSecurity security;
        int port;
    };
    std::vector<std::vector<std::string>> packets;
    for (const Case& c : {Case{NntpSecurity::None, NewsdPort()}, Case{NntpSecurity::Tls, TlsPort()},
                          Case{NntpSecurity::StartTls, NewsdPort()}}) {
        SCOPED_TRACE(NntpSecurityName(c.security));
        TempWorkDirectory dir{false};
        fs::create_directories(dir.File("TEMP"));
        fs::create_directories(dir.File("WORK"));
        Settings settings = SettingsFor(c.security, "localhost", c.port);
        settings.WorkDirectory = dir.File("WORK");
        NewsConnection connection(settings, view);
        const TransferOutcome connected = connection.ConnectAndWait();
        ASSERT_TRUE(connected) << connected.Text;
        // Get All Newsgroups' list arrives whole over each.
        const TransferOutcome listed = connection.ListGroups();
        ASSERT_TRUE(listed) << listed.Text;
        EXPECT_NE(connection.ReceivedText().find(group + " "), std::string::npos);
        NewsGroupTable table;
        table.Append(group, 1, 0);
        RecordingLog log;
        RecordingRows rows;
        RecordingProgress progress;
        TZipFile zip;
        TUnzipFile unzip;
        qwk::RetrieveArticles(
            {connection, table, settings, dir.File("TEMP"), log, rows, progress, zip, unzip});
        const ReadBackPacket packet = ReadMessagesDat(dir.File("TEMP/MESSAGES.DAT"));
        ASSERT_TRUE(packet.wellFormed);
        std::vector<std::string> messages;
        for (const auto& message : packet.messages) {
            std::string text = message.Field(qwk::header::Subject);
            for (const std::string& line : message.ArticleLines())
                text += "|" + line;
            messages.push_back(text);
        }
        // What the earlier runs posted comes after these.
        messages.resize(std::min<std::size_t>(messages.size(), 3));
        packets.push_back(messages);

        TDocHeaders headers;
        headers.Add("From", "Tester <tester@example.invalid>");
        headers.Add("Newsgroups", group);
        headers.Add("Subject", std::string("Posted over ") + NntpSecurityName(c.security));
        const TransferOutcome posted = connection.PostArticle(headers, "over the wire\r\n");
        EXPECT_TRUE(posted) << posted.Text;
        connection.DisconnectAndWait();
    }
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[0],
              (std::vector<std::string>{"Number 1|body 1", "Number 2|body 2", "Number 3|body 3"}));
    EXPECT_EQ(packets[1], packets[0]);
    EXPECT_EQ(packets[2], packets[0]);
    const auto range = poster.group(group);
    ASSERT_TRUE(range);
    EXPECT_EQ(range->count, 6);
}

// A certificate that does not verify is refused, saying why and naming its
// fingerprint, unless it is exactly the accepted one; a server without
// STARTTLS is refused too, and never talked to in clear text.
TEST_F(TlsE2E, CertificatesThatDoNotVerifyAreRefusedUnlessAccepted) {
    ScriptedNewsServer noStartTls;
    const std::string other = "00:" + serverFingerprint.substr(3);
    struct Case {
        const char* name;
        NntpSecurity security;
        std::string host;
        int port;
        bool trustCa;
        std::string accepted;
        int error; // 0: connects
        std::string errorText;
    };
    const Case cases[] = {
        {"wrong host name", NntpSecurity::Tls, "127.0.0.1", TlsPort(), true, "",
         nntpErrorCertificate, "host name"},
        {"wrong host name, starttls", NntpSecurity::StartTls, "127.0.0.1", NewsdPort(), true, "",
         nntpErrorCertificate, "host name"},
        {"untrusted", NntpSecurity::Tls, "localhost", TlsPort(), false, "", nntpErrorCertificate,
         "not trusted"},
        {"untrusted, accepted", NntpSecurity::Tls, "localhost", TlsPort(), false, serverFingerprint,
         0, ""},
        {"wrong host, accepted", NntpSecurity::StartTls, "127.0.0.1", NewsdPort(), true,
         serverFingerprint, 0, ""},
        {"another accepted", NntpSecurity::Tls, "localhost", TlsPort(), false, other,
         nntpErrorCertificate, "not trusted"},
        {"no starttls", NntpSecurity::StartTls, noStartTls.Host(), noStartTls.Port(), true, "",
         nntpErrorTlsUnavailable, "does not offer STARTTLS"},
        {"tls on the plain port", NntpSecurity::Tls, "localhost", NewsdPort(), true, "",
         nntpErrorConnectFailed, "TLS handshake failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TrustTestCa(c.trustCa);
        Settings settings = SettingsFor(c.security, c.host, c.port);
        settings.AcceptedCertificate = c.accepted;
        NewsConnection connection(settings, view);
        connection.NNTP1.SetReplyTimeout(5000);
        const TransferOutcome connected = connection.ConnectAndWait();
        if (c.error == 0) {
            EXPECT_TRUE(connected) << connected.Text;
            EXPECT_EQ(connection.NNTP1.PeerCertificateFingerprint(), serverFingerprint);
            connection.DisconnectAndWait();
            continue;
        }
        EXPECT_FALSE(connected);
        EXPECT_EQ(connected.Code, c.error) << connected.Text;
        EXPECT_NE(connected.Text.find(c.errorText), std::string::npos) << connected.Text;
        if (c.error == nntpErrorCertificate) {
            EXPECT_NE(connected.Text.find(serverFingerprint), std::string::npos) << connected.Text;
            EXPECT_EQ(connection.NNTP1.PeerCertificateFingerprint(), serverFingerprint);
        }
        EXPECT_TRUE(connection.Disconnected());
    }
    for (const std::string& command : noStartTls.Commands())
        EXPECT_EQ(command.rfind("AUTHINFO", 0), std::string::npos) << command;
}

} // namespace
