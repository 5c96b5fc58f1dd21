#include "qwk_format/qwk_message_writer.h"

#include "ascii.h"
#include "vxutil.h"

#include <array>

namespace qwk {
namespace {

constexpr std::array<const char*, 12> MonthNames{"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                 "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string MonthNumber(const std::string& token) {
    const std::string upper = ascii::Upper(token);
    for (std::size_t i = 0; i < MonthNames.size(); ++i) {
        if (upper == MonthNames[i]) {
            const int month = static_cast<int>(i) + 1;
            return std::string(1, static_cast<char>('0' + month / 10)) +
                   static_cast<char>('0' + month % 10);
        }
    }
    return "01";
}

// A two-digit year ('5 Feb 96') is taken as it stands; otherwise the first two
// characters are dropped, so '1996' gives '96', and anything that does not
// leave exactly two characters gives "80".
std::string YearDigits(const std::string& token) {
    if (token.size() == 2 && IsDigit(token[0]) && IsDigit(token[1]))
        return token;
    if (token.size() == 4)
        return token.substr(2);
    return "80";
}

void StripOneLeading(std::string& text, char c) {
    if (!text.empty() && text.front() == c)
        text.erase(0, 1);
}

void StripOneTrailing(std::string& text, char c) {
    if (!text.empty() && text.back() == c)
        text.pop_back();
}

// A header folded over thousands of lines would otherwise become one line
// of megabytes at the top of the text.
void AppendHeaderLine(std::string& text, std::string_view name, std::string_view value) {
    text.append(name);
    if (value.size() <= MaxHeaderLineValue) {
        text.append(value);
    } else {
        text.append(value.substr(0, MaxHeaderLineValue));
        text.append(CutMarker);
    }
    text.push_back(LineEnd);
}

} // namespace

std::string MessageWriter::FitField(std::string text, HeaderField field) const {
    if (!utf8Fields_ || text.size() <= field.width)
        return text;
    // Cut before the character the width would split, not inside it.
    std::size_t cut = field.width;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    text.resize(cut);
    return text;
}

DateAndTime ParseDateHeader(const std::string& dateValue) {
    std::string rest = dateValue;
    if (rest.empty() || !IsDigit(rest.front()))
        VxGetNextToken(rest); // the weekday, as in 'Mon,'

    std::string day = VxGetNextToken(rest);
    if (day.size() < 2)
        day.insert(day.begin(), '0');
    const std::string month = MonthNumber(VxGetNextToken(rest));
    const std::string year = YearDigits(VxGetNextToken(rest));
    std::string time = VxGetNextToken(rest);
    if (time.size() < 3 || time[2] != ':')
        time = "01:01";

    DateAndTime result;
    std::string date = month;
    date.append("-").append(day).append("-").append(year);
    result.Date = date.substr(0, header::Date.width);
    result.Time = time.substr(0, header::Time.width);
    return result;
}

std::string SenderName(const std::string& fromValue) {
    std::string name;
    if (const auto angle = fromValue.find(" <"); angle != std::string::npos) {
        name = fromValue.substr(0, angle);
        StripOneLeading(name, '"');
        StripOneTrailing(name, '"');
    } else if (const auto paren = fromValue.find(" ("); paren != std::string::npos) {
        name = fromValue.substr(paren + 2);
        StripOneLeading(name, '"');
        StripOneTrailing(name, '"');
        StripOneTrailing(name, ')');
    } else {
        name = fromValue;
    }
    return name;
}

std::string BannerLine() {
    return std::string("Produced by ") + ProducerName + " " + ProducerVersion +
           ", Usenet news for QWK readers";
}

MessageWriter::MessageWriter(ByteSink& sink) : sink_(sink) {}

void MessageWriter::WriteBlocks(std::string_view text) {
    const std::size_t wholeBytes = text.size() - text.size() % BlockSize;
    sink_.Write(text.substr(0, wholeBytes));
}

void MessageWriter::WriteBanner() {
    std::string banner = BannerLine().substr(0, BlockSize);
    banner.resize(BlockSize, ' ');
    WriteBlocks(banner);
}

void MessageWriter::WriteMessage(const ArticleHeaders& headers, std::int32_t articleNumber,
                                 const NewsGroupRecord& group, std::string_view collectedLines,
                                 bool moreFollows) {
    text_.clear();
    AppendHeaderLine(text_, "From: ", headers.From);
    AppendHeaderLine(text_, "Subject: ", headers.Subject);
    text_.push_back(LineEnd);
    text_.append(collectedLines);
    text_.push_back(LineEnd);
    if (moreFollows) {
        text_.append("Continued with next message...").push_back(LineEnd);
        text_.push_back(LineEnd);
    }
    text_.append(" * Origin: Internet Newsgroup - ").append(group.Name).push_back(LineEnd);
    if (const std::size_t partial = text_.size() % BlockSize; partial != 0)
        text_.append(BlockSize - partial, ' ');

    // Every byte is set afresh, so nothing carries over from the last message.
    const DateAndTime when = ParseDateHeader(headers.Date);
    SetHeaderByte(header_, header::Status, ' ');
    SetHeaderText(header_, header::MessageNumber, std::to_string(articleNumber));
    SetHeaderText(header_, header::Date, when.Date);
    SetHeaderText(header_, header::Time, when.Time);
    SetHeaderText(header_, header::To, "All");
    SetHeaderText(header_, header::From, FitField(SenderName(headers.From), header::From));
    SetHeaderText(header_, header::Subject, FitField(headers.Subject, header::Subject));
    SetHeaderText(header_, header::Password, "");
    SetHeaderText(header_, header::ReferenceNumber, "0");
    SetHeaderText(header_, header::BlockCount, std::to_string(text_.size() / BlockSize + 1));
    SetHeaderByte(header_, header::Active, ActiveFlag);
    SetHeaderConference(header_, static_cast<std::uint32_t>(group.Conference));
    SetHeaderText(header_, header::LogicalNumber, "");
    SetHeaderText(header_, header::NetworkTag, "");

    sink_.Write(std::string_view(header_.data(), header_.size()));
    WriteBlocks(text_);
    ++messagesWritten_;
}

} // namespace qwk
