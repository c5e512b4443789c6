#pragma once
// Human- and machine-readable descriptions of a settings object: every
// published property by its stream name, the packed files and the shape.
#include <string>

namespace vs {

class s_TVexelProjector;

// One "Name = value" line per property, then the packed files and the shape.
// Texts are shown in UTF-8.
std::string DescribeSettings(const s_TVexelProjector& settings);
// The same as a JSON object keyed by the stream's property names.
std::string DescribeSettingsJson(const s_TVexelProjector& settings);

std::string JsonQuote(const std::string& utf8);

}  // namespace vs
