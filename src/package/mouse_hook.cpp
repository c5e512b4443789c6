#include "package/mouse_hook.h"

#include <cstring>

#include "package/engine_platform.h"

namespace vs {

namespace {
TMouseHook* g_current = nullptr;
}

TMouseHook::TMouseHook(EnginePlatform& platform) : platform_(platform) { g_current = this; }

TMouseHook::~TMouseHook() {
    if (g_current == this) g_current = nullptr;
}

TMouseHook* TMouseHook::Current() { return g_current; }

void TMouseHook::Attach(std::unique_ptr<HookLibrary> library) {
    library_ = std::move(library);
    loaded_ = library_ != nullptr;
    entries_.fill(loaded_);
}

void TMouseHook::Unhook() {
    if (loaded_) {
        for (int i = 0; i < 3; ++i) library_->CallEntry(i);
    }
    hooked_ = false;
}

void TMouseHook::Unload() {
    if (!loaded_) return;
    if (hooked_) Unhook();
    entries_.fill(false);
    library_.reset();
    loaded_ = false;
}

std::uint32_t TMouseHook::dataU32(std::size_t offset) const {
    std::uint32_t v = 0;
    if (library_ && offset + 4 <= library_->SharedDataSize()) std::memcpy(&v, library_->SharedData() + offset, 4);
    return v;
}

std::uint16_t TMouseHook::dataU16(std::size_t offset) const {
    std::uint16_t v = 0;
    if (library_ && offset + 2 <= library_->SharedDataSize()) std::memcpy(&v, library_->SharedData() + offset, 2);
    return v;
}

std::uint8_t TMouseHook::dataU8(std::size_t offset) const {
    return library_ && offset < library_->SharedDataSize() ? library_->SharedData()[offset] : 0;
}

void TMouseHook::HandleMessage(HookMessage& m) {
    switch (m.Msg) {
        case WM_HOOK_INFO:
            m.Result = 0;
            if (loaded_) {
                InfoWord = dataU16(34);
                InfoByte = dataU8(38);
                if (OnInfo) OnInfo(*this);
            }
            return;
        case WM_HOOK_MOUSE:
            if (!loaded_) return;
            X = static_cast<std::int16_t>(dataU16(40));
            Y = static_cast<std::int16_t>(dataU16(42));
            DX = X - PrevX;
            DY = Y - PrevY;
            switch (m.WParam) {
                case 0x0200:
                    if (dataU16(36) == 1) {
                        if (OnMouseMove) OnMouseMove(*this);
                    } else if (OnMouseMoveOther) {
                        OnMouseMoveOther(*this);
                    }
                    break;
                case 0x0201:
                    if (OnLeftButtonDown) OnLeftButtonDown(*this);
                    break;
                case 0x0204:
                    if (OnRightButtonDown) OnRightButtonDown(*this);
                    break;
                default:
                    break;
            }
            PrevX = X;
            PrevY = Y;
            return;
        case WM_HOOK_COMMAND:
            m.Result = 0;
            switch (m.WParam) {
                case 6:
                    if (OnCommand6) {
                        m.LParam = static_cast<std::int32_t>(dataU32(44));
                        m.WParam = dataU32(48);
                        OnCommand6(*this, m);
                    }
                    break;
                case 7:
                    if (OnCommand7) OnCommand7(*this);
                    break;
                case 8:
                    if (OnCommand8) OnCommand8(*this);
                    break;
                case 0x0111:
                    if (OnMenuCommand) OnMenuCommand(*this);
                    break;
                default:
                    break;
            }
            return;
        case WM_HOOK_NOTIFY:
            m.Result = 0;
            if (OnNotify) OnNotify(*this, m.WParam, m.LParam);
            return;
        case WM_HOOK_BEEP:
            platform_.Beep();
            return;
        default:
            return;
    }
}

}  // namespace vs
