#pragma once
// The headers of a 32-bit (or 64-bit) Windows executable, read whole from its
// bytes: the one routine by which both the resource reader and the resource
// updater find their way through a file.
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "exe/pe_format.h"

namespace vs {

struct PeHeaders {
    std::uint32_t ntOffset = 0;  // file offset of the signature "PE\0\0"
    pe::FileHeader file{};
    std::uint32_t optionalOffset = 0;  // file offset of the optional header
    // The optional header when it is one of the two known forms and long enough.
    std::variant<std::monostate, pe::OptionalHeader32, pe::OptionalHeader64> optional;
    std::uint32_t directoriesOffset = 0;
    // The data directories (16 at most); empty when the optional header is not
    // known, and `directoriesCut` when it claims more than it has room for.
    std::vector<pe::DataDirectory> directories;
    bool directoriesCut = false;
    std::uint32_t sectionTableOffset = 0;
    std::vector<pe::SectionHeader> sections;

    bool HasOptionalHeader() const { return optional.index() != 0; }
    // A data directory; zero when the file has none of that index.
    pe::DataDirectory Directory(std::size_t index) const {
        return index < directories.size() ? directories[index] : pe::DataDirectory{0, 0};
    }
    // Calls f with the optional header, in whichever form it is; does nothing
    // without one.
    template <typename F>
    void VisitOptional(F&& f) {
        std::visit([&](auto& h) {
            if constexpr (!std::is_same_v<std::decay_t<decltype(h)>, std::monostate>) f(h);
        }, optional);
    }
    template <typename F>
    void VisitOptional(F&& f) const {
        std::visit([&](const auto& h) {
            if constexpr (!std::is_same_v<std::decay_t<decltype(h)>, std::monostate>) f(h);
        }, optional);
    }
};

// Reads the DOS header, the NT headers and the section table. Fails with
// EExeError "unrecognized file format" when the file does not start with
// "MZ", and "Not a PE (WIN32 Executable) file" when the NT headers or the
// section table lie outside the file or the signature is not "PE\0\0".
PeHeaders ReadPeHeaders(std::span<const std::uint8_t> file);

// Whether a section's 8-byte name is `name` (ASCII case ignored; a name of
// more than 8 characters matches nothing).
bool SectionNamed(const pe::SectionHeader& section, std::string_view name);
// The first section of that name, or nothing.
std::optional<std::size_t> FindSectionByName(const PeHeaders& headers, std::string_view name);

}  // namespace vs
