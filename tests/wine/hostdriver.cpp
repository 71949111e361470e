// Drives the engine's batch run or preview against whatever CAD host COM finds, with console
// stand-ins for the windows. Prints every message box as "MESSAGE: <text>" (UTF-8).
//
//   hostdriver batch|preview new|old <search> <replacement> <drawing>...
//   hostdriver close-host      asks a running stand-in host to close
//   hostdriver start-host [--release R14]   starts the stand-in host by hand and waits for it
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/module1.h"
#include "engine/replacementrun.h"
#include "engine/textutil.h"
#include "textcodec/codepage936.h"
#include "platform/windows/comautomation.h"
#include "platform/windows/filestamps.h"
#include "platform/windows/windowservices.h"

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

struct ConsoleOptions final : engine::ReplaceOptions {
    std::u16string search;
    std::u16string replacement;
    bool newer = true;

    std::u16string searchText() const override { return search; }
    std::u16string replacementText() const override { return replacement; }
    std::u16string layerName() const override { return {}; }
    std::u16string justificationCode() const override { return {}; }
    std::u16string heightText() const override { return {}; }
    int layerTick() const override { return 0; }
    int exactMatchTick() const override { return 0; }
    int justificationTick() const override { return 0; }
    int heightTick() const override { return 0; }
    bool newerGeneration() const override { return newer; }
};

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

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 2 && std::wstring(argv[1]) == L"close-host") {
        return closeHost();
    }
    if (argc >= 2 && std::wstring(argv[1]) == L"start-host") {
        return startHost(std::vector<std::wstring>(argv + 2, argv + argc));
    }
    if (argc < 5) {
        print("usage: hostdriver batch|preview new|old <search> <replacement> <drawing>...");
        return 2;
    }
    platform::windows::ComApartment apartment;
    const bool batch = std::wstring(argv[1]) == L"batch";
    ConsoleOptions options;
    options.newer = std::wstring(argv[2]) == L"new";
    options.search = fromWide(argv[3]);
    options.replacement = fromWide(argv[4]);
    ConsoleList list;
    for (int i = 5; i < argc; ++i) {
        list.entries.push_back(fromWide(argv[i]));
    }
    ConsoleWindows windows;
    platform::windows::ComHostConnector connector;
    platform::windows::Win32WindowControl windowControl;
    engine::Module1 module1(connector, windows);

    engine::RunServices services;
    services.module1 = &module1;
    services.windows = &windowControl;
    services.options = &options;
    services.drawings = &list;
    services.progress = &windows;
    services.mainWindow = &windows;
    services.messages = &windows;
    services.clock = &windows;
    services.random = &windows;
    services.scriptWriter = &windows;
    services.programFolder = platform::windows::programFolder();
    // Lets the older generation's run see whether its typed save rewrote the drawing.
    platform::windows::Win32FileStamps files;
    services.files = &files;
    engine::ReplacementRun run(services);
    if (batch) {
        run.runBatch();
    } else {
        run.runPreview();
    }
    print("LEFT: " + std::to_string(list.count()));
    return 0;
}
