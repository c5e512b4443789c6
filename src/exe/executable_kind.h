#pragma once
// Whether a Windows executable is a 32-bit or a 64-bit program, told by its
// headers alone. A projector's player decides which engine a build takes: a
// 32-bit hook library cannot enter a 64-bit process, so a 64-bit player needs
// the 64-bit engine and its tools.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vs {

class TStream;

enum class ExecutableKind { Bits32, Bits64 };

// "32-bit" or "64-bit".
std::string_view ExecutableKindText(ExecutableKind kind);

// Bits64 for an AMD64 image with a PE32+ optional header; Bits32 for anything
// else: i386 or another machine, a file that is no executable, or one whose
// headers are damaged or cut short. Never fails.
ExecutableKind ExecutableKindOf(std::span<const std::uint8_t> file);

// The same for a stream that starts with the executable, reading only its
// headers (DOS header, NT headers, section table); a stream that cannot be
// read counts as Bits32. The stream's position is left anywhere.
ExecutableKind ExecutableKindOf(TStream& file);

// The same for a file by name; a file that cannot be opened counts as Bits32.
ExecutableKind ExecutableKindOfFile(const std::string& path);

}  // namespace vs
