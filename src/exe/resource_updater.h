#pragma once
// Replacing resources of a 32-bit Windows executable without the platform's
// resource-update service: the resource tree is read, changed and laid out
// again, and the headers that describe the resource section are fixed.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/errors.h"

namespace vs {

// A resource type or name: a number, or a name (UTF-16, compared without case).
struct ResourceId {
    bool isName = false;
    std::uint16_t id = 0;
    std::u16string name;

    static ResourceId Number(std::uint16_t n) { return {false, n, {}}; }
    static ResourceId Named(std::u16string s) { return {true, 0, std::move(s)}; }
    bool operator==(const ResourceId&) const = default;
};

inline constexpr std::uint16_t RT_ICON_ID = 3;
inline constexpr std::uint16_t RT_GROUP_ICON_ID = 14;
inline constexpr std::uint16_t RT_VERSION_ID = 16;
inline constexpr std::uint16_t LANG_EN_US = 1033;

// The resources of a file cannot be rewritten safely; Reason() says what stood
// in the way ("data is appended behind the image, ..."). A rewrite in memory
// carries the reason alone; a file's carries its name too.
class EResourceUpdateError : public EExeError {
public:
    explicit EResourceUpdateError(std::string reason);
    EResourceUpdateError(const std::string& fileName, std::string reason);
    const std::string& Reason() const { return reason_; }

private:
    std::string reason_;
};

// One change of a rewrite.
struct ResourceChange {
    ResourceId type, name;
    std::uint16_t language = 0;
    std::vector<std::uint8_t> data;
};

// Rewrites an executable image held in memory with the changes applied (each
// one replaces the resource of its type, name and language, or adds it) and
// returns the new file. Fails with EResourceUpdateError when the image cannot
// be rewritten safely.
std::vector<std::uint8_t> RewriteResources(std::span<const std::uint8_t> file,
                                           const std::vector<ResourceChange>& changes);

// Collects changes to one executable and writes them all at once, keeping every
// resource that is not replaced.
class ResourceUpdater {
public:
    explicit ResourceUpdater(std::string fileName);
    ~ResourceUpdater();

    // Replaces the resource (type, name, language), or adds it when absent.
    void Update(const ResourceId& type, const ResourceId& name, std::uint16_t language,
                std::span<const std::uint8_t> data);
    // Writes the changes. Fails, leaving the file byte for byte unchanged, with
    // "Cannot open file %s" (EFOpenError) when it cannot be read,
    // EResourceUpdateError when it cannot be rewritten safely, and "Cannot
    // create file %s" (EFCreateError) when the result cannot be written.
    void Commit();

private:
    std::string fileName_;
    std::vector<ResourceChange> changes_;
};

// One change, committed at once; fails as Commit does.
void UpdateResource(const std::string& fileName, const ResourceId& type, const ResourceId& name,
                    std::uint16_t language, std::span<const std::uint8_t> data);

}  // namespace vs
