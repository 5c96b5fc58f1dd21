// The program's side of the news client control: connecting, the status line
// texts, the enabling of the network commands, the credentials answer, and the
// one waiting model every network command uses.
#pragma once

#include "nntp/tnntp.h"
#include "shell/settings.h"

#include <cstdint>
#include <functional>
#include <string>

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

class NewsConnection {
public:
    NewsConnection(const Settings& settings, ConnectionView& view);

    TNNTP NNTP1;

    // Transfer state.
    bool ControlIdle = true;
    bool TransferFailed = false;
    std::string ReceiveBuffer;
    std::string OperationLabel;

    void ConnectAndWait();
    void DisconnectAndWait();

    // Pumps window messages until ControlIdle is set again.
    void WaitUntilIdle();
    // Pumps window messages while the control is busy.
    void WaitWhileBusy();

    bool Disconnected() { return NNTP1.State() == nntpDisconnected; }

    // The retrieval run listens here for the selected group's range.
    std::function<void(const std::string& groupName, std::int32_t firstMessage,
                       std::int32_t lastMessage, std::int32_t msgCount)>
        OnSelectGroup;

    // Event handlers.
    void NNTP1StateChanged(std::int16_t state);
    void NNTP1AuthenticateRequest(std::string& userId, std::string& password);
    void NNTP1Error(bool& cancelDisplay);
    void NNTP1Busy(bool isBusy);
    void NNTP1DocOutput(TDocument& docOutput);
    void NNTP1DocInput(TDocument& docInput);

    // The sending progress text, as the status line shows it.
    static std::string SendingText(double bytesTransferred, double bytesTotal);

private:
    const Settings& settings_;
    ConnectionView& view_;
};
