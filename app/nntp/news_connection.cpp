#include "news_connection.h"

#include "nntp_control/nntp_wire.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

void PumpEvents() {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// The value shown for a byte count: truncated toward zero, as an integer.
long long WholeBytes(double bytes) {
    if (!std::isfinite(bytes))
        return 0;
    return static_cast<long long>(std::clamp(bytes, -9.0e18, 9.0e18));
}

} // namespace

NewsConnection::NewsConnection(const Settings& settings, ConnectionView& view)
    : settings_(settings), view_(view) {
    NNTP1.OnStateChanged = [this](TNNTP*, std::int16_t state) { NNTP1StateChanged(state); };
    NNTP1.OnAuthenticateRequest = [this](TNNTP*, std::string& userId, std::string& password) {
        NNTP1AuthenticateRequest(userId, password);
    };
    NNTP1.OnError = [this](TNNTP*, std::int16_t number, std::string& description, std::int32_t,
                           const std::string&, const std::string&, std::int32_t,
                           bool& cancelDisplay) { NNTP1Error(number, description, cancelDisplay); };
    NNTP1.OnBusy = [this](TNNTP*, bool isBusy) { NNTP1Busy(isBusy); };
    NNTP1.OnDocOutput = [this](TNNTP*, TDocument& docOutput) { NNTP1DocOutput(docOutput); };
    NNTP1.OnDocInput = [this](TNNTP*, TDocument& docInput) { NNTP1DocInput(docInput); };
    NNTP1.OnSelectGroup = [this](TNNTP*, const std::string&, std::int32_t firstMessage,
                                 std::int32_t lastMessage, std::int32_t msgCount) {
        NNTP1SelectGroup(firstMessage, lastMessage, msgCount);
    };
}

TransferOutcome NewsConnection::RunAndWait(const char* label, const std::function<void()>& start) {
    WaitWhileBusy();
    if (label)
        OperationLabel = label;
    outcome_ = TransferOutcome();
    TransferFailed = false;
    ControlIdle = false;
    try {
        start();
    } catch (...) {
        ControlIdle = true;
        throw;
    }
    while (!ControlIdle)
        PumpEvents();
    outcome_.Succeeded = !TransferFailed;
    return std::exchange(outcome_, TransferOutcome());
}

TransferOutcome NewsConnection::ConnectAndWait() {
    NNTP1.SetDocumentLimits(
        static_cast<std::size_t>(std::max<std::int64_t>(1, settings_.MaximumArticleBytes)),
        nntp::DefaultListLimit);
    TNNTPSecurity security = TNNTPSecurity::None;
    if (settings_.Security == NntpSecurity::Tls)
        security = TNNTPSecurity::Tls;
    else if (settings_.Security == NntpSecurity::StartTls)
        security = TNNTPSecurity::StartTls;
    NNTP1.SetSecurity(security, settings_.AcceptedCertificate);
    return RunAndWait(nullptr, [this] { NNTP1.Connect(settings_.NntpServer, settings_.NntpPort); });
}

void NewsConnection::DisconnectAndWait() {
    if (NNTP1.State() == nntpDisconnected)
        return;
    WaitWhileBusy();
    if (NNTP1.State() == nntpConnected)
        NNTP1.SignOff();
    NNTP1.CloseConnection();
    while (NNTP1.State() != nntpDisconnected)
        PumpEvents();
}

TransferOutcome NewsConnection::ListGroups() {
    return RunAndWait("Getting list of groups", [this] { NNTP1.ListGroups(); });
}

TransferOutcome NewsConnection::ListNewGroups(double date) {
    return RunAndWait("Getting List of New Groups", [this, date] { NNTP1.ListNewGroups(date); });
}

TransferOutcome NewsConnection::SelectGroup(const std::string& groupName) {
    return RunAndWait(nullptr, [this, &groupName] { NNTP1.SelectGroup(groupName); });
}

TransferOutcome NewsConnection::GetArticle(std::int32_t articleNumber) {
    return RunAndWait("Retrieving article",
                      [this, articleNumber] { NNTP1.GetArticle(articleNumber); });
}

TransferOutcome NewsConnection::StatArticle(const std::string& messageId) {
    return RunAndWait(nullptr, [this, &messageId] { NNTP1.StatArticle(messageId); });
}

TransferOutcome NewsConnection::ListArticleNumbers(const std::string& groupName, std::int64_t first,
                                                   std::int64_t last,
                                                   std::vector<std::int32_t>& numbers) {
    numbers.clear();
    const TransferOutcome listed = RunAndWait(nullptr, [this, &groupName, first, last] {
        NNTP1.ListArticleNumbers(groupName, first, last);
    });
    if (!listed)
        return listed;
    const char* cursor = ReceiveBuffer.c_str();
    const char* const end = cursor + ReceiveBuffer.size();
    while (cursor < end) {
        char* after = nullptr;
        const long long number = std::strtoll(cursor, &after, 10);
        // Only what was asked for counts; a server's stray line is skipped.
        if (after != cursor && number >= first && number <= last)
            numbers.push_back(static_cast<std::int32_t>(number));
        const void* lineEnd = std::memchr(cursor, '\n', static_cast<std::size_t>(end - cursor));
        cursor = lineEnd ? static_cast<const char*>(lineEnd) + 1 : end;
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    ReceiveBuffer.clear();
    ReceiveBuffer.shrink_to_fit();
    return listed;
}

TransferOutcome NewsConnection::PostArticle(const TDocHeaders& headers, const std::string& text) {
    return RunAndWait(nullptr, [this, &headers, &text] {
        NNTP1.DocInput().Headers() = headers;
        NNTP1.SendDocument(std::nullopt, std::string(), text, std::string(), std::string());
    });
}

void NewsConnection::WaitWhileBusy() {
    while (NNTP1.Busy())
        PumpEvents();
}

void NewsConnection::NNTP1StateChanged(std::int16_t /*state*/) {
    switch (NNTP1.State()) {
    case nntpConnecting:
        view_.SetStatusText("Connecting to: " + NNTP1.RemoteHost());
        break;
    case nntpResolvingHost:
        view_.SetStatusText("Resolving host: " + NNTP1.RemoteHost());
        break;
    case nntpHostResolved:
        view_.SetStatusText("Host resolved");
        break;
    case nntpConnected:
        view_.SetStatusText("Connected to: " + NNTP1.RemoteHost());
        view_.ApplyEnablingSet(true);
        break;
    case nntpDisconnecting:
        view_.SetStatusText("Disconnecting");
        break;
    case nntpDisconnected:
        view_.SetStatusText("Disconnected");
        view_.ApplyEnablingSet(false);
        break;
    default:
        break;
    }
}

void NewsConnection::NNTP1AuthenticateRequest(std::string& userId, std::string& password) {
    userId = settings_.NntpUserId;
    password = settings_.NntpPassword;
}

void NewsConnection::NNTP1Error(std::int16_t number, const std::string& description,
                                bool& cancelDisplay) {
    TransferFailed = true;
    outcome_.Code = number;
    outcome_.Text = description;
    cancelDisplay = true;
}

void NewsConnection::NNTP1Busy(bool isBusy) {
    ControlIdle = !isBusy;
}

void NewsConnection::NNTP1SelectGroup(std::int32_t firstMessage, std::int32_t lastMessage,
                                      std::int32_t msgCount) {
    outcome_.FirstMessage = firstMessage;
    outcome_.LastMessage = lastMessage;
    outcome_.MessageCount = msgCount;
}

void NewsConnection::NNTP1DocOutput(TDocument& docOutput) {
    view_.SetStatusText(OperationLabel + ": " +
                        std::to_string(WholeBytes(docOutput.BytesTransferred)) + " Bytes");
    switch (docOutput.State) {
    case docBegin:
        TransferFailed = false;
        ReceiveBuffer.clear();
        break;
    case docData: {
        std::string data;
        docOutput.GetData(data, TDocument::TextData);
        ReceiveBuffer += data;
        break;
    }
    case docError:
        TransferFailed = true;
        break;
    case docEnd:
        view_.SetStatusText(OperationLabel + (TransferFailed ? ": Cancelled" : ": Done"));
        break;
    default:
        break;
    }
    view_.RepaintStatus();
}

void NewsConnection::NNTP1DocInput(TDocument& docInput) {
    switch (docInput.State) {
    case docBegin:
        view_.SetStatusText("Initiating document transfer");
        break;
    case docHeaders:
        view_.SetStatusText("Sending document headers");
        break;
    case docData:
        view_.SetStatusText(SendingText(docInput.BytesTransferred, docInput.BytesTotal));
        break;
    case docEnd:
        view_.SetStatusText("Document sent");
        break;
    default:
        break;
    }
    view_.RepaintStatus();
}

std::string NewsConnection::SendingText(double bytesTransferred, double bytesTotal) {
    if (!(bytesTotal > 0))
        return "Sending";
    const long long percent = WholeBytes(bytesTransferred / bytesTotal * 100.0);
    char text[128];
    std::snprintf(text, sizeof text, "Sending data: %lld of %lld bytes (%lld%%)",
                  WholeBytes(bytesTransferred), WholeBytes(bytesTotal), percent);
    return text;
}
