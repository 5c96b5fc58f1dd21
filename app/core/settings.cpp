// ZANDREL.INI: ten keys in three sections, read and written one key at a time
// in the order the file keeps them.
#include "settings.h"

#include "profile.h"
#include "vxutil.h"

#include <QLocale>
#include <QString>
#include <vector>

namespace {

constexpr const char* SectionNntp = "NNTP";
constexpr const char* SectionIdentity = "Identity";
constexpr const char* SectionQwk = "Qwk";

constexpr const char* KeyNntpServer = "NNTP Server";
constexpr const char* KeyNntpUserId = "NNTP User Id";
constexpr const char* KeyNntpPassword = "NNTP Password";
constexpr const char* KeyLastGetGroups = "NNTP Last Get Groups";
constexpr const char* KeyNntpPort = "NNTP Remote Port";
constexpr const char* KeyDomain = "Domain";
constexpr const char* KeyOrganization = "Organization";
constexpr const char* KeyQwkId = "Qwk ID";
constexpr const char* KeyLinesPerMessage = "Lines Per Messages";
constexpr const char* KeyWorkDirectory = "Work Directory";

// An integer as stored: decimal, or hexadecimal after "0x" (a hand-edited
// port of 0x77 reads as 119); anything else gives the default.
std::int32_t ReadInteger(const char* section, const char* key, std::int32_t defaultValue,
                         const std::string& iniPath) {
    std::string text = GetPrivateProfileString(section, key, "", iniPath);
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.replace(0, 2, "$");
    return VxStrToInt(text, defaultValue);
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
    return QLocale::system().toString(date, QLocale::ShortFormat).toLocal8Bit().toStdString();
}

QDate ParseSettingsDate(const std::string& text) {
    const QLocale locale = QLocale::system();
    const QString input = QString::fromLocal8Bit(text).trimmed();
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

void ReadSettings(Settings& settings, const std::string& iniPath) {
    auto readText = [&](const char* section, const char* key, const std::string& defaultValue) {
        return GetPrivateProfileString(section, key, defaultValue, iniPath);
    };

    settings.NntpServer = readText(SectionNntp, KeyNntpServer, DefaultNntpServer);
    settings.NntpUserId = readText(SectionNntp, KeyNntpUserId, "");
    settings.NntpPassword = readText(SectionNntp, KeyNntpPassword, "");

    // A missing or empty date means today; one that does not read stops the
    // reading here, and the keys after it keep the values they had.
    const std::string storedDate = readText(SectionNntp, KeyLastGetGroups, "");
    if (storedDate.empty()) {
        settings.LastGetGroups = QDate::currentDate();
    } else {
        const QDate date = ParseSettingsDate(storedDate);
        if (!date.isValid())
            throw SettingsError("'" + storedDate + "' is not a valid date");
        settings.LastGetGroups = date;
    }

    settings.NntpPort = ReadInteger(SectionNntp, KeyNntpPort, DefaultNntpPort, iniPath);
    settings.Domain = readText(SectionIdentity, KeyDomain, "");
    settings.Organization = readText(SectionIdentity, KeyOrganization, "");
    settings.QwkId = readText(SectionQwk, KeyQwkId, "");
    settings.LinesPerMessage =
        ReadInteger(SectionQwk, KeyLinesPerMessage, DefaultLinesPerMessage, iniPath);
    settings.WorkDirectory = readText(SectionQwk, KeyWorkDirectory, settings.WorkDirectory);
}

void WriteSettings(const Settings& settings, const std::string& iniPath) {
    auto write = [&](const char* section, const char* key, const std::string& value) {
        if (!WritePrivateProfileString(section, key, value, iniPath))
            throw SettingsError("Unable to write to " + iniPath);
    };

    write(SectionNntp, KeyNntpServer, settings.NntpServer);
    write(SectionNntp, KeyNntpUserId, settings.NntpUserId);
    write(SectionNntp, KeyNntpPassword, settings.NntpPassword);
    write(SectionNntp, KeyLastGetGroups, FormatSettingsDate(settings.LastGetGroups));
    write(SectionNntp, KeyNntpPort, std::to_string(settings.NntpPort));
    write(SectionIdentity, KeyDomain, settings.Domain);
    write(SectionIdentity, KeyOrganization, settings.Organization);
    write(SectionQwk, KeyQwkId, settings.QwkId);
    write(SectionQwk, KeyLinesPerMessage, std::to_string(settings.LinesPerMessage));
    write(SectionQwk, KeyWorkDirectory, settings.WorkDirectory);
}
