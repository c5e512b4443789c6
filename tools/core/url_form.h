#pragma once
// URL-encoded variables ("a=1&b=two+words"), as a movie sends and loads them.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vs::engine {

using FormVariables = std::vector<std::pair<std::string, std::string>>;

// %XX escapes decoded, and '+' as a space when plusIsSpace; nothing when an
// escape is cut or not hexadecimal.
std::optional<std::string> PercentDecode(std::string_view text, bool plusIsSpace);

// Every byte but letters, digits and - _ . ~ as %XX.
std::string PercentEncode(std::string_view text);

// The pairs of a form; empty pieces ("a=1&&b=2") are skipped and a piece
// without '=' is a variable with an empty value. Nothing when an escape is bad.
std::optional<FormVariables> ParseForm(std::string_view text);

// The canonical form of the pairs: "name=value" joined by '&', both encoded.
std::string EncodeForm(const FormVariables& variables);

}  // namespace vs::engine
