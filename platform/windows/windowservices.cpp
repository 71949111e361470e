#include "platform/windows/windowservices.h"

#include <windows.h>

#include <shellapi.h>

#include <cwctype>
#include <vector>

#include "platform/windows/keynotation.h"

namespace quorvel::platform::windows {

namespace {

std::wstring wide(const std::u16string& text) {
    return std::wstring(text.begin(), text.end());
}

bool equalIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

struct TitleSearch {
    std::wstring title;
    HWND equal = nullptr;
    HWND prefixed = nullptr;
};

BOOL CALLBACK inspectWindow(HWND window, LPARAM data) {
    auto& search = *reinterpret_cast<TitleSearch*>(data);
    if (!IsWindowVisible(window)) {
        return TRUE;
    }
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), length + 1)));
    if (equalIgnoringCase(text, search.title)) {
        search.equal = window;
        return FALSE;
    }
    if (search.prefixed == nullptr && text.size() > search.title.size() &&
        equalIgnoringCase(text.substr(0, search.title.size()), search.title)) {
        search.prefixed = window;
    }
    return TRUE;
}

INPUT keyInput(WORD virtualKey, WORD scan, DWORD flags) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = scan;
    input.ki.dwFlags = flags;
    return input;
}

void pressAndRelease(std::vector<INPUT>& inputs, WORD virtualKey) {
    inputs.push_back(keyInput(virtualKey, 0, 0));
    inputs.push_back(keyInput(virtualKey, 0, KEYEVENTF_KEYUP));
}

void appendEvent(std::vector<INPUT>& inputs, const KeyEvent& event) {
    std::vector<WORD> held;
    if (event.control) {
        held.push_back(VK_CONTROL);
    }
    if (event.alt) {
        held.push_back(VK_MENU);
    }
    for (WORD key : held) {
        inputs.push_back(keyInput(key, 0, 0));
    }
    switch (event.key) {
        case KeyEvent::Key::Enter:
            pressAndRelease(inputs, VK_RETURN);
            break;
        case KeyEvent::Key::Escape:
            pressAndRelease(inputs, VK_ESCAPE);
            break;
        case KeyEvent::Key::Backspace:
            pressAndRelease(inputs, VK_BACK);
            break;
        case KeyEvent::Key::Tab:
            pressAndRelease(inputs, VK_TAB);
            break;
        case KeyEvent::Key::Delete:
            pressAndRelease(inputs, VK_DELETE);
            break;
        case KeyEvent::Key::Character: {
            char16_t c = event.character;
            if (event.shift && c >= u'a' && c <= u'z') {
                c = static_cast<char16_t>(c - u'a' + u'A');
            }
            if (event.control || event.alt) {
                const SHORT scanned = VkKeyScanW(static_cast<wchar_t>(c));
                pressAndRelease(inputs, static_cast<WORD>(scanned & 0xFF));
            } else {
                inputs.push_back(keyInput(0, c, KEYEVENTF_UNICODE));
                inputs.push_back(keyInput(0, c, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP));
            }
            break;
        }
    }
    for (auto it = held.rbegin(); it != held.rend(); ++it) {
        inputs.push_back(keyInput(*it, 0, KEYEVENTF_KEYUP));
    }
}

// Waits until the thread that reads the foreground window's input has taken `key` down (or up):
// input is read in order, so everything typed before it has been taken too. The key state of a
// thread follows the input it has read; sharing the input state makes that state visible here.
bool waitForKeyRead(WORD key, bool down) {
    for (int tries = 0; tries < 2000; ++tries) {
        const bool isDown = (GetKeyState(key) & 0x8000) != 0;
        if (isDown == down) {
            return true;
        }
        Sleep(5);
    }
    return false;
}

// Sends the keys followed by a key that means nothing to a command line, and returns once the
// target has read that last key: by then it has handled every key before it.
void sendAndWait(std::vector<INPUT>& inputs) {
    constexpr WORD kMarker = VK_F24;
    const HWND target = GetForegroundWindow();
    const DWORD targetThread = target != nullptr ? GetWindowThreadProcessId(target, nullptr) : 0;
    const DWORD ownThread = GetCurrentThreadId();
    const bool attached = targetThread != 0 && targetThread != ownThread &&
                          AttachThreadInput(ownThread, targetThread, TRUE);
    inputs.push_back(keyInput(kMarker, 0, 0));
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    if (attached) {
        waitForKeyRead(kMarker, true);
    }
    INPUT release = keyInput(kMarker, 0, KEYEVENTF_KEYUP);
    SendInput(1, &release, sizeof(INPUT));
    if (attached) {
        waitForKeyRead(kMarker, false);
        AttachThreadInput(ownThread, targetThread, FALSE);
    }
    // The character messages made from the last keys are handled before the target reads on.
    if (target != nullptr) {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(target, WM_NULL, 0, 0, SMTO_BLOCK, 10000, &ignored);
    }
}

}  // namespace

void Win32WindowControl::activateByTitle(const std::u16string& title) {
    TitleSearch search{wide(title)};
    if (!search.title.empty()) {
        EnumWindows(inspectWindow, reinterpret_cast<LPARAM>(&search));
    }
    const HWND found = search.equal != nullptr ? search.equal : search.prefixed;
    if (found == nullptr) {
        throw engine::AutomationError(engine::kErrorInvalidCall, u"无效的过程调用或参数");
    }
    if (IsIconic(found)) {
        ShowWindow(found, SW_RESTORE);
    }
    SetForegroundWindow(found);
}

void Win32WindowControl::sendKeys(const std::u16string& keys, bool wait) {
    const auto events = parseKeyNotation(keys);
    if (!events) {
        throw engine::AutomationError(engine::kErrorInvalidCall, u"无效的过程调用或参数");
    }
    std::vector<INPUT> inputs;
    for (const KeyEvent& event : *events) {
        appendEvent(inputs, event);
    }
    if (wait) {
        sendAndWait(inputs);
    } else if (!inputs.empty()) {
        SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    }
}

std::u16string programFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    for (wchar_t& c : path) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    std::size_t cut = path.rfind(L'\\');
    if (cut == std::wstring::npos) {
        return {};
    }
    if (cut == 2 && path[1] == L':') {
        ++cut;  // "C:\" keeps its separator
    }
    return std::u16string(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(cut));
}

bool showHelp(const std::u16string& chmPath) {
    // The help viewer is a system component loaded on first use; it may be missing.
    using HtmlHelpW = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);
    static const HMODULE module = LoadLibraryW(L"hhctrl.ocx");
    if (module == nullptr) {
        return false;
    }
    const auto htmlHelp =
        reinterpret_cast<HtmlHelpW>(reinterpret_cast<void*>(GetProcAddress(module, "HtmlHelpW")));
    constexpr UINT kDisplayTopic = 0x0000;
    return htmlHelp != nullptr &&
           htmlHelp(GetDesktopWindow(), wide(chmPath).c_str(), kDisplayTopic, 0) != nullptr;
}

bool openLink(const std::u16string& address) {
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", wide(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

}  // namespace quorvel::platform::windows
