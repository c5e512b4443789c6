#pragma once
// The link to the engine's mouse-hook library. It is never streamed; in the
// generator it is only created and destroyed.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

namespace vs {

class TMouseHook;
class EnginePlatform;

// A loaded hook library: its entry points by index and its shared data block.
class HookLibrary {
public:
    virtual ~HookLibrary() = default;
    virtual void CallEntry(int index) = 0;
    virtual const std::uint8_t* SharedData() const = 0;  // at least 52 bytes
    virtual std::size_t SharedDataSize() const = 0;
};

// A window message as the engine hands it over.
struct HookMessage {
    std::uint32_t Msg = 0;
    std::uint32_t WParam = 0;
    std::int32_t LParam = 0;
    std::int32_t Result = 0;
};

inline constexpr std::uint32_t WM_USER_BASE = 0x0400;
inline constexpr std::uint32_t WM_HOOK_INFO = WM_USER_BASE + 11;     // 0x040B
inline constexpr std::uint32_t WM_HOOK_MOUSE = WM_USER_BASE + 12;    // 0x040C
inline constexpr std::uint32_t WM_HOOK_COMMAND = WM_USER_BASE + 13;  // 0x040D
inline constexpr std::uint32_t WM_HOOK_NOTIFY = WM_USER_BASE + 14;   // 0x040E
inline constexpr std::uint32_t WM_HOOK_BEEP = WM_USER_BASE + 15;     // 0x040F

class TMouseHook {
public:
    using SenderEvent = std::function<void(TMouseHook& sender)>;
    using MessageEvent = std::function<void(TMouseHook& sender, HookMessage& message)>;
    using ParamEvent = std::function<void(TMouseHook& sender, std::uint32_t wParam, std::int32_t lParam)>;

    // Clears Loaded and Hooked and becomes the current hook link.
    explicit TMouseHook(EnginePlatform& platform);
    ~TMouseHook();
    TMouseHook(const TMouseHook&) = delete;
    TMouseHook& operator=(const TMouseHook&) = delete;

    static TMouseHook* Current();

    bool Loaded() const { return loaded_; }
    bool Hooked() const { return hooked_; }
    // Takes a loaded library (the engine's loading is its own business).
    void Attach(std::unique_ptr<HookLibrary> library);
    void SetHooked(bool hooked) { hooked_ = hooked; }
    void Unhook();
    void Unload();

    // Handles one of the hook library's messages (0x040B to 0x040F).
    void HandleMessage(HookMessage& message);

    std::int16_t X = 0, Y = 0, PrevX = 0, PrevY = 0;
    std::int32_t DX = 0, DY = 0;
    std::uint16_t InfoWord = 0;
    std::uint8_t InfoByte = 0;

    // The ten event handlers; an empty one is skipped.
    SenderEvent OnInfo;            // 0x040B
    SenderEvent OnMouseMove;       // 0x040C, move with the flag at offset 36 = 1
    SenderEvent OnMouseMoveOther;  // 0x040C, any other move
    SenderEvent OnLeftButtonDown;  // 0x040C, 0x0201
    SenderEvent OnRightButtonDown; // 0x040C, 0x0204
    MessageEvent OnCommand6;       // 0x040D, wParam 6
    SenderEvent OnCommand7;        // 0x040D, wParam 7
    SenderEvent OnCommand8;        // 0x040D, wParam 8
    SenderEvent OnMenuCommand;     // 0x040D, wParam 0x0111
    ParamEvent OnNotify;           // 0x040E

private:
    std::uint32_t dataU32(std::size_t offset) const;
    std::uint16_t dataU16(std::size_t offset) const;
    std::uint8_t dataU8(std::size_t offset) const;

    EnginePlatform& platform_;

    bool loaded_ = false;
    bool hooked_ = false;
    std::unique_ptr<HookLibrary> library_;
    std::array<bool, 3> entries_{};  // the entry points taken from the library
};

}  // namespace vs
