// TDynaZip: what the zip and the unzip component share: the four events the
// libraries' callbacks turn into, the result of the last call, and the
// loading of a component's library.
#pragma once

#include "zipcommon/zip_commands.h"

#include <cstdint>
#include <functional>
#include <string>

// szItem, Percent, DoCancel (starts false; true asks the library to stop).
using TStatusCallback =
    std::function<void(const char* szItem, std::int32_t Percent, bool& DoCancel)>;
// MsgID, mbType, p1, p2, lpsz1, lpsz2, RtnResult (starts 0; the library's answer).
using TMessageCallback =
    std::function<void(std::uint16_t MsgID, std::uint16_t mbType, std::int32_t p1, std::int32_t p2,
                       const char* lpsz1, const char* lpsz2, std::int32_t& RtnResult)>;
using TRenameCallback = std::function<void(PDZRename dzr)>;

class TDynaZip {
public:
    virtual ~TDynaZip() = default;
    TDynaZip(const TDynaZip&) = delete;
    TDynaZip& operator=(const TDynaZip&) = delete;

    TStatusCallback OnMajorCallback;
    TStatusCallback OnMinorCallback;
    TMessageCallback OnMessageCallback;
    TRenameCallback OnRenameCallback;

    // The library's result of the last call that reached it.
    std::int32_t ResultCode = 0;

    // The callbacks handed to the libraries; userValue is the component.
    static std::int32_t MajorStatusCallback(const char* szItem, std::int32_t percent,
                                            void* userValue);
    static std::int32_t MinorStatusCallback(const char* szItem, std::int32_t percent,
                                            void* userValue);
    static std::int32_t MessageCallback(std::uint32_t msgId, std::uint32_t mbType, std::int32_t p1,
                                        std::int32_t p2, const char* lpsz1, const char* lpsz2,
                                        void* userValue);
    static std::int32_t RenameCallback(PDZRename dzr, void* userValue);

protected:
    TDynaZip() = default;
    // The action codes a library is ever asked to carry out.
    static bool IsActionCode(std::int32_t actionCode) { return actionCode >= 1 && actionCode <= 9; }
};

// What happens when a component cannot load its library or find the entry
// point: by default a warning on standard error and the end of the program
// with exit code 1; the program puts in its warning box. Tests put in a
// handler that only records the message; the component then stays without
// an entry point and every Execute fails without calling anything.
using LibraryFailureHandler = std::function<void(const std::string& message)>;
// Returns the handler that was in place.
LibraryFailureHandler SetLibraryFailureHandler(LibraryFailureHandler handler);
// The default handler.
[[noreturn]] void WarnOnStandardErrorAndExit(const std::string& message);
// Passes the message to the handler in place.
void ReportLibraryFailure(const std::string& message);
