// VSS.exe, the variable service of running projectors: HTTP on
// 127.0.0.1:5905. The port is fixed, so one service serves every projector
// that runs at a time. The engine that finds none starts it, from a locked
// folder of the service's own so that it can outlive that projector; later
// engines register with it (WM_COPYDATA to its window). A connection belongs
// to the projector whose player (or a program it started) holds it, and its
// variables are kept in that projector's store folder.
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

struct Projector {
    HANDLE engine;     // to see it end
    HWND engineWindow;
    std::shared_ptr<engine::VariableStore> store;
};

class Registry {
public:
    bool Add(DWORD enginePid, HWND engineWindow, const std::wstring& dir, const std::wstring& name) {
        HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, enginePid);
        if (!h) return false;
        const std::wstring folder = StoreFolder(dir, name);
        if (folder.empty()) {
            CloseHandle(h);
            return false;
        }
        // Store names are plain ASCII and the store's file code takes 8-bit
        // names: the folder is made current before each access, so the
        // relative names reach it whatever its own spelling. Only the
        // serving thread touches the stores.
        auto store = std::make_shared<engine::VariableStore>(".");
        store->SetBeforeAccess([folder] { SetCurrentDirectoryW(folder.c_str()); });
        std::lock_guard<std::mutex> lock(mutex_);
        if (auto old = projectors_.find(enginePid); old != projectors_.end()) CloseHandle(old->second.engine);
        projectors_[enginePid] = {h, engineWindow, std::move(store)};
        return true;
    }
    void Remove(DWORD enginePid) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (auto it = projectors_.find(enginePid); it != projectors_.end()) {
            CloseHandle(it->second.engine);
            projectors_.erase(it);
        }
    }
    // Engines that ended without saying so.
    void RemoveEnded() {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = projectors_.begin(); it != projectors_.end();) {
            if (WaitForSingleObject(it->second.engine, 0) == WAIT_OBJECT_0) {
                CloseHandle(it->second.engine);
                it = projectors_.erase(it);
            } else {
                ++it;
            }
        }
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& [pid, p] : projectors_) CloseHandle(p.engine);
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
    // The store of the projector whose process, or an ancestor of it, is a
    // registered engine. A client that cannot be traced (a program that
    // is no descendant of a projector) is served only while one projector
    // runs, which is then the only one it can mean.
    std::shared_ptr<engine::VariableStore> StoreFor(std::uint16_t clientPort) {
        {
            // Finding the owner is slow (wine scans every process); with one
            // projector there is nobody else to tell apart.
            std::lock_guard<std::mutex> lock(mutex_);
            if (projectors_.size() == 1) return projectors_.begin()->second.store;
            if (projectors_.empty()) return nullptr;
        }
        const DWORD owner = ConnectionOwner(clientPort);
        std::map<DWORD, DWORD> parents;
        if (owner) parents = ParentsOfProcesses();
        std::lock_guard<std::mutex> lock(mutex_);
        DWORD pid = owner;
        for (int depth = 0; pid && depth < 32; ++depth) {
            if (auto it = projectors_.find(pid); it != projectors_.end()) return it->second.store;
            auto up = parents.find(pid);
            if (up == parents.end() || up->second == pid) break;
            pid = up->second;
        }
        if (projectors_.size() == 1) return projectors_.begin()->second.store;
        return nullptr;
    }

private:
    // The process that holds the client end of a connection to the service.
    // The whole table is asked for: wine leaves out connections in closing
    // states from the table of connections only, and a client that has sent
    // its request may be in one. Rows without an owner (a port in TIME_WAIT
    // from an earlier connection) do not count.
    static DWORD ConnectionOwner(std::uint16_t clientPort) {
        ULONG size = 0;
        GetExtendedTcpTable(nullptr, &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_ALL, 0);
        for (int attempt = 0; attempt < 3 && size; ++attempt) {
            std::vector<std::uint8_t> buffer(size + 4096);
            size = static_cast<ULONG>(buffer.size());
            DWORD rc = GetExtendedTcpTable(buffer.data(), &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_ALL, 0);
            if (rc == ERROR_INSUFFICIENT_BUFFER) continue;
            if (rc != NO_ERROR) return 0;
            auto* table = reinterpret_cast<MIB_TCPTABLE_OWNER_PID*>(buffer.data());
            for (DWORD i = 0; i < table->dwNumEntries; ++i) {
                const MIB_TCPROW_OWNER_PID& row = table->table[i];
                if (ntohs(static_cast<u_short>(row.dwLocalPort)) == clientPort &&
                    ntohs(static_cast<u_short>(row.dwRemotePort)) == engine::kVarServicePort &&
                    row.dwLocalAddr == htonl(INADDR_LOOPBACK) && row.dwRemoteAddr == htonl(INADDR_LOOPBACK) &&
                    row.dwOwningPid != 0)
                    return row.dwOwningPid;
            }
            return 0;
        }
        return 0;
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
        return g_registry->Add(request->enginePid, request->engineWindow, request->projectorDir, request->projectorName);
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
    // The lock of the service's folder, held while the service lives.
    const std::wstring self = ModulePath(nullptr);
    HANDLE lock = CreateFileW((FolderOf(self) + L"\\" + kLockName).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    Registry registry;
    g_registry = &registry;
    const std::wstring pidText = EnvVar(kEnginePidVar);
    const DWORD starter = pidText.empty() ? 0 : wcstoul(pidText.c_str(), nullptr, 10);
    if (!registry.Add(starter, WindowFromText(EnvVar(kEngineWindowVar)), EnvVar(kProjectorDirVar),
                      EnvVar(kProjectorNameVar)))
        return 2;
    auto server = std::make_unique<engine::VarServer>([&registry](std::uint16_t port) { return registry.StoreFor(port); });
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
    if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
    return 0;
}

}  // namespace
}  // namespace vs::win32

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return vs::win32::Run(); }
