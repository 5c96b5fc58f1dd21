// Ending an unattended run from outside without leaving anything half done.
//
// SIGTERM (what `timeout` in a cron line sends) and SIGINT only ask the run
// to stop: the handler notes the signal, and the runs look at it between
// steps, where everything on disk is consistent, and end there.
#pragma once

#include <string>

namespace interruption {

// Installs the handlers. A second signal of the same kind is not caught
// again, so it ends a run that does not stop in time.
void CatchStopSignals();

// A stop signal has arrived, or the window's Cancel asked for the stop.
bool StopRequested();

// The signal that asked for the stop; 0 when none did.
int StopSignal();

// Asks for the stop as a signal would, so a run ends at the same points:
// the progress window's Cancel.
void RequestStop();
// Forgets a stop asked for by RequestStop, before the window's next command
// starts. A signal's request stays.
void ClearStopRequest();

// What asked for the stop, for the log: "Stopped by signal 15" or
// "Stopped by Cancel".
std::string StopReason();

// Marks the end of a step whose result is on disk. Tests stop the program
// here: with ZANDREL_TEST_SIGNAL_AT=<step>[#<n>] in the environment, the
// n-th time (the first by default) the step is reached the process sends
// itself the signal named by ZANDREL_TEST_SIGNAL (KILL by default, or TERM).
void DurableStep(const char* step);

} // namespace interruption
