// VxUtil: string, token, list, number and message-box helpers shared by
// Zandrel. Every function is exported under its plain name (see exports.txt);
// both sides use the one C++ runtime, so strings and list items made by one
// side may be released by the other.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// An item of a VxList. The program derives its records from it, so that
// VxClearList can release them without knowing their type.
struct VxListItem {
    virtual ~VxListItem() = default;
};

// The 6-byte real: exponent byte first, then the fraction, sign in the top bit.
struct Real48 {
    std::uint8_t bytes[6];
};

// The pointer list shared by both deliverables: an ordered list of owned items.
using VxList = std::vector<std::unique_ptr<VxListItem>>;

extern "C" {

// 1: the path with the platform separator appended unless its last character is one.
std::string VxSlashIt(const std::string& path);
// 2: the line at the cursor; a line ends at CR and the byte after the CR is
// skipped with it. The cursor is advanced past the line; it never passes the
// terminating zero byte.
std::string VxGetNextLine(const char*& cursor);
// 3: a question box with Yes and No; true exactly when Yes was chosen.
bool VxYesNoDialog(const std::string& message, const std::string& caption);
// 4: asks "Delete NAME?" and deletes the file on Yes.
void VxDeleteFileDialog(const std::string& path, const std::string& caption);
// 5: an information box with OK.
void VxInfoDialog(const std::string& message, const std::string& caption);
// 6: releases every item and leaves the list empty.
void VxClearList(VxList& list);
// 7: first text when the flag is set, else the second.
std::string VxCondString(bool flag, const std::string& ifTrue, const std::string& ifFalse);
// 8: the text as a 32-bit signed integer, or the default when it is not one.
std::int32_t VxStrToInt(const std::string& text, std::int32_t defaultValue);
// 9: a 6-byte real, passed by value, to the 4 bytes of an MBF single.
void VxRealToMsb(Real48 value, std::uint8_t msbin[4]);
// 10: an MBF single, its four bytes as one little-endian 32-bit value.
long double VxMsbToReal(std::uint32_t msbin);
// 11: a fixed-width byte field as a trimmed text.
std::string VxCharToStr(const void* field, std::int32_t width);
// 12: fills a fixed-width byte field with the text, left-aligned and blank-padded.
void VxStrToChar(void* field, std::int32_t width, const std::string& text);
// 13: deletes every file in the directory.
void VxEmptyDirectory(const std::string& directory);
// 14: takes the first blank-separated word off the text (trimmed) and returns it.
std::string VxGetNextToken(std::string& text);

} // extern "C"
