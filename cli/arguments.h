#pragma once
// Parsing the values of command-line options.
#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "shape/bitmap.h"

namespace vs {
class s_TVexelProjector;
}

namespace vs::cli {

// "MAJOR.MINOR.RELEASE.BUILD", up to four numbers of 0 to 65535; fails with a
// message naming --version.
std::array<int, 4> ParseVersionNumbers(const std::string& text);

// "RRGGBB", with or without a leading '#'.
std::optional<Colour> ParseColour(std::string text);

// "Name=Value"; fails naming --set.
std::pair<std::string, std::string> ParseAssignment(const std::string& text);

// Checks that every name is a Boolean, enumeration, integer or string
// property of the settings object and its value one of its spellings.
void CheckSettingsAssignments(const std::vector<std::pair<std::string, std::string>>& assignments);
void ApplySettingsAssignments(s_TVexelProjector& settings,
                              const std::vector<std::pair<std::string, std::string>>& assignments);

}  // namespace vs::cli
