// Drives the engine's batch run or preview against whatever CAD host COM finds, with console
// stand-ins for the windows. Prints every message box as "MESSAGE: <text>" and its details as
// "DETAILS: <text>" (UTF-8). The host's ProgID is QUORVEL_PROGID's, as in the program.
//
//   hostdriver [--busy-limit MS] batch|preview|preview+batch new|old <search> <replacement>
//              <drawing>...        (preview+batch: both runs in turn, as from the windows)
//   hostdriver close-host      asks a running stand-in host to close
//   hostdriver start-host [cadh options]   starts the stand-in host by hand and waits for it
//   hostdriver filedia         prints the running host's FILEDIA as "FILEDIA: <n>"
//   hostdriver user-edit <drawing>   opens the drawing in the running host and changes its
//                              first text, unsaved, as a user would
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/quietrunservices.h"
#include "engine/textutil.h"
#include "platform/filestamps.h"
#include "platform/windows/comautomation.h"
#include "platform/windows/comobject.h"
#include "platform/windows/windowservices.h"
#include "textcodec/codepage936.h"

namespace {

std::wstring programFolderW() {
    const std::u16string folder = quorvel::platform::windows::programFolder();
    return std::wstring(folder.begin(), folder.end());
}

using namespace quorvel;

std::u16string fromWide(const wchar_t* text) {
    return std::u16string(text, text + wcslen(text));
}

void print(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

struct ConsoleList final : engine::DrawingList {
    std::vector<std::u16string> entries;

    int count() const override { return static_cast<int>(entries.size()); }
    std::u16string text(int index) const override {
        return entries.at(static_cast<std::size_t>(index));
    }
    void removeAt(int index) override { entries.erase(entries.begin() + index); }
    void removeAll() override { entries.clear(); }
};

struct ConsoleWindows final : engine::ProgressWindow,
                              engine::MainWindowVisibility,
                              engine::Messages,
                              engine::Clock,
                              engine::RandomNumbers,
                              engine::ScriptFileWriter {
    void show() override {}
    void setLabel1(const std::u16string& text) override {
        print("PROGRESS: " + engine::toUtf8(text));
    }
    void setLabel3(const std::u16string&) override {}
    void setLabel5(const std::u16string&) override {}
    void repaintNow() override {}
    void runEnded() override {}
    void hideMainWindow() override {}
    void showMessage(const std::u16string& text, const std::u16string&,
                     engine::MessageIcon) override {
        print("MESSAGE: " + engine::toUtf8(text));
    }
    void showDetailedMessage(const std::u16string& text, const std::u16string& caption,
                             engine::MessageIcon icon, const std::u16string& details) override {
        showMessage(text, caption, icon);
        std::u16string oneLine = details;
        std::replace(oneLine.begin(), oneLine.end(), u'\n', u' ');
        print("DETAILS: " + engine::toUtf8(oneLine));
    }
    std::u16string timeOfDayText() override { return u"0:00:00"; }
    void reseedFromTimer() override {}
    std::uint32_t next() override { return ++number; }
    // The script in code page 936, no line end, replacing any old file.
    void writeScript(const std::u16string& path, const std::u16string& text) override {
        std::ofstream out(std::filesystem::path(std::wstring(path.begin(), path.end())),
                          std::ios::binary | std::ios::trunc);
        const std::string bytes = codepage::toCodePage936(text);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            throw engine::AutomationError(engine::kErrorAutomation, u"无法写入 batch.scr");
        }
    }
    std::uint32_t number = 0;
};

int startHost(const std::vector<std::wstring>& extra) {
    std::wstring command = L"\"" + programFolderW() + L"\\cadh.exe\"";
    for (const auto& argument : extra) {
        command += L" " + argument;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        print("cannot start the host");
        return 1;
    }
    WaitForInputIdle(process.hProcess, 20000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // Entered in the running-object table once its window exists.
    for (int i = 0; i < 200 && FindWindowW(L"QuorvelStandInHost", nullptr) == nullptr; ++i) {
        Sleep(50);
    }
    Sleep(300);
    return 0;
}

int closeHost() {
    for (int i = 0; i < 100; ++i) {
        const HWND window = FindWindowW(L"QuorvelStandInHost", nullptr);
        if (window == nullptr) {
            return 0;
        }
        PostMessageW(window, WM_CLOSE, 0, 0);
        Sleep(100);
    }
    return 1;
}

using platform::windows::ComObject;
using platform::windows::Variant;

ComObject runningHost() {
    CLSID id{};
    std::u16string progId = platform::windows::hostProgIdSetting();
    if (progId.empty()) {
        progId = engine::kCadProgId;
    }
    IUnknown* unknown = nullptr;
    IDispatch* dispatch = nullptr;
    if (FAILED(CLSIDFromProgID(std::wstring(progId.begin(), progId.end()).c_str(), &id)) ||
        FAILED(GetActiveObject(id, nullptr, &unknown)) ||
        FAILED(unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
        throw engine::AutomationError(429, u"no running host");
    }
    unknown->Release();
    return ComObject(dispatch);
}

int hostTask(const std::wstring& task, const std::vector<std::wstring>& arguments) {
    platform::windows::ComApartment apartment;
    try {
        ComObject host = runningHost();
        if (task == L"filedia") {
            const Variant value =
                host.object(L"ActiveDocument").call(L"GetVariable", {Variant::text(u"FILEDIA")});
            print("FILEDIA: " + std::to_string(value.toInt32()));
            return 0;
        }
        const std::u16string path(arguments.at(0).begin(), arguments.at(0).end());
        ComObject document =
            ComObject::fromVariant(host.object(L"Documents").call(L"Open", {Variant::text(path)}));
        for (const Variant& entity : document.object(L"ModelSpace").items()) {
            ComObject candidate = ComObject::fromVariant(entity);
            if (candidate.get(L"ObjectName").toText() == u"AcDbText") {
                candidate.put(L"TextString", Variant::text(u"用户的修改"));
                return 0;
            }
        }
        print("no text to change");
        return 1;
    } catch (const engine::AutomationError& failure) {
        print(failure.what());
        return 1;
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 2 && std::wstring(argv[1]) == L"close-host") {
        return closeHost();
    }
    if (argc >= 2 && std::wstring(argv[1]) == L"start-host") {
        return startHost(std::vector<std::wstring>(argv + 2, argv + argc));
    }
    if (argc >= 2 &&
        (std::wstring(argv[1]) == L"filedia" || std::wstring(argv[1]) == L"user-edit")) {
        return hostTask(argv[1], std::vector<std::wstring>(argv + 2, argv + argc));
    }
    if (argc >= 3 && std::wstring(argv[1]) == L"--busy-limit") {
        platform::windows::setBusyHostLimit(std::chrono::milliseconds(_wtoi(argv[2])));
        argc -= 2;
        argv += 2;
    }
    if (argc < 5) {
        print(
            "usage: hostdriver [--busy-limit MS] batch|preview|preview+batch new|old <search> "
            "<replacement> <drawing>...");
        return 2;
    }
    platform::windows::ComApartment apartment;
    const std::wstring mode = argv[1];
    engine::PlainReplaceOptions options;
    options.newer = std::wstring(argv[2]) == L"new";
    options.search = fromWide(argv[3]);
    options.replacement = fromWide(argv[4]);
    ConsoleList list;
    for (int i = 5; i < argc; ++i) {
        list.entries.push_back(fromWide(argv[i]));
    }
    ConsoleWindows windows;
    platform::windows::ComHostConnector connector(platform::windows::hostProgIdSetting());
    platform::windows::Win32WindowControl windowControl;
    engine::Module1 module1(connector, windows);

    engine::RunServices services = engine::makeRunServices(
        module1, windowControl, options, list, windows, platform::windows::programFolder());
    // Lets the older generation's run see whether its typed save rewrote the drawing.
    platform::StatFileStamps files;
    services.files = &files;
    engine::ReplacementRun run(services);
    if (mode != L"batch") {
        run.runPreview();
        print("LEFT: " + std::to_string(list.count()));
    }
    if (mode != L"preview") {
        run.runBatch();
    }
    if (mode != L"preview") {
        print("LEFT: " + std::to_string(list.count()));
    }
    return 0;
}
