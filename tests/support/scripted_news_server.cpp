#include "scripted_news_server.h"

#include "ascii.h"

#include <QHostAddress>
#include <QMetaObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>

namespace {

struct Group {
    bool isNew = false;
    std::map<std::int64_t, std::string> articles; // number -> text, CR LF
};

struct Rule {
    std::string prefix;
    std::string reply;
    bool silent = false;
    bool close = false;
    int timesLeft = -1;
};

struct Session {
    std::string buffer;
    std::string group;
    bool authenticated = false;
    std::string user;
    bool inPost = false;
    std::string post;
};

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return ascii::StartsWithIgnoringCase(text, prefix);
}

std::string ToCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            out += "\r\n";
        } else {
            out += c;
        }
    }
    if (!out.empty() && out.back() != '\n')
        out += "\r\n";
    return out;
}

std::string Argument(const std::string& line) {
    const std::size_t space = line.find(' ');
    if (space == std::string::npos)
        return {};
    std::size_t start = line.find_first_not_of(' ', space);
    return start == std::string::npos ? std::string() : line.substr(start);
}

} // namespace

struct ScriptedNewsServer::Impl {
    mutable std::mutex mutex;
    std::string greeting = "200 Scripted news server ready";
    std::map<std::string, Group> groups;
    std::vector<Rule> rules;
    bool authRequired = false;
    std::string authUser, authPassword;
    std::size_t chunkBytes = 0;
    int chunkDelayMs = 1;
    std::vector<std::string> commands;
    std::vector<std::string> posted;
    int connections = 0;

    QThread thread;
    QTcpServer* server = nullptr; // lives in thread
    int port = 0;

    // --- Everything below runs in the server thread.
    void Accept();
    void Send(QTcpSocket* socket, const std::string& bytes, bool closeAfter);
    void Feed(QTcpSocket* socket, Session& session);
    void Command(QTcpSocket* socket, Session& session, const std::string& line);
    std::string BuiltIn(Session& session, const std::string& line, bool& closeAfter);
};

void ScriptedNewsServer::Impl::Accept() {
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        auto session = std::make_shared<Session>();
        std::string greet;
        {
            std::lock_guard lock(mutex);
            ++connections;
            greet = greeting;
        }
        QObject::connect(socket, &QTcpSocket::readyRead, socket,
                         [this, socket, session] { Feed(socket, *session); });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (!greet.empty())
            Send(socket, greet + "\r\n", false);
    }
}

void ScriptedNewsServer::Impl::Send(QTcpSocket* socket, const std::string& bytes, bool closeAfter) {
    std::size_t chunk = 0;
    int delay = 1;
    {
        std::lock_guard lock(mutex);
        chunk = chunkBytes;
        delay = chunkDelayMs;
    }
    if (chunk == 0 || bytes.size() <= chunk) {
        socket->write(bytes.data(), static_cast<qint64>(bytes.size()));
        socket->flush();
        if (closeAfter)
            socket->disconnectFromHost();
        return;
    }
    QPointer<QTcpSocket> guard(socket);
    int step = 0;
    for (std::size_t at = 0; at < bytes.size(); at += chunk, ++step) {
        const std::string piece = bytes.substr(at, chunk);
        const bool last = at + chunk >= bytes.size();
        QTimer::singleShot(step * delay, socket, [guard, piece, last, closeAfter] {
            if (!guard)
                return;
            guard->write(piece.data(), static_cast<qint64>(piece.size()));
            guard->flush();
            if (last && closeAfter)
                guard->disconnectFromHost();
        });
    }
}

void ScriptedNewsServer::Impl::Feed(QTcpSocket* socket, Session& session) {
    session.buffer += socket->readAll().toStdString();
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = session.buffer.find('\n', start);
        if (end == std::string::npos)
            break;
        std::string line = session.buffer.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        start = end + 1;
        if (session.inPost) {
            if (line != ".") {
                session.post += line + "\r\n";
                continue;
            }
            session.inPost = false;
            {
                std::lock_guard lock(mutex);
                posted.push_back(session.post);
            }
            session.post.clear();
        }
        Command(socket, session, line);
        if (socket->state() != QAbstractSocket::ConnectedState)
            break;
    }
    session.buffer.erase(0, start);
}

void ScriptedNewsServer::Impl::Command(QTcpSocket* socket, Session& session,
                                       const std::string& line) {
    std::string reply;
    bool closeAfter = false;
    bool scripted = false;
    bool silent = false;
    {
        std::lock_guard lock(mutex);
        if (line != EndOfArticle)
            commands.push_back(line);
        for (Rule& rule : rules) {
            if (rule.timesLeft == 0 || !StartsWithNoCase(line, rule.prefix))
                continue;
            if (rule.prefix.empty() && line == EndOfArticle)
                continue;
            if (rule.timesLeft > 0)
                --rule.timesLeft;
            scripted = true;
            reply = rule.reply;
            silent = rule.silent;
            closeAfter = rule.close;
            break;
        }
    }
    if (!scripted)
        reply = BuiltIn(session, line, closeAfter);
    if (silent)
        return;
    if (reply.empty() && closeAfter) {
        socket->disconnectFromHost();
        return;
    }
    Send(socket, reply, closeAfter);
}

std::string ScriptedNewsServer::Impl::BuiltIn(Session& session, const std::string& line,
                                              bool& closeAfter) {
    std::lock_guard lock(mutex);
    if (line == EndOfArticle)
        return "240 Article received\r\n";
    if (StartsWithNoCase(line, "QUIT")) {
        closeAfter = true;
        return "205 Bye\r\n";
    }
    if (StartsWithNoCase(line, "AUTHINFO USER ")) {
        session.user = Argument(Argument(line));
        return "381 Password required\r\n";
    }
    if (StartsWithNoCase(line, "AUTHINFO PASS ")) {
        const std::string password = Argument(Argument(line));
        if (authRequired && (session.user != authUser || password != authPassword))
            return "481 Authentication failed\r\n";
        session.authenticated = true;
        return "281 Authentication accepted\r\n";
    }
    if (StartsWithNoCase(line, "MODE READER"))
        return "200 Reader mode, posting permitted\r\n";
    if (authRequired && !session.authenticated)
        return "480 Authentication required\r\n";

    if (StartsWithNoCase(line, "LISTGROUP ")) {
        const std::string rest = Argument(line);
        const std::string name = rest.substr(0, rest.find(' '));
        const auto found = groups.find(name);
        if (found == groups.end())
            return "411 No such newsgroup\r\n";
        session.group = name;
        const std::string range = Argument(rest);
        std::int64_t low = 0;
        std::int64_t high = INT64_MAX;
        if (!range.empty()) {
            low = std::atoll(range.c_str());
            const auto dash = range.find('-');
            if (dash != std::string::npos && dash + 1 < range.size())
                high = std::atoll(range.c_str() + dash + 1);
        }
        const auto& articles = found->second.articles;
        std::string numbers;
        for (const auto& [number, text] : articles)
            if (number >= low && number <= high)
                numbers += std::to_string(number) + "\r\n";
        const std::int64_t first = articles.empty() ? 1 : articles.begin()->first;
        const std::int64_t last = articles.empty() ? 0 : articles.rbegin()->first;
        return "211 " + std::to_string(articles.size()) + " " + std::to_string(first) + " " +
               std::to_string(last) + " " + name + " list follows\r\n" + DataBlock(numbers);
    }
    if (StartsWithNoCase(line, "LIST")) {
        std::string text;
        for (const auto& [name, group] : groups) {
            const std::int64_t first = group.articles.empty() ? 1 : group.articles.begin()->first;
            const std::int64_t last = group.articles.empty() ? 0 : group.articles.rbegin()->first;
            text += name + " " + std::to_string(last) + " " + std::to_string(first) + " y\r\n";
        }
        return "215 Newsgroups follow\r\n" + DataBlock(text);
    }
    if (StartsWithNoCase(line, "NEWGROUPS")) {
        std::string text;
        for (const auto& [name, group] : groups)
            if (group.isNew)
                text += name + " 0 1 y\r\n";
        return "231 New newsgroups follow\r\n" + DataBlock(text);
    }
    if (StartsWithNoCase(line, "GROUP ")) {
        const std::string name = Argument(line);
        const auto found = groups.find(name);
        if (found == groups.end())
            return "411 No such newsgroup\r\n";
        session.group = name;
        const auto& articles = found->second.articles;
        const std::int64_t first = articles.empty() ? 1 : articles.begin()->first;
        const std::int64_t last = articles.empty() ? 0 : articles.rbegin()->first;
        return "211 " + std::to_string(articles.size()) + " " + std::to_string(first) + " " +
               std::to_string(last) + " " + name + "\r\n";
    }
    if (StartsWithNoCase(line, "ARTICLE")) {
        const std::string argument = Argument(line);
        if (!argument.empty() && argument[0] == '<')
            return "430 No such article\r\n";
        const auto group = groups.find(session.group);
        if (group == groups.end())
            return "412 No newsgroup selected\r\n";
        const std::int64_t number = std::atoll(argument.c_str());
        const auto article = group->second.articles.find(number);
        if (article == group->second.articles.end())
            return "423 No article with that number\r\n";
        return "220 " + std::to_string(number) + " <" + std::to_string(number) + "@scripted>\r\n" +
               DataBlock(article->second);
    }
    if (StartsWithNoCase(line, "STAT <")) {
        const std::string header = "Message-ID: " + Argument(line) + "\r\n";
        for (const std::string& article : posted)
            if (article.rfind(header, 0) == 0 || article.find("\r\n" + header) != std::string::npos)
                return "223 0 " + Argument(line) + "\r\n";
        return "430 No such article\r\n";
    }
    if (StartsWithNoCase(line, "POST")) {
        session.inPost = true;
        session.post.clear();
        return "340 Send article to be posted\r\n";
    }
    return "500 Unknown command\r\n";
}

ScriptedNewsServer::ScriptedNewsServer(Loopback loopback)
    : d(std::make_unique<Impl>()), loopback_(loopback) {
    const QHostAddress address =
        loopback == Loopback::IPv6 ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost;
    d->server = new QTcpServer;
    d->server->moveToThread(&d->thread);
    d->thread.start();
    QMetaObject::invokeMethod(
        d->server,
        [impl = d.get(), address] {
            QObject::connect(impl->server, &QTcpServer::newConnection, impl->server,
                             [impl] { impl->Accept(); });
            impl->server->listen(address, 0);
            impl->port = impl->server->serverPort();
        },
        Qt::BlockingQueuedConnection);
}

ScriptedNewsServer::~ScriptedNewsServer() {
    QMetaObject::invokeMethod(
        d->server, [impl = d.get()] { delete impl->server; }, Qt::BlockingQueuedConnection);
    d->thread.quit();
    d->thread.wait();
}

int ScriptedNewsServer::Port() const {
    return d->port;
}

int ScriptedNewsServer::UnusedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const int port = probe.serverPort();
    probe.close();
    return port;
}

void ScriptedNewsServer::SetGreeting(const std::string& line) {
    std::lock_guard lock(d->mutex);
    d->greeting = line;
}

void ScriptedNewsServer::AddGroup(const std::string& name, bool isNew) {
    std::lock_guard lock(d->mutex);
    d->groups[name].isNew = isNew;
}

void ScriptedNewsServer::AddArticle(const std::string& group, std::int64_t number,
                                    const std::string& text) {
    std::lock_guard lock(d->mutex);
    d->groups[group].articles[number] = ToCrLf(text);
}

void ScriptedNewsServer::RequireAuthentication(const std::string& user,
                                               const std::string& password) {
    std::lock_guard lock(d->mutex);
    d->authRequired = true;
    d->authUser = user;
    d->authPassword = password;
}

void ScriptedNewsServer::Reply(const std::string& prefix, const std::string& rawReply, int times) {
    std::lock_guard lock(d->mutex);
    d->rules.push_back({prefix, rawReply, false, false, times});
}

void ScriptedNewsServer::Silence(const std::string& prefix, int times) {
    std::lock_guard lock(d->mutex);
    d->rules.push_back({prefix, {}, true, false, times});
}

void ScriptedNewsServer::Drop(const std::string& prefix, const std::string& rawPartial, int times) {
    std::lock_guard lock(d->mutex);
    d->rules.push_back({prefix, rawPartial, false, true, times});
}

void ScriptedNewsServer::SetWriteChunking(std::size_t chunkBytes, int delayMs) {
    std::lock_guard lock(d->mutex);
    d->chunkBytes = chunkBytes;
    d->chunkDelayMs = std::max(0, delayMs);
}

std::vector<std::string> ScriptedNewsServer::Commands() const {
    std::lock_guard lock(d->mutex);
    return d->commands;
}

std::vector<std::string> ScriptedNewsServer::PostedArticles() const {
    std::lock_guard lock(d->mutex);
    return d->posted;
}

int ScriptedNewsServer::Connections() const {
    std::lock_guard lock(d->mutex);
    return d->connections;
}

std::string ScriptedNewsServer::DataBlock(const std::string& text) {
    const std::string lines = ToCrLf(text);
    std::string block;
    block.reserve(lines.size() + 16);
    bool lineStart = true;
    for (const char c : lines) {
        if (lineStart && c == '.')
            block += '.';
        block += c;
        lineStart = c == '\n';
    }
    return block + ".\r\n";
}
