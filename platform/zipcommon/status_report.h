// Progress reports to the program's status callbacks. A callback answering 1
// latches the cancel, and every later report says to stop.
#pragma once

#include "zipcommon/zip_commands.h"

#include <cstdint>
#include <string>

namespace zipcommon {

class StatusReport {
public:
    StatusReport(DZStatusProc major, void* majorData, DZStatusProc minor, void* minorData)
        : major_(major), majorData_(majorData), minor_(minor), minorData_(minorData) {}

    // Each returns false once the operation is to stop. A report equal to the
    // one before it is not repeated.
    bool Major(const std::string& item, std::int32_t percent) {
        return Send(major_, majorData_, lastMajor_, item, percent);
    }
    bool Minor(const std::string& item, std::int32_t percent) {
        return Send(minor_, minorData_, lastMinor_, item, percent);
    }
    bool Cancelled() const { return cancelled_; }

private:
    struct Last {
        std::string item;
        std::int32_t percent = -1;
    };

    bool Send(DZStatusProc proc, void* data, Last& last, const std::string& item,
              std::int32_t percent) {
        if (cancelled_)
            return false;
        percent = percent < 0 ? 0 : percent > 100 ? 100 : percent;
        if (proc == nullptr || (percent == last.percent && item == last.item))
            return true;
        last.item = item;
        last.percent = percent;
        if (proc(item.c_str(), percent, data) != 0)
            cancelled_ = true;
        return !cancelled_;
    }

    DZStatusProc major_;
    void* majorData_;
    DZStatusProc minor_;
    void* minorData_;
    Last lastMajor_;
    Last lastMinor_;
    bool cancelled_ = false;
};

} // namespace zipcommon
