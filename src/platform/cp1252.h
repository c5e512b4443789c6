#pragma once
// The system's 8-bit texts are Windows-1252; texts that users type are UTF-8.
#include <cstdint>
#include <string>
#include <string_view>

namespace vs {

// Unicode code point of a Windows-1252 byte (the five unassigned bytes map to
// the C1 control of the same number, as the platform's converter does).
char32_t Cp1252ToUnicode(std::uint8_t byte);
// Windows-1252 byte of a code point, or '?' when the code page has none.
std::uint8_t UnicodeToCp1252(char32_t cp);

std::string Utf8ToCp1252(std::string_view utf8);
std::string Cp1252ToUtf8(std::string_view ansi);
// UTF-16LE code units of a Windows-1252 text.
std::u16string Cp1252ToUtf16(std::string_view ansi);

}  // namespace vs
