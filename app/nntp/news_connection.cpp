#include "news_connection.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>
#include <cmath>
#include <cstdio>

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
    NNTP1.OnError = [this](TNNTP*, std::int16_t, std::string&, std::int32_t, const std::string&,
                           const std::string&, std::int32_t,
                           bool& cancelDisplay) { NNTP1Error(cancelDisplay); };
    NNTP1.OnBusy = [this](TNNTP*, bool isBusy) { NNTP1Busy(isBusy); };
    NNTP1.OnDocOutput = [this](TNNTP*, TDocument& docOutput) { NNTP1DocOutput(docOutput); };
    NNTP1.OnDocInput = [this](TNNTP*, TDocument& docInput) { NNTP1DocInput(docInput); };
    NNTP1.OnSelectGroup = [this](TNNTP*, const std::string& groupName, std::int32_t firstMessage,
                                 std::int32_t lastMessage, std::int32_t msgCount) {
        if (OnSelectGroup)
            OnSelectGroup(groupName, firstMessage, lastMessage, msgCount);
    };
}

void NewsConnection::ConnectAndWait() {
    ControlIdle = false;
    try {
        NNTP1.Connect(settings_.NntpServer, settings_.NntpPort);
    } catch (...) {
        ControlIdle = true;
        throw;
    }
    WaitUntilIdle();
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

void NewsConnection::WaitUntilIdle() {
    while (!ControlIdle)
        PumpEvents();
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

void NewsConnection::NNTP1Error(bool& cancelDisplay) {
    TransferFailed = true;
    cancelDisplay = true;
}

void NewsConnection::NNTP1Busy(bool isBusy) {
    ControlIdle = !isBusy;
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
        docOutput.GetData(data, 8);
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
