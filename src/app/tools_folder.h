#pragma once
// Guards around the Tools folder beside the generator. Every build copies its
// engine and packs its hook library and tools, so a file written over one of
// them breaks every later build; and an engine that is not the Windows program
// a build expects gives a projector that cannot start.
#include <cstdint>
#include <string>
#include <vector>

#include "package/package_file.h"

namespace vs {

// Fails, naming both files, when `output` is the same file (by identity, not
// spelling) as a file of the Tools folder or of its 64-bit sub-folder. A name
// that does not exist yet is nobody's file.
void RefuseToolsFolderOutput(const std::string& generatorDir, const std::string& output);

// The bytes of `engine`, once they are a Windows executable program of the
// family's kind (a 32-bit i386 program for I686, a 64-bit AMD64 PE32+ program
// for X86_64). Fails with a message naming `engine` when it is missing (an
// EFOpenError) or not such a program.
std::vector<std::uint8_t> ReadEngine(const std::string& engine, ToolsFamily family);

}  // namespace vs
