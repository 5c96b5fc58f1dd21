// TLPStr: the holder of one zero-terminated text that every text property of
// the archive components is. The command records carry its Text() address, so
// a holder without text reaches a library as a null address.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <stdexcept>
#include <string>

// Raised by LoadFromStream when the stream holds more than the holder takes.
struct StreamError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class TLPStr {
public:
    // capacity 0 gives a growable holder; any other value a fixed buffer of
    // that many bytes (text plus terminator) holding an empty text.
    explicit TLPStr(std::uint16_t capacity = 0);
    virtual ~TLPStr();
    TLPStr(const TLPStr&) = delete;
    // A text property keeps its holder: assigning another holder to it only
    // tells the user to use SetText, and changes nothing.
    TLPStr& operator=(const TLPStr&);

    virtual void Clear();
    // Without text: an empty text in buffer (2 new bytes when buffer is null).
    // With text: a copy in buffer, or in a new block when buffer is null.
    // Blocks made here are released with delete[]. Returns buffer.
    virtual char* GetText(char*& buffer) const;
    // Reads up to the limit (Capacity for a fixed holder, 32768 otherwise);
    // a stream that fills the limit raises StreamError "Line too long" and
    // the holder keeps its text.
    virtual void LoadFromStream(std::istream& stream);
    // The characters without the terminator; nothing when there is no text.
    virtual void SaveToStream(std::ostream& stream) const;
    // Null leaves the holder empty. A fixed holder cuts the text to
    // Capacity - 1 characters; a growable one takes a buffer of its size.
    virtual void SetText(const char* text);
    void SetText(const std::string& text) { SetText(text.c_str()); }

    // 0 makes the holder growable; otherwise a fixed buffer of n bytes that
    // keeps the first n - 1 characters of the text.
    void SetSize(std::uint16_t capacity);

    char* Text() const { return text_; }
    std::uint16_t Capacity() const { return capacity_; }
    bool Fixed() const { return fixed_; }

    // The stored form in a form description: a holder with a non-empty text
    // writes the property "PChar" as one byte 10, a 32-bit little-endian
    // length L (text plus terminator) and the L bytes.
    static constexpr const char* StoredPropertyName = "PChar";
    bool HasStoredText() const { return text_ != nullptr && text_[0] != '\0'; }
    void WriteStoredText(std::ostream& stream) const;
    void ReadStoredText(std::istream& stream);

private:
    char* text_ = nullptr;
    std::uint16_t capacity_ = 0;
    bool fixed_ = false;
};

// The message shown when a whole holder is assigned to a text property.
inline constexpr const char* DirectAssignMessage =
    "Cannot Directly assign a value to type LPSTR.  Use SetText";
