#pragma once
// Wiring a run's services in one place, and a set of them that shows nothing and writes nothing:
// for quorvel-batch's bus runs, the benchmarks, the Wine driver and the tests.

#include <concepts>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/module1.h"
#include "engine/replacementrun.h"
#include "engine/services.h"

namespace quorvel::engine {

// Messages are kept so a caller can tell whether, and why, the run failed.
struct QuietRunServices final : ProgressWindow,
                                MainWindowVisibility,
                                Messages,
                                Clock,
                                RandomNumbers,
                                ScriptFileWriter {
    void show() override {}
    void setLabel1(const std::u16string&) override {}
    void setLabel3(const std::u16string&) override {}
    void setLabel5(const std::u16string&) override {}
    void repaintNow() override {}
    void runEnded() override {}
    void hideMainWindow() override {}
    void showMessage(const std::u16string& text, const std::u16string&, MessageIcon) override {
        messages.push_back(text);
    }
    std::u16string timeOfDayText() override { return u"0:00:00"; }
    void reseedFromTimer() override {}
    std::uint32_t next() override { return ++number; }
    void writeScript(const std::u16string&, const std::u16string&) override {}

    std::vector<std::u16string> messages;
    std::uint32_t number = 0;
};

// The options of a run without a window: a search and a replacement text, nothing else ticked.
struct PlainReplaceOptions final : ReplaceOptions {
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

// One object that stands in for every service around a run.
template <typename T>
concept AllRunSurroundings =
    std::derived_from<T, ProgressWindow> && std::derived_from<T, MainWindowVisibility> &&
    std::derived_from<T, Messages> && std::derived_from<T, Clock> &&
    std::derived_from<T, RandomNumbers> && std::derived_from<T, ScriptFileWriter>;

// What a run shows and writes besides the host's drawings.
struct RunSurroundings {
    template <AllRunSurroundings All>
    RunSurroundings(All& all)  // NOLINT(google-explicit-constructor): one object plays them all
        : progress(all),
          mainWindow(all),
          messages(all),
          clock(all),
          random(all),
          scriptWriter(all) {}
    RunSurroundings(ProgressWindow& progressWindow, MainWindowVisibility& mainWindowVisibility,
                    Messages& messageBoxes, Clock& timeOfDay, RandomNumbers& randomNumbers,
                    ScriptFileWriter& scripts)
        : progress(progressWindow),
          mainWindow(mainWindowVisibility),
          messages(messageBoxes),
          clock(timeOfDay),
          random(randomNumbers),
          scriptWriter(scripts) {}

    ProgressWindow& progress;
    MainWindowVisibility& mainWindow;
    Messages& messages;
    Clock& clock;
    RandomNumbers& random;
    ScriptFileWriter& scriptWriter;
};

// A run's services without file stamps or a run lock; a caller that has them sets them after.
inline RunServices makeRunServices(Module1& module1, WindowControl& windows,
                                   ReplaceOptions& options, DrawingList& drawings,
                                   const RunSurroundings& around, std::u16string programFolder) {
    RunServices services;
    services.module1 = &module1;
    services.windows = &windows;
    services.options = &options;
    services.drawings = &drawings;
    services.progress = &around.progress;
    services.mainWindow = &around.mainWindow;
    services.messages = &around.messages;
    services.clock = &around.clock;
    services.random = &around.random;
    services.scriptWriter = &around.scriptWriter;
    services.programFolder = std::move(programFolder);
    return services;
}

}  // namespace quorvel::engine
