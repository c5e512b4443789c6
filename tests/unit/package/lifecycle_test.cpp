// The settings object's life: what construction and destruction ask of the
// platform, the engine's shutdown steps, and the hook link's message table.
#include <gtest/gtest.h>

#include <cstring>

#include "package/vexel_projector.h"

namespace vs {
namespace {

struct RecordingPlatform : EnginePlatform {
    std::vector<std::string> calls;
    bool throwOnDelete = false;
    std::uint32_t RegisterWindowMessage(const std::string& name) override {
        calls.push_back("register " + name);
        return 0xC123;
    }
    void CloseChildProcess() override { calls.push_back("close child"); }
    void BroadcastMessage(std::uint32_t m, std::uintptr_t, std::intptr_t) override {
        calls.push_back("broadcast " + std::to_string(m));
    }
    void SetCurrentDirectory(const std::string& d) override { calls.push_back("cd " + d); }
    bool DeleteFile(const std::string& n) override {
        calls.push_back("delete " + n);
        if (throwOnDelete) throw std::runtime_error("locked");
        return true;
    }
    bool RemoveDirectory(const std::string& n) override {
        calls.push_back("rmdir " + n);
        return true;
    }
    void SystemParametersInfo(std::uint32_t a, std::uint32_t v) override {
        calls.push_back("spi " + std::to_string(a) + " " + std::to_string(v));
    }
    void Beep() override { calls.push_back("beep"); }
};

struct FakeLibrary : HookLibrary {
    std::vector<int>* entryCalls;
    std::uint8_t data[64] = {};
    explicit FakeLibrary(std::vector<int>* calls) : entryCalls(calls) {}
    void CallEntry(int index) override { entryCalls->push_back(index); }
    const std::uint8_t* SharedData() const override { return data; }
    std::size_t SharedDataSize() const override { return sizeof data; }
};

TEST(SettingsLifecycle, ConstructionRegistersTheMessageAndDestructionCallsNothing) {
    RecordingPlatform platform;
    {
        s_TVexelProjector p(nullptr, platform);
        EXPECT_EQ(p.GetDimensionsMessage(), 0xC123u);
        EXPECT_FALSE(p.Running);
        EXPECT_EQ(p.Name(), "");
        EXPECT_EQ(p.Tag, 0);
        EXPECT_EQ(p.PositionH, TspHPosition::spphRight);
        EXPECT_EQ(p.PositionV, TspVPosition::sppvCenter);
        EXPECT_EQ(platform.calls, std::vector<std::string>{"register VexelSCREEN_GetDimensions"});
        platform.calls.clear();
    }
    EXPECT_TRUE(platform.calls.empty());
}

TEST(SettingsLifecycle, ShutdownStepsInOrder) {
    RecordingPlatform platform;
    std::vector<int> entries;
    {
        s_TVexelProjector p(nullptr, platform);
        auto lib = std::make_unique<FakeLibrary>(&entries);
        p.HookLink().Attach(std::move(lib));
        p.HookLink().SetHooked(true);
        p.Running = true;
        p.HasVarStore = true;
        p.VarStoreMessage = 0xC200;
        p.DisableScreensaver = true;
        p.DisableALTTAB = true;
        p.TemporaryFiles() = {"a.exe", "b.dll"};
        p.TemporaryFolder = "/tmp/vs1";
        platform.calls.clear();
    }
    EXPECT_EQ(entries, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(platform.calls,
              (std::vector<std::string>{"close child", "broadcast 49664", "cd ..", "delete a.exe", "delete b.dll",
                                        "rmdir /tmp/vs1", "spi 17 1", "spi 97 0"}));
}

TEST(SettingsLifecycle, FailingCleanupEndsWithABeep) {
    RecordingPlatform platform;
    s_TVexelProjector p(nullptr, platform);
    p.TemporaryFiles() = {"a", "b"};
    platform.throwOnDelete = true;
    platform.calls.clear();
    p.RemoveTemporaryFiles();
    EXPECT_EQ(platform.calls, (std::vector<std::string>{"cd ..", "delete a", "beep"}));
}

TEST(HookLink, NewestInstanceIsCurrentAndUnloadOnlyWhenLoaded) {
    RecordingPlatform platform;
    TMouseHook a(platform);
    TMouseHook b(platform);
    EXPECT_EQ(TMouseHook::Current(), &b);
    b.Unload();
    b.Unhook();
    EXPECT_FALSE(b.Loaded());
    EXPECT_FALSE(b.Hooked());
}

class HookMessages : public ::testing::Test {
protected:
    void SetUp() override {
        auto l = std::make_unique<FakeLibrary>(&entries);
        lib = l.get();
        hook.Attach(std::move(l));
        hook.OnInfo = [this](TMouseHook&) { events.push_back("info"); };
        hook.OnMouseMove = [this](TMouseHook&) { events.push_back("move"); };
        hook.OnMouseMoveOther = [this](TMouseHook&) { events.push_back("move2"); };
        hook.OnLeftButtonDown = [this](TMouseHook&) { events.push_back("left"); };
        hook.OnRightButtonDown = [this](TMouseHook&) { events.push_back("right"); };
        hook.OnCommand6 = [this](TMouseHook&, HookMessage& m) {
            events.push_back("cmd6 " + std::to_string(m.WParam) + " " + std::to_string(m.LParam));
        };
        hook.OnCommand7 = [this](TMouseHook&) { events.push_back("cmd7"); };
        hook.OnMenuCommand = [this](TMouseHook&) { events.push_back("menu"); };
        hook.OnNotify = [this](TMouseHook&, std::uint32_t w, std::int32_t l) {
            events.push_back("notify " + std::to_string(w) + " " + std::to_string(l));
        };
    }
    void Put16(std::size_t off, std::uint16_t v) { std::memcpy(lib->data + off, &v, 2); }
    void Put32(std::size_t off, std::uint32_t v) { std::memcpy(lib->data + off, &v, 4); }
    HookMessage Send(std::uint32_t msg, std::uint32_t w = 0, std::int32_t l = 0) {
        HookMessage m{msg, w, l, -1};
        hook.HandleMessage(m);
        return m;
    }

    RecordingPlatform platform;
    std::vector<int> entries;
    TMouseHook hook{platform};
    FakeLibrary* lib = nullptr;
    std::vector<std::string> events;
};

TEST_F(HookMessages, InfoCopiesTheSharedValues) {
    Put16(34, 0xBEEF);
    lib->data[38] = 0x42;
    EXPECT_EQ(Send(0x040B).Result, 0);
    EXPECT_EQ(hook.InfoWord, 0xBEEF);
    EXPECT_EQ(hook.InfoByte, 0x42);
    EXPECT_EQ(events, std::vector<std::string>{"info"});
}

TEST_F(HookMessages, MouseMessagesTrackMovement) {
    Put16(40, 10);
    Put16(42, 20);
    Put16(36, 1);
    Send(0x040C, 0x0200);
    EXPECT_EQ(hook.DX, 10);
    EXPECT_EQ(hook.DY, 20);
    Put16(40, 15);
    Put16(42, 18);
    Put16(36, 0);
    Send(0x040C, 0x0200);
    EXPECT_EQ(hook.DX, 5);
    EXPECT_EQ(hook.DY, -2);
    Send(0x040C, 0x0201);
    Send(0x040C, 0x0204);
    Send(0x040C, 0x0999);
    EXPECT_EQ(events, (std::vector<std::string>{"move", "move2", "left", "right"}));
    EXPECT_EQ(hook.PrevX, 15);
}

TEST_F(HookMessages, CommandsNotifyAndBeep) {
    Put32(44, 1234);
    Put32(48, 77);
    HookMessage m = Send(0x040D, 6);
    EXPECT_EQ(m.Result, 0);
    Send(0x040D, 7);
    Send(0x040D, 8);  // no handler: skipped
    Send(0x040D, 0x0111);
    Send(0x040E, 3, -4);
    Send(0x040F);
    EXPECT_EQ(events, (std::vector<std::string>{"cmd6 77 1234", "cmd7", "menu", "notify 3 -4"}));
    EXPECT_EQ(platform.calls, std::vector<std::string>{"beep"});
}

TEST_F(HookMessages, NothingFromAnUnloadedLink) {
    hook.Unload();
    Send(0x040B);
    Send(0x040C, 0x0201);
    EXPECT_TRUE(events.empty());
}

}  // namespace
}  // namespace vs
