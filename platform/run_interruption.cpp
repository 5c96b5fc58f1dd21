#include "run_interruption.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace interruption {
namespace {

volatile std::sig_atomic_t stopSignal = 0;
// Set and read on the window's one thread only.
bool stopAsked = false;

extern "C" void NoteStopSignal(int signal) {
    stopSignal = signal;
}

struct TestStop {
    std::string step;
    int occurrence = 1;
    int signal = SIGKILL;
    int reached = 0;
};

TestStop ReadTestStop() {
    TestStop stop;
    const char* at = std::getenv("ZANDREL_TEST_SIGNAL_AT");
    if (at == nullptr || *at == '\0')
        return stop;
    stop.step = at;
    if (const auto hash = stop.step.find('#'); hash != std::string::npos) {
        stop.occurrence = std::atoi(stop.step.c_str() + hash + 1);
        stop.step.erase(hash);
    }
    const char* signal = std::getenv("ZANDREL_TEST_SIGNAL");
    if (signal != nullptr && std::strcmp(signal, "TERM") == 0)
        stop.signal = SIGTERM;
    return stop;
}

} // namespace

void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = NoteStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

bool StopRequested() {
    return stopSignal != 0 || stopAsked;
}

void RequestStop() {
    stopAsked = true;
}

void ClearStopRequest() {
    stopAsked = false;
}

std::string StopReason() {
    if (stopSignal != 0)
        return "Stopped by signal " + std::to_string(stopSignal);
    return "Stopped by Cancel";
}

int StopSignal() {
    return stopSignal;
}

void DurableStep(const char* step) {
    static TestStop stop = ReadTestStop();
    if (stop.step.empty() || stop.step != step || ++stop.reached != stop.occurrence)
        return;
    ::kill(::getpid(), stop.signal);
}

} // namespace interruption
