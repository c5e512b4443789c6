#pragma once
// Names of the files that the command line writes into a folder.
#include <set>
#include <string>

namespace vs::cli {

// `name` itself, or when a name in `used` already equals it without regard to
// the case of ASCII letters (as on the file systems the projectors run on),
// "name (2).ext", "name (3).ext", ...; the result is added to `used`.
std::string UniqueName(const std::string& name, std::set<std::string>& used);

// Refuses, before anything is written, an output (-o) that is the same file as
// an input; `role` names the input ("the player (--player)").
void RefuseOutputOverInput(const std::string& output, const std::string& input, const std::string& role);

}  // namespace vs::cli
