#pragma once
// Run services that show nothing and write nothing, for benchmarks that time a run on its own.
// Messages are kept so a caller can tell whether the run failed.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/services.h"

namespace quorvel::engine::testing {

struct SilentRunServices final : ProgressWindow,
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

}  // namespace quorvel::engine::testing
