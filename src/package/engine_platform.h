#pragma once
// What the settings object needs of the window system and the kernel when it
// runs inside the engine. The generator never runs a projector, so it uses
// the quiet default; tests use a recording double.
#include <cstdint>
#include <string>

namespace vs {

class EnginePlatform {
public:
    virtual ~EnginePlatform() = default;
    virtual std::uint32_t RegisterWindowMessage(const std::string& name) = 0;
    // WM_CLOSE to the child's main window, wait for its end, pause 100 ms,
    // close its thread and process handles.
    virtual void CloseChildProcess() = 0;
    virtual void BroadcastMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
    virtual void SetCurrentDirectory(const std::string& dir) = 0;
    virtual bool DeleteFile(const std::string& name) = 0;
    virtual bool RemoveDirectory(const std::string& name) = 0;
    virtual void SystemParametersInfo(std::uint32_t action, std::uint32_t value) = 0;
    virtual void Beep() = 0;
};

// Registers messages by name (stable ids from 0xC000 on) and does nothing else.
EnginePlatform& DefaultEnginePlatform();

// A worker thread of the engine; the settings object only asks it to stop.
class WorkerThread {
public:
    virtual ~WorkerThread() = default;
    virtual void Terminate() = 0;
};

// SystemParametersInfo actions used on shutdown.
inline constexpr std::uint32_t SPI_SETSCREENSAVEACTIVE = 17;
inline constexpr std::uint32_t SPI_SCREENSAVERRUNNING = 97;

}  // namespace vs
