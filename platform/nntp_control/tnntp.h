// The news client control: an NNTP client (RFC 3977, AUTHINFO of RFC 4643,
// TLS at once or through STARTTLS of RFC 4642) over a byte stream (TCP or
// TLS unless it is given another), asynchronous on the
// one UI thread. Every operation reports through the On... events and ends,
// failed or not, with OnBusy(false).
// Events are raised from the control's socket handling: a handler may start
// the next operation, but must not wait for it there (wait after the handler
// returns, as the program's waiting loops do).
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// Connection states as the control reports them.
enum TNNTPState : std::int16_t {
    nntpConnecting = 1,
    nntpResolvingHost = 2,
    nntpHostResolved = 3,
    nntpConnected = 4,
    nntpDisconnecting = 5,
    nntpDisconnected = 6,
};

// Document states.
enum TDocState : std::int16_t {
    docBegin = 1,
    docHeaders = 2,
    docData = 3,
    docError = 4,
    docEnd = 5,
};

// The Number of OnError for failures that carry no NNTP reply code; a refused
// command reports the server's reply code (411, 423, 481, ...) instead.
enum TNNTPError : std::int16_t {
    nntpErrorHostNotFound = 1,
    nntpErrorConnectFailed = 2,
    nntpErrorConnectionLost = 3,
    nntpErrorTimedOut = 4,
    nntpErrorProtocol = 5,
    // A document (article or list) larger than the control takes. When its
    // end came soon enough the connection stays open; otherwise it is closed.
    nntpErrorTooLarge = 6,
    // The server's certificate did not verify (untrusted, another host's,
    // expired) and is not the accepted one; PeerCertificateFingerprint
    // names it. The connection is closed.
    nntpErrorCertificate = 7,
    // Security was asked for and cannot be had: the server refuses STARTTLS
    // or the TLS library is missing. Nothing was sent in clear text.
    nntpErrorTlsUnavailable = 8,
};

// How the connection is protected.
enum class TNNTPSecurity {
    None,     // clear text
    Tls,      // TLS from the first byte (port 563)
    StartTls, // clear text until STARTTLS (RFC 4642), on the usual port
};

// A call the control rejects (not connected, busy, bad argument).
struct EControlError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct TDocHeader {
    std::string Name;
    std::string Value;
};

// An article's header lines, in order; names match without regard to case.
class TDocHeaders {
public:
    void Clear();
    void Add(const std::string& name, const std::string& value);
    // The first header of that name; throws EControlError when there is none.
    const TDocHeader& Item(const std::string& name) const;
    const TDocHeader* Find(const std::string& name) const;
    std::size_t Count() const { return headers_.size(); }
    const TDocHeader& At(std::size_t i) const { return headers_[i]; }
    // A folded header line's continuation joins the last header's value.
    void AppendToLast(const std::string& continuation);

private:
    std::vector<TDocHeader> headers_;
};

// A document being received (DocOutput) or sent (DocInput).
class TDocument {
public:
    std::int16_t State = 0;
    double BytesTransferred = 0;
    double BytesTotal = 0;
    TDocHeaders& Headers() { return headers_; }
    const TDocHeaders& Headers() const { return headers_; }
    // The type code GetData takes for the data as text, the only type the
    // control hands out.
    static constexpr int TextData = 8;
    // The chunk of data this event carries.
    void GetData(std::string& data, int type = TextData) const;

    // Used by the control.
    std::string Chunk;

private:
    TDocHeaders headers_;
};

class ByteStream;

class TNNTP : public QObject {
    Q_OBJECT
public:
    explicit TNNTP(QObject* parent = nullptr);
    // Talks through `stream` instead of a TCP connection of its own; the
    // control takes over its callbacks.
    explicit TNNTP(std::unique_ptr<ByteStream> stream, QObject* parent = nullptr);
    ~TNNTP() override;

    // Properties.
    std::string RemoteHost() const;
    std::int16_t State() const; // 6 whenever no connection is open
    bool Busy() const;
    TDocument& DocInput();
    TDocument& DocOutput();

    // Methods. Each starts an operation that ends with OnBusy(false).
    void Connect(const std::string& host, std::int32_t port);
    void SignOff();
    void CloseConnection();
    void ListGroups();
    // date: days since 30 December 1899 (an automation date); the day goes
    // on the wire as NEWGROUPS yyyymmdd 000000 GMT.
    void ListNewGroups(double date);
    void SelectGroup(const std::string& groupName);
    void GetArticle(std::int32_t articleNumber);
    // STAT <messageId>: succeeds (223) when the server has the article.
    void StatArticle(const std::string& messageId);
    // LISTGROUP group first-last: the article numbers the server has in the
    // range, one per line, delivered like a list.
    void ListArticleNumbers(const std::string& groupName, std::int64_t first, std::int64_t last);
    // The articles the caller will ask for next, in this order: first to
    // last, or the numbers given. Their ARTICLE commands go out ahead of the
    // calls, a window at a time (RFC 3977 section 3.5: the server answers in
    // order), and GetArticle of the next planned number takes its reply with
    // the usual events. GetArticle of any other number, or any other
    // operation, ends the plan; the replies still due are read and dropped,
    // so every operation gets its own reply.
    void PlanArticles(std::int64_t first, std::int64_t last);
    void PlanArticles(std::vector<std::int32_t> numbers);
    // The most ARTICLE commands sent ahead and the most received bytes held
    // for them; reading stops while that much waits. Defaults:
    // nntp::ReadAheadCommands and nntp::ReadAheadBytes.
    void SetReadAhead(std::size_t commands, std::size_t bytes);
    // Posts DocInput's headers and inputData. The other values are accepted
    // for the control's interface and ignored.
    void SendDocument(const std::optional<std::string>& documentUrl = std::nullopt,
                      const std::string& headers = {}, const std::string& inputData = {},
                      const std::string& inputFile = {}, const std::string& outputFile = {});

    // The protection of the next Connect. A certificate that does not
    // verify is still taken when its SHA-256 fingerprint is
    // acceptedFingerprint (hex, colons and case aside); empty: none is.
    // Credentials go only over the encrypted connection.
    void SetSecurity(TNNTPSecurity security, const std::string& acceptedFingerprint = {});
    // The SHA-256 fingerprint ("AB:CD:...") of the certificate the server
    // presented on the last connect; empty before one.
    std::string PeerCertificateFingerprint() const;

    // How long a server may stay silent while a reply is due before the
    // control gives up: OnError, the connection closed, OnBusy(false).
    // Default 60000 ms.
    void SetReplyTimeout(int milliseconds);

    // The most bytes one article (headers and body) or one list may have.
    // What comes beyond is read and dropped up to as much again, so the
    // connection stays usable; the operation then fails with
    // nntpErrorTooLarge. Defaults: nntp::DefaultArticleLimit and
    // nntp::DefaultListLimit.
    void SetDocumentLimits(std::size_t articleBytes, std::size_t listBytes);

    // A reply that arrives but crawls is as bad as silence: every windowMs of
    // an operation, a server that sent something but fewer than
    // minimumBytes is given up on, as for a timeout. Defaults: 60000 ms and
    // nntp::MinimumBytesPerMinute.
    void SetProgressFloor(int windowMs, std::size_t minimumBytes);

    // Events.
    std::function<void(TNNTP* sender, std::int16_t state)> OnStateChanged;
    std::function<void(TNNTP* sender, bool isBusy)> OnBusy;
    std::function<void(TNNTP* sender, TDocument& docOutput)> OnDocOutput;
    std::function<void(TNNTP* sender, TDocument& docInput)> OnDocInput;
    std::function<void(TNNTP* sender, std::string& userId, std::string& password)>
        OnAuthenticateRequest;
    std::function<void(TNNTP* sender, std::int16_t number, std::string& description,
                       std::int32_t scode, const std::string& source, const std::string& helpFile,
                       std::int32_t helpContext, bool& cancelDisplay)>
        OnError;
    std::function<void(TNNTP* sender, const std::string& groupName, std::int32_t firstMessage,
                       std::int32_t lastMessage, std::int32_t msgCount)>
        OnSelectGroup;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
