// The program-wide settings kept in ZANDREL.INI.
#pragma once

#include "mime/packet_charset.h"

#include <QDate>
#include <QLocale>
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// The values a key takes when the file lacks it (or holds no valid value).
inline constexpr const char* DefaultNntpServer = "news";
inline constexpr std::int32_t DefaultNntpPort = 119;
inline constexpr std::int32_t DefaultLinesPerMessage = 90;
inline constexpr std::int64_t DefaultMaximumArticleBytes = 16 * 1024 * 1024;
// The port of NNTP over TLS from the first byte (RFC 4642's "nntps").
inline constexpr std::int32_t DefaultNntpTlsPort = 563;

// The names of the keys whose values must be read, as the file spells them.
inline constexpr const char* SettingsKeyLastGetGroups = "NNTP Last Get Groups";
inline constexpr const char* SettingsKeyNntpPort = "NNTP Remote Port";
inline constexpr const char* SettingsKeyQwkId = "Qwk ID";
inline constexpr const char* SettingsKeyLinesPerMessage = "Lines Per Messages";
inline constexpr const char* SettingsKeyMaximumArticleSize = "Maximum Article Size";
inline constexpr const char* SettingsKeyCharacterSet = "Character Set";
inline constexpr const char* SettingsKeyNntpSecurity = "NNTP Security";
inline constexpr const char* SettingsKeyNntpCertificate = "NNTP Certificate";

// How the connection to the news server is protected.
enum class NntpSecurity {
    None,     // clear text, as before the key existed
    Tls,      // TLS from the first byte, usually on port 563
    StartTls, // STARTTLS (RFC 4642) on the usual port
};

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
    // The largest article a run takes, in bytes; stored in kilobytes as
    // "Maximum Article Size" in [NNTP].
    std::int64_t MaximumArticleBytes = DefaultMaximumArticleBytes;
    // The character set of the packet's text; stored as "Character Set" in
    // [Qwk] by its name (CharacterSetName).
    mime::PacketCharset CharacterSet = mime::PacketCharset::Cp437;
    // Stored as "NNTP Security" in [NNTP] by its name (NntpSecurityName);
    // the key is written only once it is not None or the file has it, so a
    // file without it stays as it was.
    NntpSecurity Security = NntpSecurity::None;
    // The SHA-256 fingerprint of a server certificate the user accepted
    // although it did not verify: 32 upper-case hex pairs joined by colons
    // (the file may hold it without colons or in lower case). Stored as
    // "NNTP Certificate" in [NNTP], written like "NNTP Security".
    std::string AcceptedCertificate;

    // The file's text of each key ReadSettings could not read, by key name
    // (SettingsKeyNntpPort, ...). The field meanwhile holds a stand-in: the
    // default for a number, an invalid date, an empty Qwk ID. While the field
    // still holds its stand-in, WriteSettings leaves that key's line in the
    // file as it is, so a value nobody entered never replaces it. The
    // settings dialog shows the text and drops the entry when the user
    // changes it.
    std::map<std::string, std::string> UnreadTexts;
};

// A value ReadSettings could not read: its key, the message for the user
// ("'12/9/26' is not a valid date"), and whether a batch run must not start
// on the stand-in (a wrong port or a packet name that is not a file name
// could fetch from, or write to, the wrong place).
struct SettingsProblem {
    std::string Key;
    std::string Message;
    bool StopsBatchRun = false;
};

// Raised when ZANDREL.INI is a special file (it is then never opened) or the
// file cannot be written ("Unable to write to %s").
struct SettingsError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Reads every key from iniPath in file order, each with its default. The
// caller has already set WorkDirectory to its default. A value that does not
// read gives its stand-in, its file text goes to UnreadTexts and a problem is
// returned; the keys after it are read all the same. A special file (a named
// pipe, a device, a directory) as iniPath throws SettingsError naming it and
// leaves the settings as they were.
std::vector<SettingsProblem> ReadSettings(Settings& settings, const std::string& iniPath);
// Writes the keys in file order ("Maximum Article Size" after all the others,
// so a file written before it keeps its order); throws SettingsError when it
// cannot. A key in UnreadTexts whose field still holds its stand-in is not
// written.
void WriteSettings(const Settings& settings, const std::string& iniPath);

// "None", "TLS" or "STARTTLS", as stored and shown.
const char* NntpSecurityName(NntpSecurity security);
// The security of that name, letter case aside; nothing for another name.
std::optional<NntpSecurity> NntpSecurityNamed(const std::string& name);
// A SHA-256 fingerprint as stored ("AB:CD:..."), from 64 hex digits with or
// without colons in either case; empty when the text is not one.
std::string CertificateFingerprintText(const std::string& text);

// "CP437", "ISO-8859-1" or "UTF-8", as stored and shown.
const char* CharacterSetName(mime::PacketCharset charset);
// The set of that name, letter case aside; nothing for another name.
std::optional<mime::PacketCharset> CharacterSetNamed(const std::string& name);

// The date as stored under "NNTP Last Get Groups": ISO 8601 (2026-12-09), the
// same under every locale.
std::string FormatSettingsDate(const QDate& date);
// Reads a stored date: ISO 8601 first, then (for files written before) the
// locale's short date, where a two-digit year is taken in the current
// century. An invalid QDate when the text is neither.
QDate ParseSettingsDate(const std::string& text, const QLocale& locale = QLocale::system());

// The longest Qwk ID: it names the packet files (<QwkId>.QWK, .REP, .MSG).
inline constexpr std::size_t MaxQwkIdLength = 8;
// Why the text cannot be a Qwk ID (1 to 8 ASCII letters or digits); empty when
// it can.
std::string QwkIdProblem(const std::string& qwkId);

// The checks of the Settings dialog's other fields: why the text cannot be
// stored, empty when it can. Numbers are decimal digits only.
inline constexpr std::int32_t MaxNntpPort = 65535;
// Fewer lines would cut an article into more messages than a reader can follow.
inline constexpr std::int32_t MinLinesPerMessage = 10;
inline constexpr std::int32_t MaxLinesPerMessage = 999999;
std::string NntpServerProblem(const std::string& server); // empty: nowhere to connect
std::string NntpPortProblem(const std::string& text);     // 1 to 65535
std::string LinesPerMessageProblem(const std::string& text);
// The directory must exist and take new files (the packet is written there).
std::string WorkDirectoryProblem(const std::string& path);
