#pragma once
// The settings object that travels inside every built projector: the packed
// Flash projector, the hook library, the additional files, the window shape
// and every appearance, behaviour, dimension and date/time setting. Its
// published properties, in declared order, are what the engine reads.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "package/engine_platform.h"
#include "package/mouse_hook.h"
#include "package/packed_file.h"
#include "package/persistent.h"
#include "package/store_win_region.h"

namespace vs {

enum class TspSize : std::uint8_t { spsCustom, spsMaximized };
enum class TspVPosition : std::uint8_t { sppvNone, sppvTop, sppvCenter, sppvBottom };
enum class TspHPosition : std::uint8_t { spphNone, spphLeft, spphCenter, spphRight };
enum class TspBorder : std::uint8_t { spbNone, spbBorderOnly, spbTool, spbSingle };
enum class TspLeftClick : std::uint8_t { splAllow, splIgnore, splDrag };
enum class TspRightClick : std::uint8_t { sprAllow, sprIgnore, sprPopup };
enum class TspKeyboard : std::uint8_t { spkAllow, spkIgnore };

const EnumType& TspSizeType();
const EnumType& TspVPositionType();
const EnumType& TspHPositionType();
const EnumType& TspBorderType();
const EnumType& TspLeftClickType();
const EnumType& TspRightClickType();
const EnumType& TspKeyboardType();

// The published values of the settings object with their initial values, in
// declared order: the one place where the defaults are given.
struct ProjectorValues {
    bool StayOnTop = false;
    TspSize WindowSize = TspSize::spsCustom;
    TspVPosition PositionV = TspVPosition::sppvCenter;
    TspHPosition PositionH = TspHPosition::spphRight;
    std::int32_t WindowX = 0;
    std::int32_t WindowY = 0;
    std::int32_t WindowWidth = 550;
    std::int32_t WindowHeight = 400;
    std::int32_t MovieWidth = 0;
    std::int32_t MovieHeight = 0;
    std::string CaptionText;
    TspBorder BorderStyle = TspBorder::spbSingle;
    bool BorderResizeable = true;
    bool ResizeKeepRatio = true;
    bool ShowInTaskbar = false;
    bool InsDesktop = false;
    bool ShowPopupMenu = false;
    bool ShowSystemPopup = false;
    TspLeftClick LeftClickBehaviour = TspLeftClick::splDrag;
    TspRightClick RightClickBehaviour = TspRightClick::sprIgnore;
    TspKeyboard KeyboardBehaviour = TspKeyboard::spkAllow;
    bool CloseOnEscape = true;
    bool DisableScreensaver = false;
    bool DisableALTTAB = false;
    bool HideCursor = false;
    bool Preview = false;
    bool HasPrint = false;
    bool HasEXEC = false;
    bool HasVarFile = false;
    std::string VarFileName;
    bool HasVarStore = false;
    std::string VarStoreName;
    std::string DATE_YY;
    std::string DATE_MM;
    std::string DATE_DD;
    std::string TIME_HH;
    std::string TIME_MM;
    std::string TIME_SS;
    std::string TIME_MS;
    TMethodRef OnProjectorClose;
};

class s_TVexelProjector final : public Published<s_TVexelProjector, TComponent>, public ProjectorValues {
public:
    explicit s_TVexelProjector(TComponent* owner = nullptr, EnginePlatform& platform = DefaultEnginePlatform());
    ~s_TVexelProjector() override;

    static const ClassInfo& StaticClassInfo();

    // The four property objects: owned, changed in place, never replaced.
    TPackedFile& MainFile() const { return *mainFile_; }
    TPackedFile& DLLFile() const { return *dllFile_; }
    TPackedFiles& Files() const { return *files_; }
    TStoreWinRegion& Shape() const { return *shape_; }


    // Engine state, never streamed.
    std::shared_ptr<WorkerThread> Thread;
    TMouseHook& HookLink() const { return *hookLink_; }
    std::vector<std::string>& TemporaryFiles() { return temporaryFiles_; }
    std::string TemporaryFolder;
    std::uint32_t VarStoreMessage = 0;
    bool Running = false;
    std::uint32_t GetDimensionsMessage() const { return getDimensionsMessage_; }

    void ApplyDefaults();
    void Shutdown();
    void RemoveTemporaryFiles();

private:
    EnginePlatform& platform_;
    std::unique_ptr<TMouseHook> hookLink_;
    std::unique_ptr<TPackedFiles> files_;
    std::unique_ptr<TPackedFile> dllFile_;
    std::unique_ptr<TPackedFile> mainFile_;
    std::unique_ptr<TStoreWinRegion> shape_;
    std::vector<std::string> temporaryFiles_;
    std::uint32_t getDimensionsMessage_ = 0;
};

// Registers the classes a reader may look up by name, once; every settings
// object's construction calls it.
void RegisterProjectorClasses();

}  // namespace vs
