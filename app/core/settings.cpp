// ZANDREL.INI: the keys in three sections, read and written one key at a time
// in the order the file keeps them.
#include "settings.h"

#include "ascii.h"
#include "profile.h"
#include "regular_file.h"
#include "vxutil.h"

#include <QLocale>
#include <QString>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* SectionNntp = "NNTP";
constexpr const char* SectionIdentity = "Identity";
constexpr const char* SectionQwk = "Qwk";

constexpr const char* KeyNntpServer = "NNTP Server";
constexpr const char* KeyNntpUserId = "NNTP User Id";
constexpr const char* KeyNntpPassword = "NNTP Password";
constexpr const char* KeyLastGetGroups = SettingsKeyLastGetGroups;
constexpr const char* KeyNntpPort = SettingsKeyNntpPort;
constexpr const char* KeyDomain = "Domain";
constexpr const char* KeyOrganization = "Organization";
constexpr const char* KeyQwkId = SettingsKeyQwkId;
constexpr const char* KeyLinesPerMessage = SettingsKeyLinesPerMessage;
constexpr const char* KeyWorkDirectory = "Work Directory";
constexpr const char* KeyMaximumArticleSize = SettingsKeyMaximumArticleSize;
constexpr const char* KeyCharacterSet = SettingsKeyCharacterSet;
constexpr const char* KeyNntpSecurity = SettingsKeyNntpSecurity;
constexpr const char* KeyNntpCertificate = SettingsKeyNntpCertificate;

constexpr std::int64_t BytesPerKilobyte = 1024;

// An integer as stored: decimal, or hexadecimal after "0x" (a hand-edited
// port of 0x77 reads as 119); nothing for any other text.
std::optional<std::int32_t> IntegerOf(std::string text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.replace(0, 2, "$");
    // VxStrToInt hides a failure behind its default; two defaults tell.
    const std::int32_t low = VxStrToInt(text, 0);
    const std::int32_t high = VxStrToInt(text, 1);
    if (low != high)
        return std::nullopt;
    return low;
}

// A positive decimal number of kilobytes, as bytes; nothing for any other
// text or for one too large to count in bytes.
std::optional<std::int64_t> KilobytesOf(const std::string& text) {
    if (text.empty())
        return std::nullopt;
    constexpr std::int64_t limit = std::numeric_limits<std::int64_t>::max() / BytesPerKilobyte;
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > limit)
            return std::nullopt;
    }
    if (value == 0)
        return std::nullopt;
    return value * BytesPerKilobyte;
}

// Kilobytes as written: a part of a kilobyte counts as a whole one.
std::string KilobytesText(std::int64_t bytes) {
    if (bytes <= 0)
        return "0";
    return std::to_string(bytes / BytesPerKilobyte + (bytes % BytesPerKilobyte != 0 ? 1 : 0));
}

bool IsAsciiLetterOrDigit(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// Rewrites the runs of one pattern letter, leaving quoted literal text alone.
template <typename Rewrite> QString RewriteRuns(const QString& pattern, Rewrite rewrite) {
    QString result;
    for (qsizetype i = 0; i < pattern.size();) {
        const QChar c = pattern[i];
        if (c == u'\'') {
            const qsizetype close = pattern.indexOf(u'\'', i + 1);
            const qsizetype end = close < 0 ? pattern.size() : close + 1;
            result += pattern.mid(i, end - i);
            i = end;
            continue;
        }
        qsizetype run = 1;
        while (i + run < pattern.size() && pattern[i + run] == c)
            ++run;
        result += rewrite(c, run, pattern.mid(i, run));
        i += run;
    }
    return result;
}

bool HasTwoDigitYear(const QString& pattern) {
    bool found = false;
    RewriteRuns(pattern, [&](QChar c, qsizetype run, const QString& text) {
        if (c == u'y' && run == 2)
            found = true;
        return text;
    });
    return found;
}

// The locale's pattern first; then, for a hand-edited file, the same order of
// fields with one-digit days and months and the other year width.
std::vector<QString> DatePatternsToTry(const QString& pattern) {
    const QString relaxed = RewriteRuns(pattern, [](QChar c, qsizetype run, const QString& text) {
        if ((c == u'd' || c == u'M') && run == 2)
            return QString(c);
        return text;
    });
    const QString otherYear = RewriteRuns(relaxed, [](QChar c, qsizetype run, const QString& text) {
        if (c == u'y' && run == 2)
            return QStringLiteral("yyyy");
        if (c == u'y' && run == 4)
            return QStringLiteral("yy");
        return text;
    });
    return {pattern, relaxed, otherYear};
}

} // namespace

std::string FormatSettingsDate(const QDate& date) {
    return date.toString(Qt::ISODate).toStdString();
}

QDate ParseSettingsDate(const std::string& text, const QLocale& locale) {
    const QString input = QString::fromLocal8Bit(text).trimmed();
    // What every locale writes now.
    const QDate iso = QDate::fromString(input, QStringLiteral("yyyy-MM-dd"));
    if (iso.isValid())
        return iso;
    // What a file written before holds: the locale's short date.
    for (const QString& pattern : DatePatternsToTry(locale.dateFormat(QLocale::ShortFormat))) {
        const QDate date = locale.toDate(input, pattern);
        if (!date.isValid())
            continue;
        if (!HasTwoDigitYear(pattern))
            return date;
        // Qt puts a two-digit year in the 1900s; it belongs to this century.
        const int century = QDate::currentDate().year() / 100 * 100;
        return QDate(century + date.year() % 100, date.month(), date.day());
    }
    return {};
}

std::string QwkIdProblem(const std::string& qwkId) {
    bool fileNameCharacters = true;
    for (const char c : qwkId)
        fileNameCharacters = fileNameCharacters && IsAsciiLetterOrDigit(c);
    if (!qwkId.empty() && qwkId.size() <= MaxQwkIdLength && fileNameCharacters)
        return {};
    return "'" + qwkId + "' is not a valid Qwk ID: it names the packet files, so it must be 1 to " +
           std::to_string(MaxQwkIdLength) + " letters or digits";
}

namespace {
// The value of a text of 1 to 9 decimal digits; nothing for any other text.
std::optional<std::int32_t> DecimalDigits(const std::string& text) {
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    std::int32_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string NumberProblem(const char* field, const std::string& text, std::int32_t low,
                          std::int32_t high) {
    const auto value = DecimalDigits(text);
    if (value && *value >= low && *value <= high)
        return {};
    return std::string(field) + " must be a number from " + std::to_string(low) + " to " +
           std::to_string(high);
}
} // namespace

std::string NntpServerProblem(const std::string& server) {
    return ascii::Trimmed(server).empty() ? "NNTP Server is needed to connect" : std::string();
}

std::string NntpPortProblem(const std::string& text) {
    return NumberProblem("NNTP Remote Port", text, 1, MaxNntpPort);
}

std::string LinesPerMessageProblem(const std::string& text) {
    return NumberProblem("Maximum Lines Per Message", text, MinLinesPerMessage, MaxLinesPerMessage);
}

std::string WorkDirectoryProblem(const std::string& path) {
    if (path.empty())
        return "Work Directory is needed: the packets are written there";
    std::error_code error;
    if (!std::filesystem::is_directory(path, error))
        return "The Work Directory " + path + " does not exist";
    if (::access(path.c_str(), W_OK | X_OK) != 0)
        return "The Work Directory " + path + " cannot be written";
    return {};
}

std::vector<SettingsProblem> ReadSettings(Settings& settings, const std::string& iniPath) {
    // A pipe would block the reading for ever, a device could change by being
    // opened: neither is opened, and nothing is read.
    if (const std::string kind = SpecialFileKind(iniPath); !kind.empty())
        throw SettingsError(NotARegularFileMessage(iniPath, kind));

    auto readText = [&](const char* section, const char* key, const std::string& defaultValue) {
        return GetPrivateProfileString(section, key, defaultValue, iniPath);
    };
    std::vector<SettingsProblem> problems;
    settings.UnreadTexts.clear();
    // Keeps the text of a value that does not read, and says so.
    auto unread = [&](const char* key, const std::string& text, std::string message,
                      bool stopsBatchRun) {
        settings.UnreadTexts[key] = text;
        problems.push_back({key, std::move(message), stopsBatchRun});
    };
    // A missing or empty number gives its default without a word.
    auto readInteger = [&](const char* section, const char* key, std::int32_t defaultValue,
                           bool stopsBatchRun) {
        const std::string text = readText(section, key, "");
        if (text.empty())
            return defaultValue;
        if (const auto value = IntegerOf(text))
            return *value;
        unread(key, text,
               "'" + text + "' is not a valid " + key + "; " + std::to_string(defaultValue) +
                   " is used until it is changed in Settings",
               stopsBatchRun);
        return defaultValue;
    };

    settings.NntpServer = readText(SectionNntp, KeyNntpServer, DefaultNntpServer);
    settings.NntpUserId = readText(SectionNntp, KeyNntpUserId, "");
    settings.NntpPassword = readText(SectionNntp, KeyNntpPassword, "");

    // A missing or empty date means today. One that does not read is left
    // invalid: Get New Newsgroups then asks from the start of today.
    const std::string storedDate = readText(SectionNntp, KeyLastGetGroups, "");
    if (storedDate.empty()) {
        settings.LastGetGroups = QDate::currentDate();
    } else {
        settings.LastGetGroups = ParseSettingsDate(storedDate);
        if (!settings.LastGetGroups.isValid())
            unread(KeyLastGetGroups, storedDate, "'" + storedDate + "' is not a valid date", false);
    }

    settings.NntpPort = readInteger(SectionNntp, KeyNntpPort, DefaultNntpPort, true);
    settings.Domain = readText(SectionIdentity, KeyDomain, "");
    settings.Organization = readText(SectionIdentity, KeyOrganization, "");

    // The packet's files are named after the Qwk ID: one that is not a plain
    // file name is never used (an empty one means none was set yet).
    settings.QwkId = readText(SectionQwk, KeyQwkId, "");
    if (!settings.QwkId.empty()) {
        if (std::string problem = QwkIdProblem(settings.QwkId); !problem.empty()) {
            unread(KeyQwkId, settings.QwkId, problem + "; set one in Settings", true);
            settings.QwkId.clear();
        }
    }

    settings.LinesPerMessage =
        readInteger(SectionQwk, KeyLinesPerMessage, DefaultLinesPerMessage, false);
    settings.WorkDirectory = readText(SectionQwk, KeyWorkDirectory, settings.WorkDirectory);

    const std::string maximumText = readText(SectionNntp, KeyMaximumArticleSize, "");
    settings.MaximumArticleBytes = DefaultMaximumArticleBytes;
    if (!maximumText.empty()) {
        if (const auto bytes = KilobytesOf(maximumText))
            settings.MaximumArticleBytes = *bytes;
        else
            unread(KeyMaximumArticleSize, maximumText,
                   "'" + maximumText + "' is not a valid " + KeyMaximumArticleSize +
                       " (a positive number of kilobytes); " +
                       KilobytesText(DefaultMaximumArticleBytes) + " is used",
                   false);
    }

    const std::string charsetText = readText(SectionQwk, KeyCharacterSet, "");
    settings.CharacterSet = mime::PacketCharset::Cp437;
    if (!charsetText.empty()) {
        if (const auto charset = CharacterSetNamed(charsetText))
            settings.CharacterSet = *charset;
        else
            unread(KeyCharacterSet, charsetText,
                   "'" + charsetText + "' is not a valid " + KeyCharacterSet +
                       " (CP437, ISO-8859-1 or UTF-8); CP437 is used",
                   false);
    }

    // An unreadable security is never taken as None: a batch run would send
    // the credentials in clear text.
    const std::string securityText = readText(SectionNntp, KeyNntpSecurity, "");
    settings.Security = NntpSecurity::None;
    if (!securityText.empty()) {
        if (const auto security = NntpSecurityNamed(securityText))
            settings.Security = *security;
        else
            unread(KeyNntpSecurity, securityText,
                   "'" + securityText + "' is not a valid " + KeyNntpSecurity +
                       " (None, TLS or STARTTLS); None is used until it is changed in Settings",
                   true);
    }

    const std::string certificateText = readText(SectionNntp, KeyNntpCertificate, "");
    settings.AcceptedCertificate = CertificateFingerprintText(certificateText);
    if (!certificateText.empty() && settings.AcceptedCertificate.empty())
        unread(KeyNntpCertificate, certificateText,
               "'" + certificateText + "' is not a valid " + KeyNntpCertificate +
                   " (a SHA-256 fingerprint: 64 hex digits); no certificate is accepted",
               false);
    return problems;
}

const char* NntpSecurityName(NntpSecurity security) {
    switch (security) {
    case NntpSecurity::Tls:
        return "TLS";
    case NntpSecurity::StartTls:
        return "STARTTLS";
    case NntpSecurity::None:
        break;
    }
    return "None";
}

std::optional<NntpSecurity> NntpSecurityNamed(const std::string& name) {
    for (const auto security : {NntpSecurity::None, NntpSecurity::Tls, NntpSecurity::StartTls})
        if (ascii::EqualIgnoringCase(name, NntpSecurityName(security)))
            return security;
    return std::nullopt;
}

std::string CertificateFingerprintText(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string digits;
    for (const char c : text) {
        if (c == ':')
            continue;
        const char* at = c == 0 ? nullptr : std::strchr(hex, ascii::Upper(c));
        if (!at)
            return {};
        digits += *at;
    }
    if (digits.size() != 64)
        return {};
    std::string formatted;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        if (i > 0)
            formatted += ':';
        formatted += digits.substr(i, 2);
    }
    return formatted;
}

const char* CharacterSetName(mime::PacketCharset charset) {
    switch (charset) {
    case mime::PacketCharset::Latin1:
        return "ISO-8859-1";
    case mime::PacketCharset::Utf8:
        return "UTF-8";
    case mime::PacketCharset::Cp437:
        break;
    }
    return "CP437";
}

std::optional<mime::PacketCharset> CharacterSetNamed(const std::string& name) {
    for (const auto charset :
         {mime::PacketCharset::Cp437, mime::PacketCharset::Latin1, mime::PacketCharset::Utf8})
        if (ascii::EqualIgnoringCase(name, CharacterSetName(charset)))
            return charset;
    return std::nullopt;
}

void WriteSettings(const Settings& settings, const std::string& iniPath) {
    auto write = [&](const char* section, const char* key, const std::string& value) {
        if (!WritePrivateProfileString(section, key, value, iniPath))
            throw SettingsError("Unable to write to " + iniPath);
    };
    auto readTextFromFile = [&](const char* key, const std::string& defaultValue) {
        return GetPrivateProfileString(SectionNntp, key, defaultValue, iniPath);
    };
    // A key whose file text did not read, and whose field nobody has set
    // since, keeps its line as it is.
    auto writeUnlessUnread = [&](const char* section, const char* key, bool holdsStandIn,
                                 const std::string& value) {
        if (holdsStandIn && settings.UnreadTexts.contains(key))
            return;
        write(section, key, value);
    };

    write(SectionNntp, KeyNntpServer, settings.NntpServer);
    write(SectionNntp, KeyNntpUserId, settings.NntpUserId);
    write(SectionNntp, KeyNntpPassword, settings.NntpPassword);
    writeUnlessUnread(SectionNntp, KeyLastGetGroups, !settings.LastGetGroups.isValid(),
                      FormatSettingsDate(settings.LastGetGroups));
    writeUnlessUnread(SectionNntp, KeyNntpPort, settings.NntpPort == DefaultNntpPort,
                      std::to_string(settings.NntpPort));
    write(SectionIdentity, KeyDomain, settings.Domain);
    write(SectionIdentity, KeyOrganization, settings.Organization);
    writeUnlessUnread(SectionQwk, KeyQwkId, settings.QwkId.empty(), settings.QwkId);
    writeUnlessUnread(SectionQwk, KeyLinesPerMessage,
                      settings.LinesPerMessage == DefaultLinesPerMessage,
                      std::to_string(settings.LinesPerMessage));
    write(SectionQwk, KeyWorkDirectory, settings.WorkDirectory);
    // Last of all, so that a file written before this key keeps its order.
    writeUnlessUnread(SectionNntp, KeyMaximumArticleSize,
                      settings.MaximumArticleBytes == DefaultMaximumArticleBytes,
                      KilobytesText(settings.MaximumArticleBytes));
    writeUnlessUnread(SectionQwk, KeyCharacterSet,
                      settings.CharacterSet == mime::PacketCharset::Cp437,
                      CharacterSetName(settings.CharacterSet));
    // Absent means None and no certificate: such a file gains these lines
    // only once they say something else.
    auto writeWhenSetOrPresent = [&](const char* key, bool holdsDefault, const std::string& value) {
        constexpr const char* absent = "\x7f";
        if (holdsDefault && readTextFromFile(key, absent) == absent)
            return;
        writeUnlessUnread(SectionNntp, key, holdsDefault, value);
    };
    writeWhenSetOrPresent(KeyNntpSecurity, settings.Security == NntpSecurity::None,
                          NntpSecurityName(settings.Security));
    writeWhenSetOrPresent(KeyNntpCertificate, settings.AcceptedCertificate.empty(),
                          settings.AcceptedCertificate);
}
