// An NNTP server inside the test process, on 127.0.0.1 (or ::1) with an
// ephemeral port, for what a real server will not do on demand: refusals, credential
// challenges, dropped connections, silence, malformed and oversized replies.
//
// It runs in its own thread, so it answers whether or not the test pumps
// events, and a blocking client works against it too. Script it before (or
// between) connections; every call is thread-safe.
//
// Without a script it behaves as a small, well-mannered reader server:
//   greeting      "200 Scripted news server ready"
//   MODE READER   200          QUIT        205, then closes
//   LIST [ACTIVE] 215 + "name last first y" per group
//   NEWGROUPS ... 231 + the groups added with isNew
//   GROUP name    211 count first last name, or 411
//   LISTGROUP name [a-b]  211 and the numbers of the group's articles in a..b
//   ARTICLE n     220 + the article dot-stuffed, 412 without a group, 423 when
//                 missing; ARTICLE <id> 430
//   STAT <id>     223 when an article posted here has that Message-ID, else 430
//   POST          340, reads the article up to the dot, 240
//   AUTHINFO      USER 381, PASS 281 (or 481 when the password is wrong)
//   anything else 500
//
//   ScriptedNewsServer server;
//   server.AddArticle("misc.test", 3, "Subject: hi\r\n\r\nbody\r\n");
//   server.Reply("GROUP", "480 Authentication required\r\n", 1); // once, then normal
//   server.Drop("ARTICLE 4");                                    // close on that command
//   control.Connect(server.Host(), server.Port());
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class ScriptedNewsServer {
public:
    enum class Loopback { IPv4, IPv6 };
    explicit ScriptedNewsServer(Loopback loopback = Loopback::IPv4);
    ~ScriptedNewsServer();
    ScriptedNewsServer(const ScriptedNewsServer&) = delete;
    ScriptedNewsServer& operator=(const ScriptedNewsServer&) = delete;

    std::string Host() const { return loopback_ == Loopback::IPv6 ? "::1" : "127.0.0.1"; }
    // 0 when the server could not listen (a machine without IPv6).
    int Port() const;
    // A loopback port nobody listens on, for refused connections.
    static int UnusedPort();

    // --- Content of the built-in behaviour.
    // The greeting line, without CR LF. Empty: say nothing at all on connect.
    void SetGreeting(const std::string& line);
    // isNew: listed by NEWGROUPS as well.
    void AddGroup(const std::string& name, bool isNew = false);
    // text: header block, empty line, body; LF or CR LF line ends. The
    // group's range follows the numbers added.
    void AddArticle(const std::string& group, std::int64_t number, const std::string& text);
    // Commands other than AUTHINFO, MODE READER and QUIT get 480 until the
    // connection has given this user and password.
    void RequireAuthentication(const std::string& user, const std::string& password);

    // --- Rules, tried before the built-in behaviour. A command matches a
    // rule when it starts with the rule's prefix (letters compared without
    // regard to case); the first matching rule with uses left applies.
    // times < 0: for ever. The end of a posted article is matched as the
    // command EndOfArticle, so rules can script the reply to the posting.
    static constexpr const char* EndOfArticle = ".";

    // Sends rawReply exactly as given (include the CR LF yourself).
    void Reply(const std::string& prefix, const std::string& rawReply, int times = -1);
    // Sends nothing: the client waits for a reply that never comes.
    void Silence(const std::string& prefix, int times = -1);
    // Sends rawPartial (may be empty), then closes the connection.
    void Drop(const std::string& prefix, const std::string& rawPartial = {}, int times = -1);

    // Every write is cut into pieces of at most chunkBytes, sent delayMs
    // apart, so the client sees lines split across reads. 0: whole writes.
    void SetWriteChunking(std::size_t chunkBytes, int delayMs = 1);

    // --- What happened.
    // Command lines received, in order, without CR LF (AUTHINFO included,
    // the lines of posted articles not).
    std::vector<std::string> Commands() const;
    // Posted articles as they arrived on the wire: still dot-stuffed, CR LF,
    // without the terminating dot line.
    std::vector<std::string> PostedArticles() const;
    int Connections() const;

    // Dot-stuffs text and ends it with the terminating line: the block that
    // follows a multi-line status line.
    static std::string DataBlock(const std::string& text);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
    Loopback loopback_;
};
