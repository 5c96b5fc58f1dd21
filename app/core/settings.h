// The ten program-wide settings kept in ZANDREL.INI.
#pragma once

#include <QDate>
#include <cstdint>
#include <stdexcept>
#include <string>

// The values a key takes when the file lacks it (or holds no valid integer).
inline constexpr const char* DefaultNntpServer = "news";
inline constexpr std::int32_t DefaultNntpPort = 119;
inline constexpr std::int32_t DefaultLinesPerMessage = 90;

struct Settings {
    std::string NntpServer;
    std::string NntpUserId;
    std::string NntpPassword;
    QDate LastGetGroups;
    std::int32_t NntpPort = 0;
    std::string Domain;
    std::string Organization;
    std::string QwkId;
    std::int32_t LinesPerMessage = 0;
    std::string WorkDirectory;
};

// Raised when a stored value cannot be converted ("'%s' is not a valid date")
// or the file cannot be written ("Unable to write to %s").
struct SettingsError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Reads the ten keys from iniPath in file order, each with its default. The
// caller has already set WorkDirectory to its default. A stored date that does
// not read throws SettingsError; the keys after it keep their values.
void ReadSettings(Settings& settings, const std::string& iniPath);
// Writes the ten keys in file order; throws SettingsError when it cannot.
void WriteSettings(const Settings& settings, const std::string& iniPath);

// The locale's short date, as stored under "NNTP Last Get Groups".
std::string FormatSettingsDate(const QDate& date);
// Reads a short date back; a two-digit year is taken in the current century.
// An invalid QDate when the text is not a date.
QDate ParseSettingsDate(const std::string& text);
