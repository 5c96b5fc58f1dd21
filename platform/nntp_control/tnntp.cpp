#include "tnntp.h"

#include "byte_stream.h"
#include "nntp_wire.h"
#include "tcp_stream.h"
#include "tls_stream.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QTimer>

#include <algorithm>
#include <cstring>

namespace {

// Documents reach the program in pieces of about this size, so a long list
// shows progress and no piece is copied more than once.
constexpr std::size_t DocumentChunk = 64 * 1024;

// What the next event from the network means.
enum class Awaiting {
    Nothing,
    HostLookup,
    StreamConnect,
    TlsHandshake,
    Greeting,
    ModeReaderReply,
    StartTlsReply,
    CommandReply, // the status line answering the operation's command
    ListLines,
    ArticleHeaders,
    ArticleBody,
    PostedReply, // the status line after the article was sent
    AuthUserReply,
    AuthPassReply,
    QuitReply,
};

// What follows the reply that lets an operation go on.
enum class Text {
    None,      // nothing: the status line is the answer
    ListLines, // a list, line by line, up to the dot
    Article,   // an article's headers, an empty line and its body, up to the dot
    Posting,   // nothing yet: the server waits for our article
};

// An operation as the state machine reads it.
struct Operation {
    std::string_view command; // its arguments follow it
    Awaiting reply;           // what the reply to the command is awaited as
    int success;              // the code of a CommandReply that lets it go on
    Text text;

    bool ReceivesDocument() const { return text == Text::ListLines || text == Text::Article; }
};

// Every operation, described once. Connecting (its command goes after the
// greeting) and signing off judge their replies in states of their own.
namespace ops {
constexpr Operation Idle{{}, Awaiting::Nothing, 0, Text::None};
constexpr Operation Connect{"MODE READER", Awaiting::ModeReaderReply, 0, Text::None};
constexpr Operation SignOff{"QUIT", Awaiting::QuitReply, 0, Text::None};
constexpr Operation ListGroups{"LIST", Awaiting::CommandReply, 215, Text::ListLines};
constexpr Operation ListNewGroups{"NEWGROUPS", Awaiting::CommandReply, 231, Text::ListLines};
constexpr Operation SelectGroup{"GROUP", Awaiting::CommandReply, 211, Text::None};
constexpr Operation GetArticle{"ARTICLE", Awaiting::CommandReply, 220, Text::Article};
constexpr Operation StatArticle{"STAT", Awaiting::CommandReply, 223, Text::None};
constexpr Operation ListArticleNumbers{"LISTGROUP", Awaiting::CommandReply, 211, Text::ListLines};
constexpr Operation SendDocument{"POST", Awaiting::CommandReply, 340, Text::Posting};
} // namespace ops

} // namespace

// The protocol as one state machine: `awaiting` says what the next event
// from the network means, TakeLine decides on each reply line, and Finish is
// the one place where an operation ends (and OnBusy(false) is raised).
struct TNNTP::Impl {
    Impl(TNNTP* owner, std::unique_ptr<ByteStream> given)
        : q(owner), ownStream(!given),
          stream(given ? std::move(given) : std::make_unique<TcpStream>(owner)), replyTimer(owner),
          progressTimer(owner) {}

    TNNTP* q;
    // The control made the stream, and makes the kind each Connect needs.
    bool ownStream;
    bool streamIsTls = false;
    std::unique_ptr<ByteStream> stream;
    TNNTPSecurity security = TNNTPSecurity::None;
    std::string acceptedFingerprint;
    // STARTTLS is still to come: the first MODE READER went in clear text.
    bool startTlsDue = false;
    QTimer replyTimer;
    QElapsedTimer lastActivity;
    int replyTimeoutMs = 60000;
    QTimer progressTimer;
    int progressWindowMs = 60000;
    std::size_t progressFloor = nntp::MinimumBytesPerMinute;
    std::size_t windowBytes = 0; // received since the window began

    std::size_t articleLimit = nntp::DefaultArticleLimit;
    std::size_t listLimit = nntp::DefaultListLimit;
    std::size_t documentBytes = 0; // of the document now arriving
    bool discarding = false;       // it is over its limit; the rest is dropped

    std::string remoteHost;
    std::int32_t remotePort = 0;
    std::int16_t state = nntpDisconnected;
    const Operation* operation = &ops::Idle;
    Awaiting awaiting = Awaiting::Nothing;
    int lookupId = -1;

    // The operation's command line with its CR LF, kept to be sent again
    // after the server accepted credentials.
    std::string command;
    bool authenticated = false;
    std::string password;

    // Received bytes; those before `taken` have been taken as lines.
    std::string input;
    std::size_t taken = 0;
    bool reading = false;

    // Read-ahead: the articles the caller will ask for, in order. Those
    // before `asked` have been asked for by the caller, those before `sent`
    // have their ARTICLE command on the wire.
    struct ArticlePlan {
        std::vector<std::int32_t> numbers; // listed; else the range below
        std::int64_t first = 0;
        std::size_t count = 0;
        std::size_t asked = 0;
        std::size_t sent = 0;
        std::size_t Size() const { return numbers.empty() ? count : numbers.size(); }
        std::int32_t At(std::size_t i) const {
            return numbers.empty() ? static_cast<std::int32_t>(first + static_cast<std::int64_t>(i))
                                   : numbers[i];
        }
        std::size_t InFlight() const { return sent - asked; }
        void Clear() { *this = ArticlePlan(); }
    } plan;
    std::size_t readAheadCommands = nntp::ReadAheadCommands;
    std::size_t readAheadBytes = nntp::ReadAheadBytes;
    // Grows to readAheadCommands as the plan goes well, so a short group
    // costs no more commands than it has articles.
    std::size_t window = 0;
    // Reading is stopped: readAheadBytes wait for the caller.
    bool heldBack = false;
    // Replies still due to commands whose answers nobody wants any more;
    // they come before any other and are read and dropped.
    std::size_t staleReplies = 0;
    bool inStaleText = false;
    std::size_t staleBytes = 0;
    // Why the connection ended while planned replies were due; the next
    // GetArticle fails with it.
    std::string lostAhead;

    TDocument docInput;
    TDocument docOutput;
    bool receiving = false;  // DocOutput between begin and end
    bool sending = false;    // DocInput between begin and end
    std::string pendingData; // document text not yet delivered
    std::string postWire;
    std::size_t postWritten = 0;

    // --- Events, each raised in one place.
    void SetState(std::int16_t newState) {
        if (state == newState)
            return;
        state = newState;
        if (q->OnStateChanged)
            q->OnStateChanged(q, newState);
    }
    void RaiseBusy(bool busy) {
        if (q->OnBusy)
            q->OnBusy(q, busy);
    }
    void RaiseDocOutput(std::int16_t docState) {
        docOutput.State = docState;
        if (q->OnDocOutput)
            q->OnDocOutput(q, docOutput);
    }
    void RaiseDocInput(std::int16_t docState) {
        docInput.State = docState;
        if (q->OnDocInput)
            q->OnDocInput(q, docInput);
    }
    void RaiseError(std::int16_t number, std::string description) {
        bool cancelDisplay = false;
        if (q->OnError)
            q->OnError(q, number, description, 0, "NNTP", std::string(), 0, cancelDisplay);
    }

    // --- Starting and ending operations.
    bool Idle() const { return operation == &ops::Idle; }
    void RequireIdleConnection() const {
        if (state != nntpConnected || !stream->Connected())
            throw EControlError("Not connected");
        if (!Idle())
            throw EControlError("The control is busy");
    }
    void Begin(const Operation& op) {
        if (&op != &ops::GetArticle && plan.Size() > 0)
            DropPlan();
        operation = &op;
        authenticated = false;
        windowBytes = 0;
        progressTimer.start(progressWindowMs);
        RaiseBusy(true);
    }
    // Sends the operation's command, with these arguments, and awaits its
    // reply.
    void SendCommand(std::string_view arguments = {}) {
        command.assign(operation->command);
        if (!arguments.empty()) {
            command += ' ';
            command += arguments;
        }
        command += "\r\n";
        SendCommandAgain();
    }
    void SendCommandAgain() {
        stream->Send(command.data(), command.size());
        Await(operation->reply);
    }
    void Write(const std::string& line) {
        const std::string bytes = line + "\r\n";
        stream->Send(bytes.data(), bytes.size());
    }
    void Await(Awaiting what) {
        awaiting = what;
        NoteActivity();
    }
    // The reply timer is not re-armed for every read: it runs on, and when
    // it fires it looks at how long the server has really been quiet.
    void NoteActivity() {
        lastActivity.restart();
        if (!replyTimer.isActive())
            replyTimer.start(replyTimeoutMs);
    }

    void Succeed() { Finish(false, 0, {}, false); }
    void Fail(std::int16_t number, const std::string& description, bool dropConnection) {
        Finish(true, number, description, dropConnection);
    }
    // Ends the operation that was just begun from the event loop, as if the
    // server had refused it, so the caller's wait sees the usual events.
    void FailSoon(std::int16_t number, const std::string& description) {
        awaiting = Awaiting::Nothing;
        replyTimer.stop();
        const Operation* failing = operation;
        QTimer::singleShot(0, q, [this, failing, number, description] {
            if (operation == failing)
                Fail(number, description, false);
        });
    }
    void ProtocolFailure(const std::string& description) {
        // Once a reply makes no sense the two sides are out of step; only a
        // fresh connection can recover.
        Fail(nntpErrorProtocol, description, true);
    }
    void Finish(bool failed, std::int16_t number, const std::string& description,
                bool dropConnection);
    void CloseSocket() {
        pendingData.clear();
        input.clear();
        taken = 0;
        plan.Clear();
        staleReplies = 0;
        inStaleText = false;
        heldBack = false;
        stream->Close();
        SetState(nntpDisconnected);
    }

    // --- Read-ahead.
    // Replies to planned commands wait in `input` while nobody asks for them.
    bool HoldingAhead() const { return Idle() && staleReplies == 0 && plan.InFlight() > 0; }
    bool RepliesDue() const { return plan.InFlight() > 0 || staleReplies > 0; }
    // The replies still due for the plan are nobody's now.
    void DropPlan() {
        staleReplies += plan.InFlight();
        plan.Clear();
        ResumeReading();
    }
    void ResumeReading() {
        if (heldBack) {
            heldBack = false;
            // The server waited on us, not we on it.
            lastActivity.restart();
        }
        stream->PauseReading(false);
        // What waits in `input` is taken from the event loop, as if it had
        // just arrived.
        QTimer::singleShot(0, q, [this] {
            if (reading || taken >= input.size())
                return;
            reading = true;
            TakeLines();
            DeliverPendingData();
            reading = false;
            if (!heldBack && stream->Open())
                stream->PauseReading(false);
        });
    }
    void SendAhead(bool atLeastOne);
    bool TakePlannedArticle(std::int32_t number);
    void SkipStaleLine(std::string_view line);

    // --- Network events.
    void LookedUp(const QHostInfo& info);
    void Connected();
    void Encrypted();
    void CertificateRefused(const std::string& why);
    bool StartEncryption();
    void BindStream();
    void ReadyRead();
    void BytesWritten(std::size_t bytes);
    void ConnectionEnded(const std::string& why);
    void TimedOut();
    void CheckProgress();

    // --- Reply lines.
    void TakeLines();
    void TakeLine(std::string_view line);
    bool ReportGroup(std::string_view line);
    void TakeDataLine(std::string_view line);
    void TakeHeaderLine(std::string_view line);
    bool CountDocumentLine(std::size_t length);
    void FailTooLarge(bool dropConnection);
    void StartAuthentication();

    // --- Documents.
    void BeginReceiving() {
        receiving = true;
        documentBytes = 0;
        discarding = false;
        pendingData.clear();
        docOutput.Headers().Clear();
        docOutput.Chunk.clear();
        docOutput.BytesTransferred = 0;
        docOutput.BytesTotal = 0;
        RaiseDocOutput(docBegin);
    }
    void DeliverPendingData() {
        if (!receiving || pendingData.empty())
            return;
        docOutput.BytesTransferred += static_cast<double>(pendingData.size());
        // Handed over, and taken back for the next chunk. (A swap here draws
        // a false -Wrestrict from GCC 12 at -O3.)
        docOutput.Chunk = std::move(pendingData);
        RaiseDocOutput(docData);
        pendingData = std::move(docOutput.Chunk);
        pendingData.clear();
        docOutput.Chunk.clear();
    }
    void EndReceiving() {
        DeliverPendingData();
        receiving = false;
        RaiseDocOutput(docEnd);
    }
    void SendArticle();
};

void TNNTP::Impl::Finish(bool failed, std::int16_t number, const std::string& description,
                         bool dropConnection) {
    const Operation* ended = operation;
    if (lookupId >= 0) {
        QHostInfo::abortHostLookup(lookupId);
        lookupId = -1;
    }
    operation = &ops::Idle;
    awaiting = Awaiting::Nothing;
    progressTimer.stop();
    discarding = false;
    command.clear();
    password.clear();
    if (failed) {
        if (receiving || ended->ReceivesDocument()) {
            receiving = false;
            pendingData.clear();
            docOutput.Chunk.clear();
            RaiseDocOutput(docError);
            RaiseDocOutput(docEnd);
        }
        if (sending) {
            sending = false;
            RaiseDocInput(docError);
        }
        RaiseError(number, description);
    }
    receiving = false;
    sending = false;
    if (dropConnection || (failed && ended == &ops::Connect))
        CloseSocket();
    if (ended != &ops::Idle)
        RaiseBusy(false);
}

void TNNTP::Impl::LookedUp(const QHostInfo& info) {
    lookupId = -1;
    if (operation != &ops::Connect || awaiting != Awaiting::HostLookup)
        return;
    QHostAddress address;
    for (const QHostAddress& candidate : info.addresses()) {
        if (address.isNull() || (candidate.protocol() == QAbstractSocket::IPv4Protocol &&
                                 address.protocol() != QAbstractSocket::IPv4Protocol))
            address = candidate;
    }
    if (info.error() != QHostInfo::NoError || address.isNull()) {
        Fail(nntpErrorHostNotFound, "Host not found: " + remoteHost, true);
        return;
    }
    SetState(nntpHostResolved);
    SetState(nntpConnecting);
    Await(Awaiting::StreamConnect);
    stream->ConnectTo(address, static_cast<std::uint16_t>(remotePort));
}

void TNNTP::Impl::Connected() {
    if (operation != &ops::Connect || awaiting != Awaiting::StreamConnect)
        return;
    if (security == TNNTPSecurity::Tls) {
        StartEncryption();
        return;
    }
    Await(Awaiting::Greeting);
}

bool TNNTP::Impl::StartEncryption() {
    if (!stream->StartEncryption(remoteHost, acceptedFingerprint)) {
        Fail(nntpErrorTlsUnavailable,
             "TLS is not available (the TLS library could not be loaded); nothing was sent", true);
        return false;
    }
    Await(Awaiting::TlsHandshake);
    return true;
}

void TNNTP::Impl::Encrypted() {
    if (operation != &ops::Connect || awaiting != Awaiting::TlsHandshake)
        return;
    if (security == TNNTPSecurity::Tls) {
        Await(Awaiting::Greeting);
        return;
    }
    // RFC 4642: the session starts afresh, so the mode is asked for again;
    // only now may credentials follow.
    startTlsDue = false;
    SendCommand();
}

void TNNTP::Impl::CertificateRefused(const std::string& why) {
    if (operation != &ops::Connect || awaiting != Awaiting::TlsHandshake)
        return;
    const std::string fingerprint = stream->PeerCertificateFingerprint();
    Fail(nntpErrorCertificate,
         "The server's certificate is not trusted: " + why + ". Its SHA-256 fingerprint is " +
             (fingerprint.empty() ? std::string("unknown") : fingerprint),
         true);
}

void TNNTP::Impl::BindStream() {
    stream->OnConnected = [this] { Connected(); };
    stream->OnReadable = [this] { ReadyRead(); };
    stream->OnWritten = [this](std::size_t bytes) { BytesWritten(bytes); };
    stream->OnFailed = [this](const std::string& why) { ConnectionEnded(why); };
    stream->OnEncrypted = [this] { Encrypted(); };
    stream->OnCertificateRefused = [this](const std::string& why) { CertificateRefused(why); };
}

void TNNTP::Impl::ReadyRead() {
    // A handler may pump events while we deliver; the outer call takes
    // whatever arrives meanwhile, and the stream stays quiet until then.
    if (reading) {
        stream->PauseReading(true);
        return;
    }
    reading = true;
    std::string why;
    ByteStream::ReceiveResult result;
    bool acknowledged = false;
    for (;;) {
        const std::size_t before = input.size();
        result = stream->Receive(input, why);
        if (result != ByteStream::ReceiveResult::Data)
            break;
        windowBytes += input.size() - before;
        const bool chunkFull = input.size() - before == ByteStream::ReceiveChunk;
        if (awaiting != Awaiting::Nothing || RepliesDue())
            NoteActivity();
        TakeLines();
        if (!stream->Connected())
            break;
        if (HoldingAhead() && input.size() - taken >= readAheadBytes) {
            heldBack = true;
            break;
        }
        if (chunkFull)
            continue;
        // While a reply is still coming, acknowledge what came at once: the
        // server's Nagle holds the rest back until that ACK. A finished
        // reply needs none of its own, as the next command carries it.
        if (awaiting == Awaiting::Nothing || acknowledged)
            break;
        stream->AcknowledgeAtOnce();
        acknowledged = true;
        // The ACK releases the rest, which on a fast link is often here by
        // the time the call returns: one more look saves a pass of the
        // event loop per reply.
    }
    DeliverPendingData();
    reading = false;
    if (heldBack)
        stream->PauseReading(true);
    else if (result == ByteStream::ReceiveResult::Closed ||
             result == ByteStream::ReceiveResult::Failed)
        ConnectionEnded(why);
    else
        stream->PauseReading(false);
}

void TNNTP::Impl::TakeLines() {
    std::size_t start = taken;
    bool holding = false;
    while (start < input.size()) {
        // Replies to planned commands wait for the caller to ask.
        if (HoldingAhead()) {
            holding = true;
            break;
        }
        const char* begin = input.data() + start;
        const void* newline = std::memchr(begin, '\n', input.size() - start);
        if (!newline)
            break;
        std::size_t length = static_cast<const char*>(newline) - begin;
        const std::size_t next = start + length + 1;
        if (length > 0 && begin[length - 1] == '\r')
            --length;
        TakeLine(std::string_view(begin, length));
        start = next;
        if (!stream->Open())
            return; // CloseSocket cleared the input
    }
    // Taken lines are dropped from the front only now and then, so that
    // replies held ahead are not moved for every article taken from them.
    taken = start;
    if (taken == input.size()) {
        input.clear();
        taken = 0;
    } else if (taken >= input.size() / 2) {
        input.erase(0, taken);
        taken = 0;
    }
    if (holding)
        return; // complete replies, bounded by readAheadBytes

    // A line that never ends must not grow memory without bound. While a
    // document arrives the line is one of its text, else a status line.
    const std::size_t limit = receiving || inStaleText ? nntp::MaxTextLine : nntp::MaxStatusLine;
    if (input.size() - taken > limit) {
        if (awaiting == Awaiting::Nothing && !RepliesDue()) {
            input.clear(); // nobody asked; just forget it
            taken = 0;
        } else if (Idle()) {
            CloseSocket(); // a stale reply out of bounds: the line is lost
        } else {
            ProtocolFailure("The server sent a line longer than " + std::to_string(limit) +
                            " bytes");
        }
    }
}

void TNNTP::Impl::TakeLine(std::string_view line) {
    // Replies to dropped commands come before any other.
    if (staleReplies > 0) {
        SkipStaleLine(line);
        return;
    }
    switch (awaiting) {
    case Awaiting::Nothing:
    case Awaiting::HostLookup:
    case Awaiting::StreamConnect:
    case Awaiting::QuitReply:
        return; // unasked lines, and the farewell, change nothing
    case Awaiting::ListLines:
    case Awaiting::ArticleBody:
        TakeDataLine(line);
        return;
    case Awaiting::ArticleHeaders:
        TakeHeaderLine(line);
        return;
    case Awaiting::TlsHandshake:
        // Text behind the 382 would be read as if it came encrypted.
        ProtocolFailure("The server sent clear text after agreeing to STARTTLS");
        return;
    default:
        break;
    }

    const std::optional<int> code = nntp::StatusCode(line);
    if (!code) {
        ProtocolFailure("Not an NNTP reply: " + std::string(line.substr(0, 200)));
        return;
    }
    const std::string text(line);
    switch (awaiting) {
    case Awaiting::Greeting:
        if (*code == 200 || *code == 201)
            SendCommand();
        else
            Fail(static_cast<std::int16_t>(*code), text, true);
        return;
    case Awaiting::ModeReaderReply:
        if (startTlsDue) {
            // Credentials (480) wait for the encrypted session.
            if (*code == 200 || *code == 201 || *code == 480 || *code == 500 || *code == 501) {
                Write("STARTTLS");
                Await(Awaiting::StartTlsReply);
            } else {
                Fail(static_cast<std::int16_t>(*code), text, true);
            }
            return;
        }
        if (*code == 480) {
            StartAuthentication();
        } else if (*code == 200 || *code == 201 || *code == 500 || *code == 501) {
            // 500/501: a server that serves readers only and never heard of
            // the mode switch.
            SetState(nntpConnected);
            Succeed();
        } else {
            Fail(static_cast<std::int16_t>(*code), text, true);
        }
        return;
    case Awaiting::StartTlsReply:
        // Never a fall back to clear text.
        if (*code == 382)
            StartEncryption();
        else
            Fail(nntpErrorTlsUnavailable,
                 "The server does not offer STARTTLS (" + text + "); nothing else was sent", true);
        return;
    case Awaiting::AuthUserReply:
        if (*code == 381) {
            Write("AUTHINFO PASS " + password);
            Await(Awaiting::AuthPassReply);
        } else if (*code == 281) {
            SendCommandAgain();
        } else {
            Fail(static_cast<std::int16_t>(*code), text, false);
        }
        return;
    case Awaiting::AuthPassReply:
        if (*code == 281) {
            password.clear();
            SendCommandAgain();
        } else {
            Fail(static_cast<std::int16_t>(*code), text, false);
        }
        return;
    case Awaiting::CommandReply:
        if (*code == 480) {
            // The commands sent ahead are challenged too; they go again
            // once the credentials are in.
            staleReplies += plan.InFlight();
            plan.sent = plan.asked;
            StartAuthentication();
            return;
        }
        if (*code != operation->success) {
            Fail(static_cast<std::int16_t>(*code), text, false);
            return;
        }
        switch (operation->text) {
        case Text::None:
            if (operation == &ops::SelectGroup && !ReportGroup(line))
                return;
            Succeed();
            return;
        case Text::ListLines:
            BeginReceiving();
            Await(Awaiting::ListLines);
            return;
        case Text::Article:
            BeginReceiving();
            Await(Awaiting::ArticleHeaders);
            return;
        case Text::Posting:
            SendArticle();
            return;
        }
        return;
    case Awaiting::PostedReply:
        if (*code == 240) {
            if (docInput.BytesTransferred < docInput.BytesTotal) {
                docInput.BytesTransferred = docInput.BytesTotal;
                RaiseDocInput(docData);
            }
            sending = false;
            RaiseDocInput(docEnd);
            Succeed();
        } else if (*code == 480) {
            sending = false;
            StartAuthentication(); // and post again
        } else {
            Fail(static_cast<std::int16_t>(*code), text, false);
        }
        return;
    default:
        return;
    }
}

// A line of a reply nobody wants any more: only its end matters. A
// stale article that goes on without end costs the connection, as a current
// one would.
void TNNTP::Impl::SkipStaleLine(std::string_view line) {
    if (inStaleText) {
        if (line == ".") {
            inStaleText = false;
            --staleReplies;
            return;
        }
        staleBytes += line.size() + 2;
        if (staleBytes > 2 * articleLimit) {
            if (Idle())
                CloseSocket();
            else
                FailTooLarge(true);
        }
        return;
    }
    const std::optional<int> code = nntp::StatusCode(line);
    if (!code) {
        if (Idle())
            CloseSocket();
        else
            ProtocolFailure("Not an NNTP reply: " + std::string(line.substr(0, 200)));
        return;
    }
    if (*code == ops::GetArticle.success) {
        inStaleText = true;
        staleBytes = 0;
        return;
    }
    --staleReplies;
}

// Tops up the commands in flight for the plan: a batch once half the window
// has been taken, in one write, while the held replies are within bounds.
void TNNTP::Impl::SendAhead(bool atLeastOne) {
    if (plan.sent >= plan.Size())
        return;
    const bool room = !heldBack && input.size() - taken < readAheadBytes;
    std::size_t target; // commands in flight once this is sent
    if (room && plan.InFlight() <= window / 2)
        target = window;
    else if (atLeastOne && plan.InFlight() == 0)
        target = 1;
    else
        return;
    std::string batch;
    while (plan.sent < plan.Size() && plan.InFlight() < target) {
        batch += "ARTICLE ";
        batch += std::to_string(plan.At(plan.sent));
        batch += "\r\n";
        ++plan.sent;
    }
    stream->Send(batch.data(), batch.size());
    if (room)
        window = std::min(window * 2, readAheadCommands);
}

// Begins GetArticle(number) on a reply already asked for, when number is the
// plan's next.
bool TNNTP::Impl::TakePlannedArticle(std::int32_t number) {
    if (plan.asked >= plan.Size() || plan.At(plan.asked) != number)
        return false;
    SendAhead(true);
    ++plan.asked;
    command = "ARTICLE " + std::to_string(number) + "\r\n"; // sent again after a challenge
    // The silence limit runs from the last bytes received: it applies to the
    // oldest command in flight, which this is.
    awaiting = operation->reply;
    if (!replyTimer.isActive())
        replyTimer.start(replyTimeoutMs);
    ResumeReading();
    return true;
}

// GROUP's reply carries the group's range.
bool TNNTP::Impl::ReportGroup(std::string_view line) {
    const auto selection = nntp::ParseGroupReply(line);
    if (!selection) {
        ProtocolFailure("Malformed reply to GROUP: " + std::string(line));
        return false;
    }
    awaiting = Awaiting::Nothing;
    if (q->OnSelectGroup)
        q->OnSelectGroup(q, selection->name, selection->first, selection->last, selection->count);
    return true;
}

void TNNTP::Impl::TakeHeaderLine(std::string_view line) {
    if (line == ".") {
        if (discarding) {
            FailTooLarge(false);
            return;
        }
        RaiseDocOutput(docHeaders);
        EndReceiving();
        Succeed();
        return;
    }
    if (!CountDocumentLine(line.size()))
        return;
    if (line.empty()) {
        RaiseDocOutput(docHeaders);
        awaiting = Awaiting::ArticleBody;
        return;
    }
    nntp::TakeHeaderLine(docOutput.Headers(), nntp::Unstuffed(line));
}

void TNNTP::Impl::TakeDataLine(std::string_view line) {
    if (line == ".") {
        if (discarding) {
            FailTooLarge(false);
            return;
        }
        EndReceiving();
        Succeed();
        return;
    }
    if (!CountDocumentLine(line.size()))
        return;
    line = nntp::Unstuffed(line);
    pendingData.append(line.data(), line.size());
    pendingData += "\r\n";
    if (pendingData.size() >= DocumentChunk)
        DeliverPendingData();
}

// False when the line is to be dropped: the document has outgrown its limit.
// Lines are still read to the end, so the next reply is the next command's,
// but only up to as much again; a document that goes on beyond that (an
// endless article) costs the connection.
bool TNNTP::Impl::CountDocumentLine(std::size_t length) {
    documentBytes += length + 2;
    const std::size_t limit = operation->text == Text::Article ? articleLimit : listLimit;
    if (documentBytes <= limit)
        return true;
    if (!discarding) {
        discarding = true;
        pendingData.clear();
        docOutput.Headers().Clear();
    }
    if (documentBytes - limit > limit)
        FailTooLarge(true);
    return false;
}

void TNNTP::Impl::FailTooLarge(bool dropConnection) {
    const std::size_t limit = operation->text == Text::Article ? articleLimit : listLimit;
    Fail(nntpErrorTooLarge,
         std::string(operation->text == Text::Article ? "The article" : "The list") +
             " is larger than " + std::to_string(limit / 1024) + " KB",
         dropConnection);
}

void TNNTP::Impl::StartAuthentication() {
    if (authenticated) {
        // Credentials were accepted and the server still refuses.
        Fail(480, "The server asks for credentials again", false);
        return;
    }
    authenticated = true;
    std::string user;
    std::string pass;
    if (q->OnAuthenticateRequest)
        q->OnAuthenticateRequest(q, user, pass);
    // A line break in a credential would smuggle a command onto the wire.
    const auto clean = [](std::string& text) {
        text.erase(
            std::remove_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }),
            text.end());
    };
    clean(user);
    clean(pass);
    password = pass;
    Write("AUTHINFO USER " + user);
    Await(Awaiting::AuthUserReply);
}

void TNNTP::Impl::SendArticle() {
    sending = true;
    docInput.BytesTotal = static_cast<double>(postWire.size());
    docInput.BytesTransferred = 0;
    postWritten = 0;
    RaiseDocInput(docBegin);
    RaiseDocInput(docHeaders);
    if (operation != &ops::SendDocument)
        return; // a handler closed the connection
    Await(Awaiting::PostedReply);
    stream->SendQueued(postWire.data(), postWire.size());
}

void TNNTP::Impl::BytesWritten(std::size_t bytes) {
    if (!sending || awaiting != Awaiting::PostedReply)
        return;
    const std::size_t total = postWire.size();
    if (postWritten >= total)
        return;
    postWritten = std::min(total, postWritten + bytes);
    docInput.BytesTransferred = static_cast<double>(postWritten);
    RaiseDocInput(docData);
    NoteActivity();
}

void TNNTP::Impl::ConnectionEnded(const std::string& why) {
    if (Idle() && plan.InFlight() > 0)
        lostAhead = why.empty() ? std::string("The connection was lost") : why;
    if (operation == &ops::SignOff) {
        CloseSocket();
        Succeed();
    } else if (!Idle() && awaiting == Awaiting::TlsHandshake) {
        Fail(nntpErrorConnectFailed, "The TLS handshake failed: " + why, true);
    } else if (!Idle()) {
        Fail(operation == &ops::Connect && awaiting == Awaiting::StreamConnect
                 ? nntpErrorConnectFailed
                 : nntpErrorConnectionLost,
             why, true);
    } else {
        CloseSocket();
    }
}

void TNNTP::Impl::TimedOut() {
    if (Idle() || awaiting == Awaiting::Nothing)
        return;
    const qint64 quiet = lastActivity.elapsed();
    if (quiet < replyTimeoutMs) {
        replyTimer.start(static_cast<int>(replyTimeoutMs - quiet));
        return;
    }
    Fail(nntpErrorTimedOut,
         std::string(awaiting == Awaiting::TlsHandshake
                         ? "The TLS handshake did not complete within "
                         : "The server did not answer within ") +
             std::to_string(replyTimeoutMs / 1000.0) + " seconds",
         true);
}

void TNNTP::Impl::CheckProgress() {
    if (Idle())
        return;
    const std::size_t received = windowBytes;
    windowBytes = 0;
    // Nothing at all is the silence limit's to judge.
    if (awaiting == Awaiting::HostLookup || awaiting == Awaiting::StreamConnect || received == 0 ||
        received >= progressFloor)
        return;
    Fail(nntpErrorTimedOut,
         "The server is sending too slowly: " + std::to_string(received) + " bytes in " +
             std::to_string(progressWindowMs / 1000.0) + " seconds",
         true);
}

TNNTP::TNNTP(QObject* parent) : TNNTP(nullptr, parent) {}

TNNTP::TNNTP(std::unique_ptr<ByteStream> stream, QObject* parent)
    : QObject(parent), d(std::make_unique<Impl>(this, std::move(stream))) {
    d->replyTimer.setSingleShot(true);
    connect(&d->replyTimer, &QTimer::timeout, this, [this] { d->TimedOut(); });
    connect(&d->progressTimer, &QTimer::timeout, this, [this] { d->CheckProgress(); });
    d->BindStream();
}

TNNTP::~TNNTP() {
    // No events from a control that is going away.
    OnStateChanged = nullptr;
    OnBusy = nullptr;
    OnDocOutput = nullptr;
    OnDocInput = nullptr;
    OnError = nullptr;
    OnSelectGroup = nullptr;
    OnAuthenticateRequest = nullptr;
    if (d->lookupId >= 0)
        QHostInfo::abortHostLookup(d->lookupId);
    d->stream->OnConnected = nullptr;
    d->stream->OnReadable = nullptr;
    d->stream->OnWritten = nullptr;
    d->stream->OnFailed = nullptr;
    d->stream->OnEncrypted = nullptr;
    d->stream->OnCertificateRefused = nullptr;
    d->stream->Close();
}

std::string TNNTP::RemoteHost() const {
    return d->remoteHost;
}

std::int16_t TNNTP::State() const {
    return d->state;
}

bool TNNTP::Busy() const {
    return !d->Idle();
}

TDocument& TNNTP::DocInput() {
    return d->docInput;
}

TDocument& TNNTP::DocOutput() {
    return d->docOutput;
}

void TNNTP::SetSecurity(TNNTPSecurity security, const std::string& acceptedFingerprint) {
    d->security = security;
    d->acceptedFingerprint = acceptedFingerprint;
}

std::string TNNTP::PeerCertificateFingerprint() const {
    return d->stream->PeerCertificateFingerprint();
}

void TNNTP::SetReplyTimeout(int milliseconds) {
    d->replyTimeoutMs = std::max(1, milliseconds);
    if (d->replyTimer.isActive())
        d->replyTimer.start(d->replyTimeoutMs);
}

void TNNTP::SetDocumentLimits(std::size_t articleBytes, std::size_t listBytes) {
    d->articleLimit = std::max<std::size_t>(1, articleBytes);
    d->listLimit = std::max<std::size_t>(1, listBytes);
}

void TNNTP::SetProgressFloor(int windowMs, std::size_t minimumBytes) {
    d->progressWindowMs = std::max(1, windowMs);
    d->progressFloor = minimumBytes;
}

void TNNTP::Connect(const std::string& host, std::int32_t port) {
    if (d->state != nntpDisconnected || !d->Idle())
        throw EControlError("Already connected");
    const bool tls = d->security != TNNTPSecurity::None;
    if (d->ownStream && tls != d->streamIsTls) {
        d->stream->Close();
        if (tls)
            d->stream = std::make_unique<TlsStream>(this);
        else
            d->stream = std::make_unique<TcpStream>(this);
        d->streamIsTls = tls;
        d->BindStream();
    }
    d->startTlsDue = d->security == TNNTPSecurity::StartTls;
    d->remoteHost = host;
    d->remotePort = port;
    d->input.clear();
    d->taken = 0;
    d->lostAhead.clear();
    d->Begin(ops::Connect);
    d->SetState(nntpResolvingHost);
    if (port <= 0 || port > 65535) {
        d->FailSoon(nntpErrorConnectFailed, "Invalid port " + std::to_string(port));
        return;
    }
    d->Await(Awaiting::HostLookup);
    d->lookupId = QHostInfo::lookupHost(QString::fromStdString(host), this,
                                        [this](const QHostInfo& info) { d->LookedUp(info); });
}

void TNNTP::SignOff() {
    d->RequireIdleConnection();
    d->Begin(ops::SignOff);
    d->SetState(nntpDisconnecting);
    d->SendCommand();
}

void TNNTP::CloseConnection() {
    if (d->state == nntpDisconnected && !d->stream->Open())
        return;
    d->SetState(nntpDisconnecting);
    if (d->operation == &ops::SignOff) {
        // QUIT went to the kernel when it was sent, and closing lets it leave.
        d->CloseSocket();
        d->Succeed();
    } else if (!d->Idle()) {
        d->Fail(nntpErrorConnectionLost, "The connection was closed", true);
    } else {
        d->CloseSocket();
    }
}

void TNNTP::ListGroups() {
    d->RequireIdleConnection();
    d->Begin(ops::ListGroups);
    d->SendCommand();
}

void TNNTP::ListNewGroups(double date) {
    d->RequireIdleConnection();
    d->Begin(ops::ListNewGroups);
    d->SendCommand(nntp::NewGroupsArguments(date));
}

void TNNTP::SelectGroup(const std::string& groupName) {
    d->RequireIdleConnection();
    d->Begin(ops::SelectGroup);
    // A name that would break the command line is refused here, the way a
    // server refuses a group it lacks.
    if (!nntp::SafeArgument(groupName) || groupName.find(' ') != std::string::npos) {
        d->FailSoon(501, "Invalid newsgroup name");
        return;
    }
    d->SendCommand(groupName);
}

void TNNTP::GetArticle(std::int32_t articleNumber) {
    if (d->state == nntpDisconnected && d->Idle() && !d->lostAhead.empty()) {
        // The connection went while this article was on its way.
        d->Begin(ops::GetArticle);
        d->FailSoon(nntpErrorConnectionLost, std::exchange(d->lostAhead, {}));
        return;
    }
    d->RequireIdleConnection();
    d->Begin(ops::GetArticle);
    if (d->TakePlannedArticle(articleNumber))
        return;
    if (d->plan.Size() > 0)
        d->DropPlan();
    d->SendCommand(std::to_string(articleNumber));
}

void TNNTP::PlanArticles(std::int64_t first, std::int64_t last) {
    if (d->plan.Size() > 0)
        d->DropPlan();
    if (last < first)
        return;
    d->plan.first = first;
    d->plan.count = static_cast<std::size_t>(last - first + 1);
    d->window = std::min<std::size_t>(4, d->readAheadCommands);
}

void TNNTP::PlanArticles(std::vector<std::int32_t> numbers) {
    if (d->plan.Size() > 0)
        d->DropPlan();
    d->plan.numbers = std::move(numbers);
    d->window = std::min<std::size_t>(4, d->readAheadCommands);
}

void TNNTP::SetReadAhead(std::size_t commands, std::size_t bytes) {
    d->readAheadCommands = std::max<std::size_t>(1, commands);
    d->readAheadBytes = std::max<std::size_t>(1, bytes);
}

void TNNTP::StatArticle(const std::string& messageId) {
    d->RequireIdleConnection();
    d->Begin(ops::StatArticle);
    if (!nntp::SafeArgument(messageId) || messageId.find(' ') != std::string::npos) {
        d->FailSoon(501, "Invalid message-id");
        return;
    }
    d->SendCommand(messageId);
}

void TNNTP::ListArticleNumbers(const std::string& groupName, std::int64_t first,
                               std::int64_t last) {
    d->RequireIdleConnection();
    d->Begin(ops::ListArticleNumbers);
    if (!nntp::SafeArgument(groupName) || groupName.find(' ') != std::string::npos) {
        d->FailSoon(501, "Invalid newsgroup name");
        return;
    }
    d->SendCommand(groupName + " " + std::to_string(first) + "-" + std::to_string(last));
}

void TNNTP::SendDocument(const std::optional<std::string>& /*documentUrl*/,
                         const std::string& /*headers*/, const std::string& inputData,
                         const std::string& /*inputFile*/, const std::string& /*outputFile*/) {
    d->RequireIdleConnection();
    d->postWire = nntp::PostingWireForm(d->docInput.Headers(), inputData);
    d->Begin(ops::SendDocument);
    d->SendCommand();
}
