// Initialisation (profile) files: "[Section]" lines followed by "key=value"
// lines, read and written one key per call. Sections and keys match without
// regard to case; a write leaves every other line of the file exactly as it
// was.
#pragma once

#include <cstddef>
#include <string>

// The longest value a read returns; longer values are cut.
inline constexpr std::size_t MaxProfileValueLength = 1023;

// The value of key in section (trimmed), or defaultValue when the file, the
// section or the key is missing or the file cannot be read.
std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& path);

// Sets key in section to value: replaces the key's line, adds the key at the
// end of its section, or appends the section; creates the file when missing.
// The new file replaces the old one whole, so a failed write never leaves a
// truncated file. False when the file cannot be read or written, or when a
// name or the value holds a line break (or the key an '=', the section a ']').
bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& path);
