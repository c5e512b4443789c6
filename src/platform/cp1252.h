#pragma once
// The system's 8-bit texts (stream strings, version strings, the file record,
// the variable file) are Windows-1252; everything else inside the program is
// UTF-8. AnsiString holds such 8-bit text, and converting it is the only way
// between the two: reading never fails (every byte has a character), writing
// fails with ETextEncodingError, naming the text, when the code page lacks one
// of its characters.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/errors.h"

namespace vs {

class ETextEncodingError : public VsError { public: using VsError::VsError; };

// Unicode code point of a Windows-1252 byte (the five unassigned bytes map to
// the C1 control of the same number, as the platform's converter does).
char32_t Cp1252ToUnicode(std::uint8_t byte);
// Windows-1252 byte of a code point, or nothing when the code page has none.
std::optional<std::uint8_t> UnicodeToCp1252(char32_t cp);

class AnsiString {
public:
    AnsiString() = default;
    // Bytes as a file stores them.
    static AnsiString FromBytes(std::string_view bytes) { return AnsiString(std::string(bytes)); }
    // Fails with ETextEncodingError naming the text when it is not UTF-8 or
    // holds a character that Windows-1252 lacks.
    static AnsiString FromUtf8(std::string_view utf8);

    std::string ToUtf8() const;
    std::u16string ToUtf16() const;
    const std::string& bytes() const { return bytes_; }
    std::size_t size() const { return bytes_.size(); }
    bool empty() const { return bytes_.empty(); }
    bool operator==(const AnsiString&) const = default;

private:
    explicit AnsiString(std::string bytes) : bytes_(std::move(bytes)) {}
    std::string bytes_;
};

// Whether a UTF-8 text can be stored as Windows-1252.
bool FitsCp1252(std::string_view utf8);
// The first character of a UTF-8 text that Windows-1252 lacks, as UTF-8 (a
// broken sequence as U+FFFD), or nothing when the whole text can be stored.
std::optional<std::string> FirstCharacterNotInCp1252(std::string_view utf8);
// Why a character cannot be stored: "\"П\" is not a character of the
// Windows-1252 code page".
std::string NotInCp1252Text(std::string_view character);

// UTF-16 and UTF-8 of each other; invalid sequences become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace vs
