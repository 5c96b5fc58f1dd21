// The program's side of the news client control: connecting, the status line
// texts, the enabling of the network commands, the credentials answer, and the
// one waiting model every network command uses.
#pragma once

#include "core/settings.h"
#include "nntp_control/tnntp.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// What the main window offers the connection: its status line, its two
// enabling sets, and an immediate repaint.
class ConnectionView {
public:
    virtual ~ConnectionView() = default;
    virtual void SetStatusText(const std::string& text) = 0;
    // true: the Connected set (network commands on, Connect off); false: the Disconnected set.
    virtual void ApplyEnablingSet(bool connected) = 0;
    virtual void RepaintStatus() = 0;
};

// What one operation on the news server came to.
struct TransferOutcome {
    bool Succeeded = false;
    // A refusal's reply code (411, 423, 480, ...), or the control's own error
    // number (TNNTPError) when the server gave none; 0 on success.
    int Code = 0;
    // The server's reply line, or the control's reason.
    std::string Text;
    // A group selection's numbers.
    std::int32_t FirstMessage = 0;
    std::int32_t LastMessage = 0;
    std::int32_t MessageCount = 0;

    explicit operator bool() const { return Succeeded; }
};

// Every operation runs the same way: start it on the control, handle window
// messages until the control's busy event says it ended, and return what it
// came to. A call the control rejects outright (EControlError) is passed on.
class NewsConnection {
public:
    NewsConnection(const Settings& settings, ConnectionView& view);

    TNNTP NNTP1;

    // Connects with the settings' security; a certificate that does not
    // verify fails with Code nntpErrorCertificate, its fingerprint in
    // NNTP1.PeerCertificateFingerprint().
    TransferOutcome ConnectAndWait();
    void DisconnectAndWait();

    TransferOutcome ListGroups();
    TransferOutcome ListNewGroups(double date);
    TransferOutcome SelectGroup(const std::string& groupName);
    // The article's text is ReceivedText() and its headers ArticleHeaders()
    // until the next operation.
    TransferOutcome GetArticle(std::int32_t articleNumber);
    // The articles GetArticle will be asked for next, in order: their
    // commands go ahead of the calls, so a distant server's round trip is
    // paid once per window instead of once per article.
    void PlanArticles(std::int64_t first, std::int64_t last) { NNTP1.PlanArticles(first, last); }
    void PlanArticles(std::vector<std::int32_t> numbers) { NNTP1.PlanArticles(std::move(numbers)); }
    TransferOutcome PostArticle(const TDocHeaders& headers, const std::string& text);
    // Succeeds when the server has an article of that Message-ID.
    TransferOutcome StatArticle(const std::string& messageId);
    // The numbers of the group's articles within first..last, ascending, as
    // the server lists them (LISTGROUP). Fails when the server does not
    // offer the command.
    TransferOutcome ListArticleNumbers(const std::string& groupName, std::int64_t first,
                                       std::int64_t last, std::vector<std::int32_t>& numbers);

    // The text of the last received document.
    const std::string& ReceivedText() const { return ReceiveBuffer; }
    const TDocHeaders& ArticleHeaders() { return NNTP1.DocOutput().Headers(); }

    bool Disconnected() { return NNTP1.State() == nntpDisconnected; }
    bool Busy() { return NNTP1.Busy(); }

    // Event handlers.
    void NNTP1StateChanged(std::int16_t state);
    void NNTP1AuthenticateRequest(std::string& userId, std::string& password);
    void NNTP1Error(std::int16_t number, const std::string& description, bool& cancelDisplay);
    void NNTP1Busy(bool isBusy);
    void NNTP1DocOutput(TDocument& docOutput);
    void NNTP1DocInput(TDocument& docInput);
    void NNTP1SelectGroup(std::int32_t firstMessage, std::int32_t lastMessage,
                          std::int32_t msgCount);

    // The sending progress text, as the status line shows it.
    static std::string SendingText(double bytesTransferred, double bytesTotal);

private:
    // Starts an operation with `start` and waits for its end. `label` names
    // a document transfer in the status line.
    TransferOutcome RunAndWait(const char* label, const std::function<void()>& start);
    // Pumps window messages while the control is busy.
    void WaitWhileBusy();

    const Settings& settings_;
    ConnectionView& view_;

    // Transfer state, set by the event handlers.
    bool ControlIdle = true;
    bool TransferFailed = false;
    std::string ReceiveBuffer;
    std::string OperationLabel;
    // What the running operation has come to so far.
    TransferOutcome outcome_;
};
