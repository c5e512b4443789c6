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
        p.push_back(BooleanProp<P>("StayOnTop", &P::StayOnTop));
        p.push_back(EnumProp<P, TspSize>("WindowSize", &P::WindowSize, TspSizeType()));
        p.push_back(EnumProp<P, TspVPosition>("PositionV", &P::PositionV, TspVPositionType()));
        p.push_back(EnumProp<P, TspHPosition>("PositionH", &P::PositionH, TspHPositionType()));
        p.push_back(IntegerProp<P>("WindowX", &P::WindowX));
        p.push_back(IntegerProp<P>("WindowY", &P::WindowY));
        p.push_back(IntegerProp<P>("WindowWidth", &P::WindowWidth));
        p.push_back(IntegerProp<P>("WindowHeight", &P::WindowHeight));
        p.push_back(IntegerProp<P>("MovieWidth", &P::MovieWidth));
        p.push_back(IntegerProp<P>("MovieHeight", &P::MovieHeight));
        p.push_back(StringProp<P>("CaptionText", &P::CaptionText));
        p.push_back(EnumProp<P, TspBorder>("BorderStyle", &P::BorderStyle, TspBorderType()));
        p.push_back(BooleanProp<P>("BorderResizeable", &P::BorderResizeable));
        p.push_back(BooleanProp<P>("ResizeKeepRatio", &P::ResizeKeepRatio));
        p.push_back(BooleanProp<P>("ShowInTaskbar", &P::ShowInTaskbar));
        p.push_back(BooleanProp<P>("InsDesktop", &P::InsDesktop));
        p.push_back(BooleanProp<P>("ShowPopupMenu", &P::ShowPopupMenu));
        p.push_back(BooleanProp<P>("ShowSystemPopup", &P::ShowSystemPopup));
        p.push_back(EnumProp<P, TspLeftClick>("LeftClickBehaviour", &P::LeftClickBehaviour, TspLeftClickType()));
        p.push_back(EnumProp<P, TspRightClick>("RightClickBehaviour", &P::RightClickBehaviour, TspRightClickType()));
        p.push_back(EnumProp<P, TspKeyboard>("KeyboardBehaviour", &P::KeyboardBehaviour, TspKeyboardType()));
        p.push_back(BooleanProp<P>("CloseOnEscape", &P::CloseOnEscape));
        p.push_back(BooleanProp<P>("DisableScreensaver", &P::DisableScreensaver));
        p.push_back(BooleanProp<P>("DisableALTTAB", &P::DisableALTTAB));
        p.push_back(BooleanProp<P>("HideCursor", &P::HideCursor));
        p.push_back(BooleanProp<P>("Preview", &P::Preview));
        p.push_back(BooleanProp<P>("HasPrint", &P::HasPrint));
        p.push_back(BooleanProp<P>("HasEXEC", &P::HasEXEC));
        p.push_back(BooleanProp<P>("HasVarFile", &P::HasVarFile));
        p.push_back(StringProp<P>("VarFileName", &P::VarFileName));
        p.push_back(BooleanProp<P>("HasVarStore", &P::HasVarStore));
        p.push_back(StringProp<P>("VarStoreName", &P::VarStoreName));
        p.push_back(StringProp<P>("DATE_YY", &P::DATE_YY));
        p.push_back(StringProp<P>("DATE_MM", &P::DATE_MM));
        p.push_back(StringProp<P>("DATE_DD", &P::DATE_DD));
        p.push_back(StringProp<P>("TIME_HH", &P::TIME_HH));
        p.push_back(StringProp<P>("TIME_MM", &P::TIME_MM));
        p.push_back(StringProp<P>("TIME_SS", &P::TIME_SS));
        p.push_back(StringProp<P>("TIME_MS", &P::TIME_MS));
        p.push_back(MethodProp<P>("OnProjectorClose", &P::OnProjectorClose));
        return c;
    }();
    return info;
}

s_TVexelProjector::s_TVexelProjector(TComponent* owner, EnginePlatform& platform)
    : Published(owner), platform_(platform) {
    RegisterProjectorClasses();
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

void s_TVexelProjector::ApplyDefaults() { static_cast<ProjectorValues&>(*this) = ProjectorValues{}; }

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
    static const bool registered = [] {
        RegisterClass(s_TVexelProjector::StaticClassInfo(),
                      [](TComponent* owner) { return new s_TVexelProjector(owner); });
        RegisterClass(TStoreWinRegion::StaticClassInfo());
        RegisterClass(TRegionType::StaticClassInfo());
        return true;
    }();
    (void)registered;
}

}  // namespace vs
