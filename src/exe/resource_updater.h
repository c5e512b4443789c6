#pragma once
// Replacing resources of a 32-bit Windows executable without the platform's
// resource-update service: the resource tree is read, changed and laid out
// again, and the headers that describe the resource section are fixed.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

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

// Collects changes to one executable and writes them all at once, keeping every
// resource that is not replaced. Commit returns false and leaves the file
// byte for byte unchanged when it cannot rewrite the file safely.
class ResourceUpdater {
public:
    explicit ResourceUpdater(std::string fileName);
    ~ResourceUpdater();

    // Replaces the resource (type, name, language), or adds it when absent.
    void Update(const ResourceId& type, const ResourceId& name, std::uint16_t language,
                std::span<const std::uint8_t> data);
    bool Commit();

    // Why the last Commit returned false (empty after a successful one).
    const std::string& LastError() const { return error_; }

private:
    struct Change {
        ResourceId type, name;
        std::uint16_t language;
        std::vector<std::uint8_t> data;
    };
    std::string fileName_;
    std::vector<Change> changes_;
    std::string error_;
};

// One change of a rewrite in memory.
struct ResourceChange {
    ResourceId type, name;
    std::uint16_t language = 0;
    std::vector<std::uint8_t> data;
};

// Rewrites an executable image held in memory with the changes applied. On
// success `out` holds the new file; otherwise the result is false, `out` is
// left alone and `why` (when given) says what stood in the way.
bool RewriteResources(std::span<const std::uint8_t> file, const std::vector<ResourceChange>& changes,
                      std::vector<std::uint8_t>& out, std::string* why = nullptr);

// One change, committed at once.
bool UpdateResource(const std::string& fileName, const ResourceId& type, const ResourceId& name,
                    std::uint16_t language, std::span<const std::uint8_t> data);

}  // namespace vs
