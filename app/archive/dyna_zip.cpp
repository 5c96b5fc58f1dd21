#include "archive/dyna_zip.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

LibraryFailureHandler& CurrentFailureHandler() {
    static LibraryFailureHandler handler = WarnOnStandardErrorAndExit;
    return handler;
}

TDynaZip* ComponentOf(void* userValue) {
    return static_cast<TDynaZip*>(userValue);
}

std::int32_t DispatchStatus(const TStatusCallback& handler, const char* szItem,
                            std::int32_t percent) {
    if (!handler)
        return 0;
    bool doCancel = false;
    handler(szItem, percent, doCancel);
    return doCancel ? 1 : 0;
}

} // namespace

LibraryFailureHandler SetLibraryFailureHandler(LibraryFailureHandler handler) {
    return std::exchange(CurrentFailureHandler(), std::move(handler));
}

void ReportLibraryFailure(const std::string& message) {
    if (const auto& handler = CurrentFailureHandler())
        handler(message);
}

void WarnOnStandardErrorAndExit(const std::string& message) {
    std::fprintf(stderr, "Warning: %s\n", message.c_str());
    std::fflush(stderr);
    std::exit(1);
}

std::int32_t TDynaZip::MajorStatusCallback(const char* szItem, std::int32_t percent,
                                           void* userValue) {
    return DispatchStatus(ComponentOf(userValue)->OnMajorCallback, szItem, percent);
}

std::int32_t TDynaZip::MinorStatusCallback(const char* szItem, std::int32_t percent,
                                           void* userValue) {
    return DispatchStatus(ComponentOf(userValue)->OnMinorCallback, szItem, percent);
}

std::int32_t TDynaZip::MessageCallback(std::uint32_t msgId, std::uint32_t mbType, std::int32_t p1,
                                       std::int32_t p2, const char* lpsz1, const char* lpsz2,
                                       void* userValue) {
    std::int32_t rtnResult = 0;
    if (const auto& handler = ComponentOf(userValue)->OnMessageCallback)
        handler(static_cast<std::uint16_t>(msgId), static_cast<std::uint16_t>(mbType), p1, p2,
                lpsz1, lpsz2, rtnResult);
    return rtnResult;
}

std::int32_t TDynaZip::RenameCallback(PDZRename dzr, void* userValue) {
    if (const auto& handler = ComponentOf(userValue)->OnRenameCallback)
        handler(dzr);
    return 0;
}
