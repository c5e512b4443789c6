// The projector engine. A built projector is this program followed by its
// package; at start it reads the package, unpacks the movie, the hook library
// and the additional files into a fresh temporary folder of its own, starts
// the packed Flash projector there and gives its window what the settings
// ask for. When that window closes it shuts down and leaves nothing behind.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>
#include <memory>
#include <string>
#include <vector>

#include "core/engine_package.h"
#include "core/var_file.h"
#include "package/file_name_rules.h"
#include "package/package_file.h"
#include "package/vexel_projector.h"
#include "hook_library.h"
#include "mhproc/mhproc.h"
#include "projector_window.h"
#include "win32_engine_platform.h"
#include "platform/stream.h"
#include "win32/var_service_link.h"
#include "win32/win32_util.h"

namespace vs::win32 {
namespace {

constexpr const wchar_t* kTitle = L"VexelSCREEN";
constexpr const wchar_t* kEngineClass = L"VexelSCREENEngine";
constexpr UINT kMenuMinimize = 1, kMenuClose = 2;
// Posted from the wait on the player's process when the player has ended.
constexpr UINT kPlayerEnded = WM_APP + 1;
// The timer that follows the projector window's rectangle.
constexpr UINT_PTR kFollowTimer = 1;
constexpr UINT kFollowInterval = 100;


class StartError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Engine {
    Win32EnginePlatform platform;
    std::unique_ptr<s_TVexelProjector> settings;
    std::unique_ptr<ProjectorWindow> window;
    Win32HookLibrary* hook = nullptr;  // owned by the hook link
    HWND engineWindow = nullptr;
    UINT getDimensions = 0;
    std::wstring projectorDir, projectorName;
};
Engine* g_engine = nullptr;

void StartVariableService(Engine& e);

// Held while an engine looks for the variable service and, finding none,
// starts it, and while it removes abandoned folders (one may be the service's
// being made).
class ServiceStartLock {
public:
    ServiceStartLock() : mutex_(CreateMutexW(nullptr, FALSE, kVarServiceStartMutex)) {
        if (mutex_) WaitForSingleObject(mutex_, 15000);  // an abandoned mutex is ours as well
    }
    ~ServiceStartLock() {
        if (mutex_) {
            ReleaseMutex(mutex_);
            CloseHandle(mutex_);
        }
    }
    ServiceStartLock(const ServiceStartLock&) = delete;
    ServiceStartLock& operator=(const ServiceStartLock&) = delete;

private:
    HANDLE mutex_;
};

std::wstring Join(const std::wstring& folder, const std::wstring& name) { return folder + L"\\" + name; }

LRESULT CALLBACK EngineProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    Engine* e = g_engine;
    if (e && e->settings) {
        if (msg >= WM_HOOK_INFO && msg <= WM_HOOK_BEEP) {
            HookMessage m{msg, static_cast<std::uint32_t>(wp), static_cast<std::int32_t>(lp), 0};
            e->settings->HookLink().HandleMessage(m);
            return m.Result;
        }
        if (msg == e->getDimensions) return reinterpret_cast<LRESULT>(e->platform.childWindow);
        if (msg == kPlayerEnded) {
            // Whatever modal loop runs (the engine's menu), it ends now; the
            // main loop then sees the player gone.
            EndMenu();
            PostQuitMessage(0);
            return 0;
        }
        if (msg == WM_TIMER && wp == kFollowTimer) {
            if (e->window) e->window->OnLocationChange();
            return 0;
        }
        if (msg == WM_COMMAND && e->platform.childWindow) {
            if (LOWORD(wp) == kMenuMinimize) ShowWindow(e->platform.childWindow, SW_MINIMIZE);
            if (LOWORD(wp) == kMenuClose) PostMessageW(e->platform.childWindow, WM_CLOSE, 0, 0);
            return 0;
        }
    }
    return DefWindowProcW(w, msg, wp, lp);
}

HWND CreateEngineWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = EngineProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kEngineClass;
    RegisterClassW(&wc);
    return CreateWindowExW(WS_EX_TOOLWINDOW, kEngineClass, kTitle, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                           wc.hInstance, nullptr);
}

std::wstring TemporaryRoot() {
    wchar_t base[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, base);
    if (n == 0 || n > MAX_PATH) throw StartError("The temporary folder cannot be found");
    std::wstring root(base, n);
    if (!root.empty() && root.back() == L'\\') root.pop_back();
    return root;
}

// Removes a folder of an earlier run with everything in it; links are
// removed, never followed. The lock file goes last, and only when nothing
// else is left.
void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(Join(folder, L"*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = Join(folder, name);
            if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                RemoveTree(path);
            else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryW(LongPath(path).c_str());
            else if (CompareStringOrdinal(name.c_str(), -1, kLockName, -1, TRUE) != CSTR_EQUAL)
                DeleteFileW(LongPath(path).c_str());
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    if (FolderHoldsOnly(folder, kLockName)) DeleteFileW(Join(folder, kLockName).c_str());
    RemoveDirectoryW(folder.c_str());
}

// Every live owner of a folder (its engine, or the variable service in its
// own folder) keeps the folder's lock file open for as long as it lives;
// nobody else can open it for exclusive use then. A folder whose lock file
// opens so was left by a run that was ended from outside, or that could not
// be emptied, and is removed, whichever projector made it. Folders without a
// lock file are not ours, or are being made, and are left alone.
void RemoveAbandonedFolders(const std::wstring& root) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(Join(root, std::wstring(kFolderPrefix) + L"*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    std::vector<std::wstring> abandoned;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        const std::wstring folder = Join(root, fd.cFileName);
        HANDLE lock = CreateFileW(Join(folder, kLockName).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (lock == INVALID_HANDLE_VALUE) continue;  // in use, or not a folder of ours
        CloseHandle(lock);
        abandoned.push_back(folder);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    for (const std::wstring& folder : abandoned) RemoveTree(folder);
}

struct LockedFolder {
    std::wstring folder, lockPath;
    HANDLE lock = INVALID_HANDLE_VALUE;
};

// A new folder in the user's temporary folder; CreateDirectory fails on an
// existing one, so the folder is ours alone. Its lock file, naming the
// projector, is made at once and stays open (see RemoveAbandonedFolders);
// `share` says who else may open it meanwhile.
LockedFolder MakeLockedFolder(const std::wstring& root, const std::wstring& self, DWORD share) {
    DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16) ^ static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(&seed));
    for (int attempt = 0; attempt < 100; ++attempt) {
        wchar_t name[64];
        swprintf(name, 64, L"%ls%08lX", kFolderPrefix, static_cast<unsigned long>(seed + attempt * 7919u));
        std::wstring folder = Join(root, name);
        if (CreateDirectoryW(folder.c_str(), nullptr)) {
            const std::wstring lockPath = Join(folder, kLockName);
            HANDLE lock = CreateFileW(lockPath.c_str(), GENERIC_WRITE, share, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                      nullptr);
            DWORD written = 0;
            if (lock == INVALID_HANDLE_VALUE ||
                !WriteFile(lock, self.data(), static_cast<DWORD>(self.size() * sizeof(wchar_t)), &written, nullptr)) {
                if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
                DeleteFileW(lockPath.c_str());
                RemoveDirectoryW(folder.c_str());
                throw StartError("Cannot create file " + Utf8(lockPath));
            }
            return {folder, lockPath, lock};
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    throw StartError("A temporary folder cannot be created");
}

std::wstring MakeTemporaryFolder(const std::wstring& self, Win32EnginePlatform& platform) {
    const std::wstring root = TemporaryRoot();
    {
        ServiceStartLock guard;
        RemoveAbandonedFolders(root);
    }
    LockedFolder made = MakeLockedFolder(root, self, FILE_SHARE_DELETE);
    platform.lock = made.lock;
    platform.lockPath = Utf8(made.lockPath);
    return made.folder;
}

// Creates a new file (never an existing one), listed for removal before the
// first byte is written. Packed names may be long: the file is made and
// listed by its long form, so that no path limit stops it.
class NewFile {
public:
    NewFile(const std::wstring& path, s_TVexelProjector& settings) {
        h_ = CreateFileW(LongPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h_ == INVALID_HANDLE_VALUE) throw StartError("Cannot create file " + Utf8(path));
        settings.TemporaryFiles().push_back(Utf8(LongPath(path)));
        path_ = path;
    }
    ~NewFile() { CloseHandle(h_); }
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    void Write(const void* p, std::size_t n) {
        DWORD done = 0;
        if (!WriteFile(h_, p, static_cast<DWORD>(n), &done, nullptr) || done != n)
            throw StartError("Cannot write file " + Utf8(path_) + " (is the disk full?)");
    }

private:
    HANDLE h_;
    std::wstring path_;
};

// Every file is created (and listed for removal) first, then inflated
// straight into it, several files at a time. Each is checked to its end while
// it is written, so the package is read once; the first failure is reported
// after every writer has stopped, and the caller removes what was written.
void Extract(s_TVexelProjector& s, const std::vector<engine::ExtractItem>& plan) {
    const std::wstring folder = Wide(s.TemporaryFolder);
    std::vector<std::unique_ptr<NewFile>> outputs;
    std::vector<std::wstring> tools;
    for (const engine::ExtractItem& item : plan) {
        outputs.push_back(std::make_unique<NewFile>(Join(folder, Wide(item.name)), s));
        if (item.tool) tools.push_back(Wide(item.name));
    }
    // Largest first, so that the longest job starts at once.
    std::vector<std::size_t> order(plan.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return plan[a].file->Filesize > plan[b].file->Filesize; });
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::mutex errorLock;
    std::string error;
    auto work = [&] {
        for (std::size_t k; !failed && (k = next++) < order.size();) {
            const std::size_t i = order[k];
            try {
                engine::InflatePackedFile(*plan[i].file,
                                          [&](const std::uint8_t* p, std::size_t n) { outputs[i]->Write(p, n); });
            } catch (const std::exception& ex) {
                std::lock_guard<std::mutex> lock(errorLock);
                if (!failed.exchange(true)) error = ex.what();
            }
        }
    };
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const std::size_t helpers =
        std::min<std::size_t>(std::max<DWORD>(info.dwNumberOfProcessors, 1) - 1, plan.size() > 0 ? plan.size() - 1 : 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < std::min<std::size_t>(helpers, 7); ++t) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // fewer writers side by side; the work is the same
        }
    }
    work();
    for (std::thread& t : threads) t.join();
    outputs.clear();
    if (failed) throw StartError(error);
    // The Flash player runs the programs of its exec command only from a
    // sub-folder of this name beside itself; the tools go there too.
    if (tools.empty()) return;
    const std::wstring sub = Join(folder, Wide(kToolsSubfolder));
    if (!CreateDirectoryW(sub.c_str(), nullptr)) throw StartError("Cannot create folder " + Utf8(sub));
    std::vector<std::string> copies;
    for (const std::wstring& t : tools) {
        if (!CopyFileW(LongPath(Join(folder, t)).c_str(), LongPath(Join(sub, t)).c_str(), TRUE))
            throw StartError("Cannot create file " + Utf8(Join(sub, t)));
        s.TemporaryFiles().push_back(Utf8(LongPath(Join(sub, t))));
    }
    s.TemporaryFiles().push_back(Utf8(sub));  // removed once empty, after its files
}

void WriteVarFile(s_TVexelProjector& s) {
    std::string name = ExtractName(s.VarFileName);
    if (name.empty()) throw StartError("The date and time file has no usable name: \"" + s.VarFileName + "\"");
    SYSTEMTIME t;
    GetLocalTime(&t);
    AnsiString line = engine::VarFileLine(s, {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds});
    NewFile out(Join(Wide(s.TemporaryFolder), Wide(name)), s);
    out.Write(line.bytes().data(), line.size());
}

bool Extracted(const s_TVexelProjector& s, const std::wstring& name) {
    return GetFileAttributesW(LongPath(Join(Wide(s.TemporaryFolder), name)).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// One service on the fixed port serves every running projector: an engine
// registers with the one that runs, and starts it only when there is none.
// The mutex keeps two engines from starting it at once. The service runs
// from a locked folder of its own, so that it can outlive the projector that
// started it; the last projector to leave it removes that folder.
void StartVariableService(Engine& e) {
    s_TVexelProjector& s = *e.settings;
    ServiceStartLock guard;
    const Registration me{GetCurrentProcessId(), e.platform.child.dwProcessId, e.engineWindow, e.projectorDir,
                          e.projectorName};
    if (HWND service = FindWindowW(kVarServiceClass, nullptr)) {
        if (RegisterWithService(service, me)) return;
        // A service that refuses is ending; the port is free once it is gone.
        DWORD pid = 0;
        GetWindowThreadProcessId(service, &pid);
        if (HANDLE ending = OpenProcess(SYNCHRONIZE, FALSE, pid)) {
            WaitForSingleObject(ending, 10000);
            CloseHandle(ending);
        }
    }

    const std::wstring vss = std::wstring(tools::StoreTool.begin(), tools::StoreTool.end());
    if (!Extracted(s, vss)) return;  // built without the tool: the movie's requests go unanswered
    LockedFolder home;
    try {
        home = MakeLockedFolder(TemporaryRoot(), ModulePath(nullptr), FILE_SHARE_READ | FILE_SHARE_DELETE);
    } catch (const StartError&) {
        return;
    }
    const std::wstring program = Join(home.folder, vss);
    PROCESS_INFORMATION pi{};
    SetEnvironmentVariableW(kPlayerPidVar, std::to_wstring(me.playerPid).c_str());
    if (CopyFileW(Join(Wide(s.TemporaryFolder), vss).c_str(), program.c_str(), TRUE))
        pi = StartProcess(program, L"", home.folder);
    SetEnvironmentVariableW(kPlayerPidVar, nullptr);
    bool running = false;
    if (pi.hProcess) {
        // The service takes its folder's lock first and listens once it
        // waits for messages; one that could not take either (the port is
        // taken by a program of another kind) has ended by then. Only then
        // is this engine's hold on the lock let go.
        WaitForInputIdle(pi.hProcess, 10000);
        running = WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT;
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(home.lock);
    if (!running) RemoveTree(home.folder);
}

DWORD HookFlags(const s_TVexelProjector& s) {
    DWORD f = 0;
    if (s.LeftClickBehaviour == TspLeftClick::splIgnore) f |= VS_HOOK_LEFT_IGNORE;
    if (s.LeftClickBehaviour == TspLeftClick::splDrag) f |= VS_HOOK_LEFT_DRAG;
    if (s.RightClickBehaviour == TspRightClick::sprIgnore) f |= VS_HOOK_RIGHT_IGNORE;
    if (s.RightClickBehaviour == TspRightClick::sprPopup) f |= VS_HOOK_RIGHT_POPUP;
    if (s.KeyboardBehaviour == TspKeyboard::spkIgnore) f |= VS_HOOK_KEYS_IGNORE;
    if (s.CloseOnEscape) f |= VS_HOOK_CLOSE_ON_ESCAPE;
    if (s.DisableALTTAB) f |= VS_HOOK_NO_TASK_SWITCH;
    return f;
}

void InstallHooks(Engine& e) {
    s_TVexelProjector& s = *e.settings;
    const std::wstring dll = std::wstring(tools::HookLibrary.begin(), tools::HookLibrary.end());
    if (!Extracted(s, dll)) return;
    auto lib = Win32HookLibrary::Load(Join(Wide(s.TemporaryFolder), dll));
    if (!lib) return;
    e.hook = lib.get();
    Win32HookLibrary& hook = *lib;
    TMouseHook& link = s.HookLink();
    link.Attach(std::move(lib));
    HWND player = e.platform.childWindow;
    link.OnMouseMove = [player](TMouseHook& h) {
        RECT r;
        if (GetWindowRect(player, &r))
            SetWindowPos(player, nullptr, r.left + h.DX, r.top + h.DY, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    };
    link.OnRightButtonDown = [&e, player](TMouseHook& h) {
        if (WaitForSingleObject(e.platform.child.hProcess, 0) == WAIT_OBJECT_0) return;
        HMENU menu = CreatePopupMenu();
        AppendMenuW(menu, MF_STRING, kMenuMinimize, L"Minimize");
        AppendMenuW(menu, MF_STRING, kMenuClose, L"Close");
        SetForegroundWindow(e.engineWindow);
        TrackPopupMenu(menu, TPM_RIGHTBUTTON, h.X, h.Y, 0, e.engineWindow, nullptr);
        DestroyMenu(menu);
        SetForegroundWindow(player);
    };
    link.OnCommand7 = [player](TMouseHook&) { PostMessageW(player, WM_CLOSE, 0, 0); };
    bool any = hook.Install(e.engineWindow, player, HookFlags(s));
    if (s.HideCursor) any = hook.InstallCursor(GetWindowThreadProcessId(player, nullptr)) || any;
    link.SetHooked(any);
}

void PutOnDesktop(Engine& e) {
    s_TVexelProjector& s = *e.settings;
    const std::wstring vsd = std::wstring(tools::DesktopTool.begin(), tools::DesktopTool.end());
    if (!Extracted(s, vsd)) return;
    PROCESS_INFORMATION pi =
        StartProcess(Join(Wide(s.TemporaryFolder), vsd),
              std::to_wstring(reinterpret_cast<std::uintptr_t>(e.platform.childWindow)), Wide(s.TemporaryFolder));
    if (!pi.hProcess) return;
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

// The lock file is removed after everything else in the folder, so that the
// folder counts as in use until then.
void ReleaseLockLast(Engine& e) {
    if (!e.platform.lockPath.empty()) e.settings->TemporaryFiles().push_back(e.platform.lockPath);
}

// The player ends with the engine, also when the engine is ended from
// outside: it is the only process of a job that is ended when the engine's
// handle to it closes. Programs the player starts break away from the job.
void TieToEngine(HANDLE player) {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (!job) return;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
        !AssignProcessToJobObject(job, player))
        CloseHandle(job);
    // Otherwise the handle stays open for the engine's life on purpose.
}

HWND WaitForWindow(HANDLE process, DWORD pid) {
    WaitForInputIdle(process, 30000);
    for (int i = 0; i < 600; ++i) {
        if (HWND w = FindProcessWindow(pid)) return w;
        if (WaitForSingleObject(process, 50) == WAIT_OBJECT_0) return nullptr;
    }
    return nullptr;
}

void CALLBACK PlayerEnded(void* window, BOOLEAN) { PostMessageW(static_cast<HWND>(window), kPlayerEnded, 0, 0); }

void RunMessageLoop(Engine& e) {
    HANDLE child = e.platform.child.hProcess;
    // The loops of modal menus run their own message loops; the wait tells
    // every one of them when the player ends.
    HANDLE wait = nullptr;
    RegisterWaitForSingleObject(&wait, child, PlayerEnded, e.engineWindow, INFINITE, WT_EXECUTEONLYONCE);
    // Following the window's rectangle works wherever window events do not
    // reach another process.
    if (e.settings->ResizeKeepRatio) SetTimer(e.engineWindow, kFollowTimer, kFollowInterval, nullptr);
    struct Stop {
        HANDLE wait;
        HWND window;
        ~Stop() {
            KillTimer(window, kFollowTimer);
            if (wait) UnregisterWaitEx(wait, INVALID_HANDLE_VALUE);
        }
    } stop{wait, e.engineWindow};
    while (true) {
        DWORD r = MsgWaitForMultipleObjects(1, &child, FALSE, 250, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) return;
        if (!IsWindow(e.platform.childWindow)) return;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

int Run() {
    Engine e;
    g_engine = &e;
    RegisterProjectorClasses();
    e.settings = std::make_unique<s_TVexelProjector>(nullptr, e.platform);
    s_TVexelProjector& s = *e.settings;
    const std::wstring self = ModulePath(nullptr);

    std::vector<engine::ExtractItem> plan;
    try {
        TFileStream file(Utf8(self), FileMode::OpenRead);
        engine::ReadEnginePackage(file, s);
        plan = engine::PlanExtraction(s);
    } catch (const std::exception& ex) {
        Tell(kTitle, Wide(ex.what()) + L".", true);
        return 1;
    }

    try {
        s.TemporaryFolder = Utf8(MakeTemporaryFolder(self, e.platform));
        // Shutdown leaves the temporary folder with "..".
        SetCurrentDirectoryW(Wide(s.TemporaryFolder).c_str());
        Extract(s, plan);
        if (s.HasVarFile) WriteVarFile(s);
    } catch (const std::exception& ex) {
        ReleaseLockLast(e);
        s.RemoveTemporaryFiles();
        Tell(kTitle, Wide(ex.what()) + L".", true);
        return 1;
    }

    e.engineWindow = CreateEngineWindow();
    e.getDimensions = s.GetDimensionsMessage();
    s.VarStoreMessage = RegisterWindowMessageW(kVarStoreMessageName);
    SetEnvironmentVariableW(kProjectorDirVar, FolderOf(self).c_str());
    std::wstring projectorName = FilePartOf(self);
    if (std::size_t dot = projectorName.find_last_of(L'.'); dot != std::wstring::npos) projectorName.resize(dot);
    SetEnvironmentVariableW(kProjectorNameVar, projectorName.c_str());
    e.projectorDir = FolderOf(self);
    e.projectorName = projectorName;

    SetEnvironmentVariableW(kTemporaryDirVar, Wide(s.TemporaryFolder).c_str());
    SetEnvironmentVariableW(kEngineWindowVar, std::to_wstring(reinterpret_cast<std::uintptr_t>(e.engineWindow)).c_str());
    SetEnvironmentVariableW(kEnginePidVar, std::to_wstring(GetCurrentProcessId()).c_str());

    if (s.DisableScreensaver) SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, 0);
    if (s.DisableALTTAB) SystemParametersInfoW(SPI_SCREENSAVERRUNNING, TRUE, nullptr, 0);

    const std::wstring movie = Join(Wide(s.TemporaryFolder), Wide(plan.front().name));
    e.platform.child = StartProcess(movie, L"", Wide(s.TemporaryFolder), CREATE_SUSPENDED);
    s.Running = true;
    if (e.platform.child.hProcess) {
        TieToEngine(e.platform.child.hProcess);
        // The service serves the player by its process id: it is registered
        // before the player's first request can come.
        if (s.HasVarStore) StartVariableService(e);
        ResumeThread(e.platform.child.hThread);
    }
    ReleaseLockLast(e);
    if (!e.platform.child.hProcess) {
        s.Shutdown();
        Tell(kTitle, L"The projector cannot be started.", true);
        return 1;
    }
    e.platform.childWindow = WaitForWindow(e.platform.child.hProcess, e.platform.child.dwProcessId);
    if (e.platform.childWindow) {
        e.window = std::make_unique<ProjectorWindow>(e.platform.childWindow, s, e.engineWindow);
        e.window->Apply();
        InstallHooks(e);
        if (s.InsDesktop) PutOnDesktop(e);
        RunMessageLoop(e);
    }
    e.window.reset();
    s.Shutdown();
    DestroyWindow(e.engineWindow);
    g_engine = nullptr;
    return 0;
}

}  // namespace
}  // namespace vs::win32

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    vs::win32::RestrictDllSearch();
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    try {
        return vs::win32::Run();
    } catch (const std::exception& ex) {
        vs::win32::Tell(L"VexelSCREEN", vs::win32::Wide(ex.what()), true);
        return 1;
    }
}
