#include "package/vexel_projector.h"

#include <map>
#include <mutex>

#include "platform/errors.h"

namespace vs {

const EnumType& TspSizeType() {
    static const EnumType t{"TspSize", {"spsCustom", "spsMaximized"}};
    return t;
}
const EnumType& TspVPositionType() {
    static const EnumType t{"TspVPosition", {"sppvNone", "sppvTop", "sppvCenter", "sppvBottom"}};
    return t;
}
const EnumType& TspHPositionType() {
    static const EnumType t{"TspHPosition", {"spphNone", "spphLeft", "spphCenter", "spphRight"}};
    return t;
}
const EnumType& TspBorderType() {
    static const EnumType t{"TspBorder", {"spbNone", "spbBorderOnly", "spbTool", "spbSingle"}};
    return t;
}
const EnumType& TspLeftClickType() {
    static const EnumType t{"TspLeftClick", {"splAllow", "splIgnore", "splDrag"}};
    return t;
}
const EnumType& TspRightClickType() {
    static const EnumType t{"TspRightClick", {"sprAllow", "sprIgnore", "sprPopup"}};
    return t;
}
const EnumType& TspKeyboardType() {
    static const EnumType t{"TspKeyboard", {"spkAllow", "spkIgnore"}};
    return t;
}

namespace {

class QuietPlatform : public EnginePlatform {
public:
    std::uint32_t RegisterWindowMessage(const std::string& name) override {
        std::lock_guard lock(mutex_);
        auto [it, added] = ids_.emplace(name, 0xC000u + static_cast<std::uint32_t>(ids_.size()));
        return it->second;
    }
    void CloseChildProcess() override {}
    void BroadcastMessage(std::uint32_t, std::uintptr_t, std::intptr_t) override {}
    void SetCurrentDirectory(const std::string&) override {}
    bool DeleteFile(const std::string&) override { return false; }
    bool RemoveDirectory(const std::string&) override { return false; }
    void SystemParametersInfo(std::uint32_t, std::uint32_t) override {}
    void Beep() override {}

private:
    std::mutex mutex_;
    std::map<std::string, std::uint32_t> ids_;
};

using P = s_TVexelProjector;

}  // namespace

EnginePlatform& DefaultEnginePlatform() {
    static QuietPlatform platform;
    return platform;
}

const ClassInfo& s_TVexelProjector::StaticClassInfo() {
    static const ClassInfo info = [] {
        ClassInfo c{"s_TVexelProjector", &TComponent::StaticClassInfo(), {}, {}};
        auto& p = c.props;
        p.push_back(OwnedObjectProp<P, TPackedFile>("MainFile", [](const P& o) { return &o.MainFile(); }));
        p.push_back(OwnedObjectProp<P, TPackedFile>("DLLFile", [](const P& o) { return &o.DLLFile(); }));
        p.push_back(OwnedObjectProp<P, TPackedFiles>("Files", [](const P& o) { return &o.Files(); }));
        p.push_back(OwnedObjectProp<P, TStoreWinRegion>("Shape", [](const P& o) { return &o.Shape(); }));
        p.push_back(BooleanProp("StayOnTop", &P::StayOnTop));
        p.push_back(EnumProp("WindowSize", &P::WindowSize, TspSizeType()));
        p.push_back(EnumProp("PositionV", &P::PositionV, TspVPositionType()));
        p.push_back(EnumProp("PositionH", &P::PositionH, TspHPositionType()));
        p.push_back(IntegerProp("WindowX", &P::WindowX));
        p.push_back(IntegerProp("WindowY", &P::WindowY));
        p.push_back(IntegerProp("WindowWidth", &P::WindowWidth));
        p.push_back(IntegerProp("WindowHeight", &P::WindowHeight));
        p.push_back(IntegerProp("MovieWidth", &P::MovieWidth));
        p.push_back(IntegerProp("MovieHeight", &P::MovieHeight));
        p.push_back(StringProp("CaptionText", &P::CaptionText));
        p.push_back(EnumProp("BorderStyle", &P::BorderStyle, TspBorderType()));
        p.push_back(BooleanProp("BorderResizeable", &P::BorderResizeable));
        p.push_back(BooleanProp("ResizeKeepRatio", &P::ResizeKeepRatio));
        p.push_back(BooleanProp("ShowInTaskbar", &P::ShowInTaskbar));
        p.push_back(BooleanProp("InsDesktop", &P::InsDesktop));
        p.push_back(BooleanProp("ShowPopupMenu", &P::ShowPopupMenu));
        p.push_back(BooleanProp("ShowSystemPopup", &P::ShowSystemPopup));
        p.push_back(EnumProp("LeftClickBehaviour", &P::LeftClickBehaviour, TspLeftClickType()));
        p.push_back(EnumProp("RightClickBehaviour", &P::RightClickBehaviour, TspRightClickType()));
        p.push_back(EnumProp("KeyboardBehaviour", &P::KeyboardBehaviour, TspKeyboardType()));
        p.push_back(BooleanProp("CloseOnEscape", &P::CloseOnEscape));
        p.push_back(BooleanProp("DisableScreensaver", &P::DisableScreensaver));
        p.push_back(BooleanProp("DisableALTTAB", &P::DisableALTTAB));
        p.push_back(BooleanProp("HideCursor", &P::HideCursor));
        p.push_back(BooleanProp("Preview", &P::Preview));
        p.push_back(BooleanProp("HasPrint", &P::HasPrint));
        p.push_back(BooleanProp("HasEXEC", &P::HasEXEC));
        p.push_back(BooleanProp("HasVarFile", &P::HasVarFile));
        p.push_back(StringProp("VarFileName", &P::VarFileName));
        p.push_back(BooleanProp("HasVarStore", &P::HasVarStore));
        p.push_back(StringProp("VarStoreName", &P::VarStoreName));
        p.push_back(StringProp("DATE_YY", &P::DATE_YY));
        p.push_back(StringProp("DATE_MM", &P::DATE_MM));
        p.push_back(StringProp("DATE_DD", &P::DATE_DD));
        p.push_back(StringProp("TIME_HH", &P::TIME_HH));
        p.push_back(StringProp("TIME_MM", &P::TIME_MM));
        p.push_back(StringProp("TIME_SS", &P::TIME_SS));
        p.push_back(StringProp("TIME_MS", &P::TIME_MS));
        p.push_back(MethodProp("OnProjectorClose", &P::OnProjectorClose));
        return c;
    }();
    return info;
}

s_TVexelProjector::s_TVexelProjector(TComponent* owner, EnginePlatform& platform)
    : TComponent(owner), platform_(platform) {
    ApplyDefaults();
    Running = false;
    hookLink_ = std::make_unique<TMouseHook>(platform_);
    files_ = std::make_unique<TPackedFiles>();
    dllFile_ = std::make_unique<TPackedFile>();
    mainFile_ = std::make_unique<TPackedFile>();
    shape_ = std::make_unique<TStoreWinRegion>();
    getDimensionsMessage_ = platform_.RegisterWindowMessage("VexelSCREEN_GetDimensions");
}

s_TVexelProjector::~s_TVexelProjector() {
    if (Running) Shutdown();
    if (Thread) Thread->Terminate();
    hookLink_->Unload();
}

void s_TVexelProjector::ApplyDefaults() {
    StayOnTop = false;
    WindowSize = TspSize::spsCustom;
    PositionV = TspVPosition::sppvCenter;
    PositionH = TspHPosition::spphRight;
    WindowX = 0;
    WindowY = 0;
    WindowWidth = 550;
    WindowHeight = 400;
    CaptionText.clear();
    BorderStyle = TspBorder::spbSingle;
    BorderResizeable = true;
    ResizeKeepRatio = true;
    ShowInTaskbar = false;
    LeftClickBehaviour = TspLeftClick::splDrag;
    RightClickBehaviour = TspRightClick::sprIgnore;
    KeyboardBehaviour = TspKeyboard::spkAllow;
    CloseOnEscape = true;
    MovieWidth = MovieHeight = 0;
    InsDesktop = ShowPopupMenu = ShowSystemPopup = false;
    DisableScreensaver = DisableALTTAB = HideCursor = Preview = false;
    HasPrint = HasEXEC = HasVarFile = HasVarStore = false;
    VarFileName.clear();
    VarStoreName.clear();
    DATE_YY.clear();
    DATE_MM.clear();
    DATE_DD.clear();
    TIME_HH.clear();
    TIME_MM.clear();
    TIME_SS.clear();
    TIME_MS.clear();
    OnProjectorClose = {};
}

void s_TVexelProjector::Shutdown() {
    if (Thread) Thread->Terminate();
    if (hookLink_->Hooked()) hookLink_->Unhook();
    if (hookLink_->Loaded()) hookLink_->Unload();
    platform_.CloseChildProcess();
    if (HasVarStore) platform_.BroadcastMessage(VarStoreMessage, 0, 0);
    Running = false;
    RemoveTemporaryFiles();
    if (DisableScreensaver) platform_.SystemParametersInfo(SPI_SETSCREENSAVEACTIVE, 1);
    if (DisableALTTAB) platform_.SystemParametersInfo(SPI_SCREENSAVERRUNNING, 0);
}

void s_TVexelProjector::RemoveTemporaryFiles() {
    try {
        platform_.SetCurrentDirectory("..");
        for (const std::string& name : temporaryFiles_) platform_.DeleteFile(name);
        platform_.RemoveDirectory(TemporaryFolder);
    } catch (const std::exception&) {
        platform_.Beep();
    }
}

void RegisterProjectorClasses() {
    RegisterClass(s_TVexelProjector::StaticClassInfo(),
                  [](TComponent* owner) { return new s_TVexelProjector(owner); });
    RegisterClass(TStoreWinRegion::StaticClassInfo());
    RegisterClass(TRegionType::StaticClassInfo());
}

namespace {
struct Registration {
    Registration() { RegisterProjectorClasses(); }
} registration;
}  // namespace

}  // namespace vs
