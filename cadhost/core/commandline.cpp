#include "cadhost/core/commandline.h"

#include "cadhost/core/hosterror.h"
#include "textcodec/utf.h"

#include <algorithm>
#include <utility>

namespace quorvel::cadhost::core {
namespace {

const std::string kCommandPrompt = "命令:";
const std::string kJustifyPrompt =
    "输入对正选项 [左(L)/对齐(A)/布满(F)/居中(C)/中间(M)/右(R)/左上(TL)/中上(TC)/右上(TR)/"
    "左中(ML)/正中(MC)/右中(MR)/左下(BL)/中下(BC)/右下(BR)]:";

// White space as Unicode has it: ASCII controls, the no-break and the wide spaces among them.
bool isSpace(char16_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

// The field without white space at either end, as UTF-8.
std::string trimmed(const std::u16string& field) {
    const auto first = std::find_if_not(field.begin(), field.end(), isSpace);
    const auto last = std::find_if_not(field.rbegin(), field.rend(), isSpace).base();
    return first < last ? textcodec::toUtf8(std::u16string_view(&*first, last - first)) : "";
}

std::string upperAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

}  // namespace

CommandLine::CommandLine(HostModel& model, CommandLineObserver* observer)
    : observer_(observer != nullptr ? *observer : fallbackObserver_),
      model_(model),
      prompt_(kCommandPrompt) {}

void CommandLine::type(std::u16string_view text) {
    // The shown input is updated once per call, not per character: a window copies it whole.
    bool changed = false;
    for (const char16_t c : text) {
        if (c == u'\r' || c == u'\n' || (c == u' ' && state_ != State::SaveName)) {
            changed = false;
            enter();
        } else if (pending_.size() < kMaxFieldLength) {
            pending_ += c;
            changed = true;
        } else {
            overlong_ = true;
        }
    }
    if (changed) {
        observer_.pendingInputChanged(pending_);
    }
}

void CommandLine::enter() {
    const std::u16string field = std::move(pending_);
    pending_.clear();
    observer_.pendingInputChanged(pending_);
    if (std::exchange(overlong_, false)) {
        // Cut short it would mean something else: the command in progress is given up.
        echo("输入超过 " + std::to_string(kMaxFieldLength) + " 个字符，已放弃。");
        if (state_ != State::Command) {
            echo(prompt_ + " *取消*");
        }
        finish();
        return;
    }
    submit(field);
}

void CommandLine::backspace() {
    if (!pending_.empty()) {
        pending_.pop_back();
        observer_.pendingInputChanged(pending_);
    }
}

void CommandLine::cancel() {
    const bool hadInput = !pending_.empty();
    pending_.clear();
    overlong_ = false;
    observer_.pendingInputChanged(pending_);
    if (state_ != State::Command || hadInput) {
        echo(prompt_ + " *取消*");
    }
    finish();
}

std::vector<std::string> CommandLine::takeFailures() {
    std::vector<std::string> taken;
    taken.swap(failures_);
    return taken;
}

void CommandLine::echo(const std::string& line) {
    observer_.lineEchoed(line);
}

void CommandLine::fail(const std::string& message) {
    echo(message);
    failures_.push_back(message);
}

void CommandLine::setState(State state, std::string prompt) {
    state_ = state;
    prompt_ = std::move(prompt);
    observer_.promptChanged(prompt_);
}

void CommandLine::finish() {
    selection_.clear();
    commandDocument_ = 0;
    setState(State::Command, kCommandPrompt);
}

void CommandLine::submit(const std::u16string& field) {
    const std::string text = textcodec::toUtf8(field);
    echo(text.empty() ? prompt_ : prompt_ + " " + text);
    switch (state_) {
        case State::Command:
            if (!text.empty()) {
                startCommand(text);
            }
            return;
        case State::FilediaValue: {
            const std::string value = trimmed(field);
            if (value == "0" || value == "1") {
                model_.setFiledia(value == "1" ? 1 : 0);
            } else if (!value.empty()) {
                echo("需要 0 或 1，FILEDIA 未修改。");
            }
            finish();
            return;
        }
        case State::JustifySelect:
            if (!text.empty()) {
                selectLast(text);
            } else if (selection_.empty()) {
                finish();
            } else {
                setState(State::JustifyOption, kJustifyPrompt);
            }
            return;
        case State::JustifyOption:
            justifySelected(trimmed(field));
            finish();
            return;
        case State::SaveName: {
            std::string path = trimmed(field);
            if (path.size() >= 2 && path.front() == '"' && path.back() == '"') {
                path = path.substr(1, path.size() - 2);
            }
            if (path.empty()) {
                echo("*取消*");
            } else {
                saveUnder(pathFromText(path));
            }
            finish();
            return;
        }
    }
}

void CommandLine::startCommand(const std::string& field) {
    std::string name = upperAscii(trimmed(textcodec::fromUtf8(field)));
    while (!name.empty() && (name.front() == '_' || name.front() == '.')) {
        name.erase(0, 1);
    }
    if (name == "FILEDIA") {
        setState(State::FilediaValue,
                 "输入 FILEDIA 的新值 <" + std::to_string(model_.filedia()) + ">:");
    } else if (name == "JUSTIFYTEXT") {
        Document* document = model_.active();
        if (document == nullptr) {
            echo("没有打开的图形。");
            return;
        }
        commandDocument_ = document->number;
        selection_.clear();
        setState(State::JustifySelect, "选择对象:");
    } else if (name == "QSAVE") {
        runQsave();
    } else {
        echo("未知命令“" + field + "”。");
    }
}

// JUSTIFYTEXT's object selection: "L" adds the last object when it is a single-line text.
void CommandLine::selectLast(const std::string& field) {
    if (field != "L" && field != "l") {
        echo("*无效选择* 输入 L 选择最后一个对象，回车结束选择。");
        return;
    }
    Document* document = model_.find(commandDocument_);
    if (document == nullptr) {
        echo("图形已关闭。");
        finish();
        return;
    }
    const auto last = document->drawing.lastObject();
    if (!last) {
        echo("找到 0 个");
        return;
    }
    if (!isSingleLineText(document->drawing.entityType(*last))) {
        echo("找到 1 个，1 个不是单行文字，已忽略。");
        return;
    }
    if (std::find(selection_.begin(), selection_.end(), *last) != selection_.end()) {
        echo("找到 1 个（1 个重复）");
        return;
    }
    selection_.push_back(*last);
    echo("找到 1 个");
}

void CommandLine::runQsave() {
    Document* document = model_.active();
    if (document == nullptr) {
        fail("没有打开的图形，无法保存。");
        return;
    }
    commandDocument_ = document->number;
    if (!document->isUntitled()) {
        saveUnder(document->filePath);
        finish();
        return;
    }
    if (model_.filedia() == 1 && askSavePath) {
        if (const auto path = askSavePath(document->name())) {
            if (path->empty()) {
                echo("*取消*");
            } else {
                saveUnder(*path);
            }
            finish();
            return;
        }
    }
    setState(State::SaveName, "输入文件名 <" + document->name() + ">:");
}

void CommandLine::saveUnder(const std::filesystem::path& path) {
    if (model_.find(commandDocument_) == nullptr) {
        fail("图形已关闭，无法保存。");
        return;
    }
    try {
        model_.saveAs(commandDocument_, path);
        echo(savedLine(path));
    } catch (const HostError& error) {
        fail(error.what());
    }
}

void CommandLine::justifySelected(const std::string& option) {
    if (option.empty()) {
        return;  // Enter keeps the current justification
    }
    Document* document = model_.find(commandDocument_);
    if (document == nullptr) {
        echo("图形已关闭。");
        return;
    }
    if (!dxf::isJustifyOption(option)) {
        echo("无效的对正选项“" + option + "”，文字未修改。");
        return;
    }
    int changed = 0;
    for (const auto id : selection_) {
        try {
            document->drawing.justify(id, option);
            ++changed;
        } catch (const dxf::DxfError& error) {
            echo(std::string("无法修改对正方式：") + error.what());
        }
    }
    if (changed > 0) {
        model_.markChanged(document->number);
    }
}

}  // namespace quorvel::cadhost::core
