// VSS.exe, the variable service of running projectors: HTTP on
// 127.0.0.1:5905. The port is fixed, so one service serves every projector
// that runs at a time. The engine that finds none starts it, from a locked
// folder of the service's own so that it can outlive that projector; later
// engines register with it (WM_COPYDATA to its window). A connection belongs
// to the projector whose player (or a program it started) holds it, and its
// variables are kept in that projector's store folder; any other connection
// is refused.
//
// An engine leaves with the "VexelSCREEN_VarStore" message (wParam: its
// process id), or by ending. When the last one leaves the service ends; the
// answer 1 tells that engine to remove the service's folder.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <tlhelp32.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "core/var_service.h"
#include "win32/var_service_link.h"
#include "win32/win32_util.h"

namespace vs::win32 {
namespace {

bool Writable(const std::wstring& folder) {
    const std::wstring probe = folder + L"\\~vexelscreen-" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

// Beside the projector, or %APPDATA%\VexelSCREEN\<projector name>.
std::wstring StoreFolder(const std::wstring& beside, std::wstring name) {
    if (!beside.empty() && Writable(beside)) return beside;
    std::wstring appData = EnvVar(L"APPDATA");
    if (appData.empty()) return {};
    if (name.empty()) name = L"Projector";
    std::wstring folder = appData + L"\\VexelSCREEN";
    CreateDirectoryW(folder.c_str(), nullptr);
    folder += L"\\" + name;
    CreateDirectoryW(folder.c_str(), nullptr);
    return Writable(folder) ? folder : std::wstring();
}

// The user a process runs as (its token's user SID), empty when it cannot be told.
std::vector<std::uint8_t> UserOf(HANDLE process) {
    HANDLE token = nullptr;
    if (!process || !OpenProcessToken(process, TOKEN_QUERY, &token)) return {};
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<std::uint8_t> buffer(size);
    const bool read = size >= sizeof(TOKEN_USER) && GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
    CloseHandle(token);
    if (!read) return {};
    PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    if (!IsValidSid(sid)) return {};
    const auto* bytes = static_cast<const std::uint8_t*>(sid);
    return std::vector<std::uint8_t>(bytes, bytes + GetLengthSid(sid));
}

struct ProcessFacts {
    std::vector<std::uint8_t> user;
    std::uint64_t created = 0;
};

ProcessFacts FactsOf(DWORD pid) {
    ProcessFacts facts;
    HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!h) return facts;
    FILETIME created, ended, kernel, user;
    if (GetProcessTimes(h, &created, &ended, &kernel, &user))
        facts.created = (std::uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime;
    facts.user = UserOf(h);
    CloseHandle(h);
    return facts;
}

struct Projector {
    HANDLE engine;     // to see it end
    HANDLE player;     // held, so that no other process gets its id meanwhile
    DWORD playerPid;
    HWND engineWindow;
    std::shared_ptr<engine::VariableStore> store;
};

// Who the service serves: the players of the registered projectors and the
// programs they start, of this service's own user. A connection is traced
// to the process that holds its client end and from there up its parents to
// a registered player; everything else (a page in a browser, a program of
// another user or one no projector started) belongs to nobody.
class Registry {
public:
    Registry() : user_(UserOf(GetCurrentProcess())) {}

    bool Add(const Registration& r) {
        if (user_.empty()) return false;
        HANDLE engine = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, r.enginePid);
        HANDLE player = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, r.playerPid);
        const std::wstring folder = engine && player ? StoreFolder(r.projectorDir, r.projectorName) : std::wstring();
        // Another user's engine may find this service's port, never its store.
        if (folder.empty() || UserOf(engine) != user_ || UserOf(player) != user_) {
            if (engine) CloseHandle(engine);
            if (player) CloseHandle(player);
            return false;
        }
        // Store names are plain ASCII and the store's file code takes 8-bit
        // names: the folder is made current before each access, so the
        // relative names reach it whatever its own spelling. Only the
        // serving thread touches the stores.
        auto store = std::make_shared<engine::VariableStore>(".");
        store->SetBeforeAccess([folder] { SetCurrentDirectoryW(folder.c_str()); });
        std::lock_guard<std::mutex> lock(mutex_);
        if (auto old = projectors_.find(r.enginePid); old != projectors_.end()) Close(old->second);
        projectors_[r.enginePid] = {engine, player, r.playerPid, r.engineWindow, std::move(store)};
        return true;
    }
    void Remove(DWORD enginePid) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (auto it = projectors_.find(enginePid); it != projectors_.end()) {
            Close(it->second);
            projectors_.erase(it);
        }
    }
    // Engines that ended without saying so.
    void RemoveEnded() {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = projectors_.begin(); it != projectors_.end();) {
            if (WaitForSingleObject(it->second.engine, 0) == WAIT_OBJECT_0) {
                Close(it->second);
                it = projectors_.erase(it);
            } else {
                ++it;
            }
        }
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& [pid, p] : projectors_) Close(p);
        projectors_.clear();
    }
    bool Empty() {
        std::lock_guard<std::mutex> lock(mutex_);
        return projectors_.empty();
    }
    std::vector<HANDLE> EngineHandles() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<HANDLE> out;
        for (auto& [pid, p] : projectors_) out.push_back(p.engine);
        return out;
    }

    // The store for each client port, or nullptr. One look at the
    // connection table and one at the process list serve the whole batch.
    std::vector<std::shared_ptr<engine::VariableStore>> Trace(const std::vector<std::uint16_t>& ports) {
        std::vector<std::shared_ptr<engine::VariableStore>> stores(ports.size());
        const std::map<std::uint16_t, DWORD> owners = ConnectionOwners();
        if (owners.empty()) return stores;
        const std::map<DWORD, DWORD> parents = ParentsOfProcesses();
        std::map<DWORD, ProcessFacts> facts;
        auto factsOf = [&](DWORD pid) -> const ProcessFacts& {
            auto it = facts.find(pid);
            return it != facts.end() ? it->second : facts.emplace(pid, FactsOf(pid)).first->second;
        };
        std::map<DWORD, std::shared_ptr<engine::VariableStore>> players;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (auto& [pid, p] : projectors_) players[p.playerPid] = p.store;
        }
        for (std::size_t i = 0; i < ports.size(); ++i) {
            auto owner = owners.find(ports[i]);
            if (owner == owners.end() || factsOf(owner->second).user != user_) continue;
            // Up the parents to a player. A parent id whose process is younger
            // than its child is a reused id, not the parent.
            DWORD pid = owner->second;
            for (int depth = 0; pid && depth < 32; ++depth) {
                if (auto player = players.find(pid); player != players.end()) {
                    stores[i] = player->second;
                    break;
                }
                auto up = parents.find(pid);
                if (up == parents.end() || up->second == pid || up->second == 0) break;
                const ProcessFacts &child = factsOf(pid), &parent = factsOf(up->second);
                if (!child.created || !parent.created || parent.created > child.created) break;
                pid = up->second;
            }
        }
        return stores;
    }

private:
    static void Close(Projector& p) {
        CloseHandle(p.engine);
        CloseHandle(p.player);
    }
    // The processes that hold the client ends of connections to the
    // service, by client port. The whole table is asked for: wine leaves out
    // connections in closing states from the table of connections only, and
    // a client that has sent its request may be in one. Rows without an
    // owner (a port in TIME_WAIT from an earlier connection) do not count.
    static std::map<std::uint16_t, DWORD> ConnectionOwners() {
        std::map<std::uint16_t, DWORD> owners;
        ULONG size = 0;
        GetExtendedTcpTable(nullptr, &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_ALL, 0);
        for (int attempt = 0; attempt < 3 && size; ++attempt) {
            std::vector<std::uint8_t> buffer(size + 4096);
            size = static_cast<ULONG>(buffer.size());
            DWORD rc = GetExtendedTcpTable(buffer.data(), &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_ALL, 0);
            if (rc == ERROR_INSUFFICIENT_BUFFER) continue;
            if (rc != NO_ERROR) return owners;
            auto* table = reinterpret_cast<MIB_TCPTABLE_OWNER_PID*>(buffer.data());
            for (DWORD i = 0; i < table->dwNumEntries; ++i) {
                const MIB_TCPROW_OWNER_PID& row = table->table[i];
                if (ntohs(static_cast<u_short>(row.dwRemotePort)) == engine::kVarServicePort &&
                    row.dwLocalAddr == htonl(INADDR_LOOPBACK) && row.dwRemoteAddr == htonl(INADDR_LOOPBACK) &&
                    row.dwOwningPid != 0)
                    owners[ntohs(static_cast<u_short>(row.dwLocalPort))] = row.dwOwningPid;
            }
            return owners;
        }
        return owners;
    }
    static std::map<DWORD, DWORD> ParentsOfProcesses() {
        std::map<DWORD, DWORD> parents;
        HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (snap == INVALID_HANDLE_VALUE) return parents;
        PROCESSENTRY32W e{};
        e.dwSize = sizeof e;
        for (BOOL more = Process32FirstW(snap, &e); more; more = Process32NextW(snap, &e))
            parents[e.th32ProcessID] = e.th32ParentProcessID;
        CloseHandle(snap);
        return parents;
    }

    const std::vector<std::uint8_t> user_;
    std::mutex mutex_;
    std::map<DWORD, Projector> projectors_;
};

Registry* g_registry = nullptr;
UINT g_leaveMessage = 0;
// Set once the last projector has left: the service ends, and a projector
// that comes now must wait for it to go and start its own.
bool g_ending = false;

LRESULT CALLBACK ServiceProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COPYDATA && g_registry) {
        auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lp);
        auto request = ParseRegistration(data);
        if (!request || g_ending) return FALSE;
        return g_registry->Add(*request);
    }
    if (msg == g_leaveMessage && g_leaveMessage != 0 && g_registry) {
        // An engine of an older kind names nobody: every projector is taken as gone.
        if (wp) g_registry->Remove(static_cast<DWORD>(wp));
        else g_registry->Clear();
        g_ending = g_registry->Empty();
        return g_ending ? 1 : 0;
    }
    return DefWindowProcW(w, msg, wp, lp);
}

int Run() {
    // The lock of the service's folder, held while the service lives, so
    // that no engine takes the folder for abandoned. The engine that made it
    // holds it for writing until the service runs; without the lock the
    // service does not run.
    const std::wstring self = ModulePath(nullptr);
    HANDLE lock = CreateFileW((FolderOf(self) + L"\\" + kLockName).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (lock == INVALID_HANDLE_VALUE) return 4;
    struct Unlock {
        HANDLE lock;
        ~Unlock() { CloseHandle(lock); }
    } unlock{lock};
    Registry registry;
    g_registry = &registry;
    // The starting engine's registration comes in its environment.
    std::wstring starter = EnvVar(kEnginePidVar) + L"\n" + EnvVar(kPlayerPidVar) + L"\n" + EnvVar(kEngineWindowVar) +
                           L"\n" + EnvVar(kProjectorDirVar) + L"\n" + EnvVar(kProjectorNameVar);
    COPYDATASTRUCT data{kRegistrationTag, static_cast<DWORD>(starter.size() * sizeof(wchar_t)), starter.data()};
    auto registration = ParseRegistration(&data);
    if (!registration || !registry.Add(*registration)) return 2;
    auto server = std::make_unique<engine::VarServer>(
        [&registry](const std::vector<std::uint16_t>& ports) { return registry.Trace(ports); });
    try {
        server->Listen();
    } catch (const std::exception&) {
        return 3;
    }
    std::atomic<bool> stop{false};
    std::thread worker([&] { server->Run(stop); });

    g_leaveMessage = RegisterWindowMessageW(kVarStoreMessageName);
    WNDCLASSW wc{};
    wc.lpfnWndProc = ServiceProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kVarServiceClass;
    RegisterClassW(&wc);
    // A top-level window, so that engines find it.
    HWND w = CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                             wc.hInstance, nullptr);
    bool running = true;
    while (running && !g_ending && !registry.Empty()) {
        std::vector<HANDLE> engines = registry.EngineHandles();
        if (engines.size() > MAXIMUM_WAIT_OBJECTS - 1) engines.resize(MAXIMUM_WAIT_OBJECTS - 1);
        MsgWaitForMultipleObjects(static_cast<DWORD>(engines.size()), engines.data(), FALSE, 1000, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) running = false;
            DispatchMessageW(&msg);
        }
        registry.RemoveEnded();
    }
    stop = true;
    worker.join();
    server.reset();
    DestroyWindow(w);
    g_registry = nullptr;
    return 0;
}

}  // namespace
}  // namespace vs::win32

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    vs::win32::RestrictDllSearch();
    return vs::win32::Run();
}
