// The stand-in CAD host for Windows: a COM local server for the ProgID "AutoCAD.Application"
// over the DXF engine, with a plain window whose command line takes typed keys.
//
//   cadh.exe [options]                run (entered in the running-object table)
//   cadh.exe /regserver [options]     register for the current user, started with those options
//   cadh.exe /unregserver [--progid NAME]   remove that registration
// options: --release R14|R2000, --progid NAME (registration only), and what real hosts do that
// this one does not unless told: --busy-at-start MS and --busy-after-command MS (automation
// calls are rejected as busy for so long), --without-erase (entities have Delete only),
// --refuse-open-twice (a drawing open already is not opened again).
#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "cadhost/standin/hostobjects.h"
#include "cadhost/standin/registration.h"
#include "cadhost/standin/standinhost.h"
#include "engine/textutil.h"
#include "platform/windows/processcomobject.h"

namespace {

using namespace quorvel::cadhost::standin;

constexpr wchar_t kWindowClass[] = L"QuorvelStandInHost";
constexpr int kHistoryLines = 12;

std::wstring wide(const std::string& utf8) {
    const std::u16string text = quorvel::engine::fromUtf8(utf8);
    return std::wstring(text.begin(), text.end());
}

std::string narrow(const std::wstring& text) {
    return quorvel::engine::toUtf8(std::u16string(text.begin(), text.end()));
}

std::wstring modulePath() {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

class HostWindowContext final : public HostContext {
public:
    HostWindowContext(StandinHost& host, HostBehaviour behaviour, std::wstring executable)
        : HostContext(host, behaviour), executable_(std::move(executable)) {}

    HWND window = nullptr;

    bool isWindowVisible() const override { return IsWindowVisible(window) != FALSE; }
    void setWindowVisible(bool visible) override {
        ShowWindow(window, visible ? SW_SHOW : SW_HIDE);
    }
    void refresh() override {
        SetWindowTextW(window, wide(host.caption()).c_str());
        InvalidateRect(window, nullptr, TRUE);
    }
    std::string executablePath() const override { return narrow(executable_); }

private:
    std::wstring executable_;
};

HostWindowContext* context = nullptr;

void paint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT area;
    GetClientRect(window, &area);
    std::wstring text;
    const auto& history = context->host.history();
    const std::size_t first = history.size() > kHistoryLines ? history.size() - kHistoryLines : 0;
    for (std::size_t i = first; i < history.size(); ++i) {
        text += wide(history[i]) + L"\r\n";
    }
    const std::u16string& pending = context->host.commandLine.pendingInput();
    text += wide(context->host.commandLine.prompt()) + L" " +
            std::wstring(pending.begin(), pending.end());
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area, DT_LEFT | DT_BOTTOM);
    EndPaint(window, &paint);
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CHAR: {
            const auto c = static_cast<wchar_t>(wParam);
            if (c == L'\r') {
                context->host.commandLine.enter();
                context->busyFor(context->behaviour.busyAfterCommandMs);
            } else if (c == 0x1B) {
                context->host.commandLine.cancel();
            } else if (c == L'\b') {
                context->host.commandLine.backspace();
            } else if (c >= 0x20) {
                context->host.commandLine.type(std::u16string(1, static_cast<char16_t>(c)));
            }
            context->host.commandLine.takeFailures();  // shown in the history already
            context->refresh();
            return 0;
        }
        case WM_PAINT:
            paint(window);
            return 0;
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

// Rejects automation calls while the host is busy, as a host does while it starts or works
// through a command; the caller's COM tries them again.
class RejectingWhileBusy final
    : public quorvel::platform::windows::ProcessComObject<IMessageFilter, IID_IMessageFilter> {
public:
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO call) override {
        // Only the object model's calls: COM's own (reference counts) always go through.
        const bool automation = call != nullptr && IsEqualIID(call->iid, IID_IDispatch);
        return automation && context->busy() ? SERVERCALL_REJECTED : SERVERCALL_ISHANDLED;
    }
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override {
        return static_cast<DWORD>(-1);
    }
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
        return PENDINGMSG_WAITDEFPROCESS;
    }
};

class ClassFactory final
    : public quorvel::platform::windows::ProcessComObject<IClassFactory, IID_IClassFactory> {
public:
    explicit ClassFactory(IDispatch* application) : application_(application) {}

    // One host, one application object: every client gets the same one.
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        return application_->QueryInterface(iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    IDispatch* application_;
};

enum class Task { Run, Register, Unregister };

struct CommandLine {
    Task task = Task::Run;
    Release release = Release::R2000;
    bool startedByCom = false;
    std::wstring progId = kDefaultProgId;
    HostBehaviour behaviour;
    std::wstring runOptions;  // as given, for the registration
};

bool isSwitch(const std::wstring& argument, const wchar_t* name) {
    return _wcsicmp(argument.c_str(), (std::wstring(L"/") + name).c_str()) == 0 ||
           _wcsicmp(argument.c_str(), (std::wstring(L"-") + name).c_str()) == 0;
}

// False with a message for an argument it does not know.
bool readCommandLine(CommandLine& line) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    bool understood = true;
    for (int i = 1; i < argc && understood; ++i) {
        const std::wstring argument = argv[i];
        const bool valueFollows = i + 1 < argc;
        if (isSwitch(argument, L"regserver")) {
            line.task = Task::Register;
        } else if (isSwitch(argument, L"unregserver")) {
            line.task = Task::Unregister;
        } else if (isSwitch(argument, L"Embedding")) {
            line.startedByCom = true;
        } else if (argument == L"--progid" && valueFollows) {
            line.progId = argv[++i];
        } else if (argument == L"--without-erase" || argument == L"--refuse-open-twice") {
            (argument == L"--without-erase" ? line.behaviour.withoutErase
                                            : line.behaviour.refuseOpenTwice) = true;
            line.runOptions += L" " + argument;
        } else if ((argument == L"--release" || argument == L"--busy-at-start" ||
                    argument == L"--busy-after-command") &&
                   valueFollows) {
            const std::wstring value = argv[++i];
            if (argument == L"--release") {
                line.release = _wcsicmp(value.c_str(), L"R14") == 0 ? Release::R14 : Release::R2000;
            } else {
                (argument == L"--busy-at-start" ? line.behaviour.busyAtStartMs
                                                : line.behaviour.busyAfterCommandMs) =
                    wcstoull(value.c_str(), nullptr, 10);
            }
            line.runOptions += L" " + argument + L" " + value;
        } else {
            fwprintf(stderr, L"unknown argument: %ls\n", argument.c_str());
            understood = false;
        }
    }
    LocalFree(argv);
    return understood;
}

}  // namespace

int main() {
    CommandLine line;
    if (!readCommandLine(line)) {
        return 2;
    }
    const Release release = line.release;
    const std::wstring executable = modulePath();
    if (line.task == Task::Register) {
        return registerServer(executable, line.progId, line.runOptions) ? 0 : 1;
    }
    if (line.task == Task::Unregister) {
        return unregisterServer(line.progId) ? 0 : 1;
    }

    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return 1;
    }
    // FullName less its last 9 characters is the folder that holds TEMPLATE\acad.dwt.
    const std::wstring folder = executable.substr(0, executable.rfind(L'\\'));
    wchar_t localData[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", localData, MAX_PATH);
    StandinHost host(
        release, std::filesystem::path(folder + L"\\TEMPLATE\\acad.dwt"),
        std::filesystem::path(length > 0 && length < MAX_PATH ? localData : folder.c_str()) /
            L"cad-host" / L"recovery");
    HostWindowContext hostContext(host, line.behaviour, executable);
    context = &hostContext;
    try {
        host.addFromTemplate({});  // like a CAD host, it starts with a new drawing
    } catch (const std::exception&) {
        // no template: the host runs without a drawing
    }

    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassW(&windowClass);
    hostContext.window = CreateWindowExW(0, kWindowClass, wide(host.caption()).c_str(),
                                         WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 800,
                                         480, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!line.startedByCom) {
        ShowWindow(hostContext.window, SW_SHOW);
    }

    RejectingWhileBusy busyFilter;
    CoRegisterMessageFilter(&busyFilter, nullptr);
    IDispatch* application = newApplicationObject(hostContext);
    ClassFactory factory(application);
    DWORD classCookie = 0;
    DWORD activeCookie = 0;
    CoRegisterClassObject(kStandInClassId, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                          &classCookie);
    RegisterActiveObject(application, kStandInClassId, ACTIVEOBJECT_STRONG, &activeCookie);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }

    RevokeActiveObject(activeCookie, nullptr);
    CoRevokeClassObject(classCookie);
    CoDisconnectObject(application, 0);
    application->Release();
    CoRegisterMessageFilter(nullptr, nullptr);
    CoUninitialize();
    return 0;
}
