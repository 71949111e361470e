#pragma once
// In-memory stand-ins for everything a run touches besides the host. They write into the same
// journal as the recording host, so a test sees one sequence of events.

#include <string>
#include <vector>

#include "engine/services.h"
#include "tests/support/engine/recordinghost.h"

namespace quorvel::engine::testing {

struct FakeOptions final : ReplaceOptions {
    std::u16string text1 = u"AB";
    std::u16string text2 = u"XY";
    std::u16string text3 = u"0";
    std::u16string text4 = u"mc";
    std::u16string text5 = u"5";
    int check1 = 0;
    int check2 = 0;
    int check3 = 0;
    int check4 = 0;
    bool option2 = true;

    std::u16string searchText() const override { return text1; }
    std::u16string replacementText() const override { return text2; }
    std::u16string layerName() const override { return text3; }
    std::u16string justificationCode() const override { return text4; }
    std::u16string heightText() const override { return text5; }
    int layerTick() const override { return check1; }
    int exactMatchTick() const override { return check2; }
    int justificationTick() const override { return check3; }
    int heightTick() const override { return check4; }
    bool newerGeneration() const override { return option2; }
};

struct FakeDrawingList final : DrawingList {
    explicit FakeDrawingList(std::vector<std::string>& journal) : journal(journal) {}
    std::vector<std::string>& journal;
    std::vector<std::u16string> entries;

    int count() const override { return static_cast<int>(entries.size()); }
    std::u16string text(int index) const override { return entries.at(index); }
    void removeAt(int index) override {
        journal.push_back("List.removeAt(" + std::to_string(index) + ")");
        entries.erase(entries.begin() + index);
    }
    void removeAll() override {
        journal.push_back("List.removeAll");
        entries.clear();
    }
};

struct FakeProgress final : ProgressWindow {
    explicit FakeProgress(std::vector<std::string>& journal) : journal(journal) {}
    std::vector<std::string>& journal;
    bool shown = false;
    bool running = false;
    std::u16string label1 = u"正在替换第   页  共   页";
    std::u16string label3;
    std::u16string label5;
    std::vector<std::u16string> label1History;

    void show() override {
        journal.push_back("Form3.show");
        shown = true;
        running = true;
    }
    void setLabel1(const std::u16string& text) override {
        journal.push_back("Form3.Label1(" + journalText(text) + ")");
        label1 = text;
        label1History.push_back(text);
    }
    void setLabel3(const std::u16string& text) override {
        journal.push_back("Form3.Label3(" + journalText(text) + ")");
        label3 = text;
    }
    void setLabel5(const std::u16string& text) override {
        journal.push_back("Form3.Label5(" + journalText(text) + ")");
        label5 = text;
    }
    void repaintNow() override { journal.push_back("Form3.repaint"); }
    void runEnded() override {
        journal.push_back("Form3.runEnded");
        running = false;
    }
};

struct FakeMainWindow final : MainWindowVisibility {
    explicit FakeMainWindow(std::vector<std::string>& journal) : journal(journal) {}
    std::vector<std::string>& journal;
    bool visible = true;
    void hideMainWindow() override {
        journal.push_back("batchfrm.hide");
        visible = false;
    }
};

struct ShownMessage {
    std::u16string text;
    std::u16string caption;
    MessageIcon icon;
    bool operator==(const ShownMessage&) const = default;
};

struct FakeMessages final : Messages {
    explicit FakeMessages(std::vector<std::string>& journal) : journal(journal) {}
    std::vector<std::string>& journal;
    std::vector<ShownMessage> shown;
    void showMessage(const std::u16string& text, const std::u16string& caption,
                     MessageIcon icon) override {
        journal.push_back("MsgBox(" + journalText(text) + "|" + journalText(caption) + ")");
        shown.push_back({text, caption, icon});
        details.emplace_back();
    }
    void showDetailedMessage(const std::u16string& text, const std::u16string& caption,
                             MessageIcon icon, const std::u16string& more) override {
        showMessage(text, caption, icon);
        details.back() = more;
    }
    std::vector<std::u16string> details;  // one per shown message, empty when none offered
};

struct FakeRunLock final : RunLock {
    bool heldElsewhere = false;
    bool held = false;
    bool tryLock() override {
        held = !heldElsewhere;
        return held;
    }
    void unlock() override { held = false; }
};

// Each reading is one second later: 10:00:01, 10:00:02, ...
struct FakeClock final : Clock {
    int readings = 0;
    std::u16string timeOfDayText() override {
        ++readings;
        const std::string text = "10:00:0" + std::to_string(readings);
        return std::u16string(text.begin(), text.end());
    }
};

struct FakeRandom final : RandomNumbers {
    explicit FakeRandom(std::vector<std::string>& journal) : journal(journal) {}
    std::vector<std::string>& journal;
    std::uint32_t value = 1000;
    void reseedFromTimer() override { journal.push_back("Random.reseed"); }
    std::uint32_t next() override { return ++value; }
};

struct FakeScriptWriter final : ScriptFileWriter {
    explicit FakeScriptWriter(std::vector<std::string>& journal) : journal(journal) {}
    std::vector<std::string>& journal;
    bool failing = false;
    std::vector<std::pair<std::u16string, std::u16string>> written;
    void writeScript(const std::u16string& path, const std::u16string& text) override {
        journal.push_back("Script.write(" + journalText(path) + "|" + journalText(text) + ")");
        if (failing) {
            throw AutomationError(75, u"路径/文件访问错误");
        }
        written.emplace_back(path, text);
    }
};

}  // namespace quorvel::engine::testing
