// What the news server sends, taken apart by the control's wire functions:
// the input as a status line (and a 211 reply to GROUP), and as the lines of
// an article's header section, unstuffed and unfolded as they arrive, then
// sent back out as a posting with the input as its text.
#include "fuzz_check.h"
#include "wire_check.h"

#include <QDate>
#include <QString>

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes = FuzzBytes(data, size);
    const std::string_view input = bytes;

    const std::optional<int> code = nntp::StatusCode(input);
    if (code)
        FUZZ_CHECK(*code >= 100 && *code <= 599);
    if (const auto selection = nntp::ParseGroupReply(input)) {
        FUZZ_CHECK(code == 211);
        FUZZ_CHECK(selection->name.find(' ') == std::string::npos);
    }

    TDocHeaders headers;
    for (std::size_t start = 0; start < input.size();) {
        std::size_t end = input.find('\n', start);
        if (end == std::string_view::npos)
            end = input.size();
        std::string_view line = input.substr(start, end - start);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        nntp::TakeHeaderLine(headers, nntp::Unstuffed(line));
        start = end + 1;
    }
    for (std::size_t i = 0; i < headers.Count(); ++i) {
        const std::string& name = headers.At(i).Name;
        FUZZ_CHECK(!name.empty() && name.find(':') == std::string::npos);
        FUZZ_CHECK(name.front() != ' ' && name.front() != '\t');
    }
    CheckPostingWireForm(headers, input);

    // NEWGROUPS' date from the first eight bytes, any double at all.
    if (size >= sizeof(double)) {
        double date = 0;
        std::memcpy(&date, data, sizeof date);
        const std::string arguments = nntp::NewGroupsArguments(date);
        FUZZ_CHECK(arguments.size() == 19 && arguments.ends_with(" 000000 GMT"));
        FUZZ_CHECK(QDate::fromString(QString::fromStdString(arguments.substr(0, 8)),
                                     QStringLiteral("yyyyMMdd"))
                       .isValid());
    }
    return 0;
}
