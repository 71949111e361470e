#include "cadhost/standin/hostcore.h"

#include <algorithm>
#include <cctype>

#include "engine/textutil.h"

namespace quorvel::cadhost::standin {

namespace {

namespace fs = std::filesystem;

const std::string kCommandPrompt = "命令:";
const std::string kJustifyPrompt =
    "输入对正选项 [左(L)/对齐(A)/布满(F)/居中(C)/中间(M)/右(R)/左上(TL)/中上(TC)/右上(TR)/"
    "左中(ML)/正中(MC)/右中(MR)/左下(BL)/中下(BC)/右下(BR)]:";

bool isSingleLineText(const std::string& type) {
    return type == "TEXT" || type == "ATTRIB" || type == "ATTDEF";
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string upperAscii(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

fs::path absolutePath(const fs::path& path) {
    std::error_code error;
    const fs::path full = fs::absolute(path, error);
    return error ? path : full.lexically_normal();
}

}  // namespace

std::string pathText(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string Document::name() const {
    return isUntitled() ? untitledName : pathText(filePath.filename());
}

HostCore::HostCore(Release release, fs::path templatePath)
    : release_(release), templatePath_(std::move(templatePath)), prompt_(kCommandPrompt) {}

std::string HostCore::caption() const {
    std::string title = "CAD 主机";
    for (const auto& document : documents_) {
        if (document->number == activeNumber_) {
            return title + " - [" + document->name() + "]";
        }
    }
    return title;
}

dxf::Drawing HostCore::readDrawing(const fs::path& path, bool asTemplate) const {
    std::error_code error;
    if (path.empty() || !fs::exists(path, error)) {
        throw HostFailure("找不到文件“" + pathText(path) + "”。");
    }
    if (!fs::is_regular_file(path, error)) {
        throw HostFailure("“" + pathText(path) + "”不是文件。");
    }
    try {
        return asTemplate ? dxf::Drawing::fromTemplate(path) : dxf::Drawing::load(path);
    } catch (const dxf::DxfError& failure) {
        throw HostFailure("无法打开图形“" + pathText(path) + "”：" + failure.what());
    }
}

Document& HostCore::adopt(std::unique_ptr<Document> document) {
    documents_.push_back(std::move(document));
    activeNumber_ = documents_.back()->number;
    return *documents_.back();
}

Document& HostCore::addFromTemplate(const fs::path& templatePath) {
    const fs::path source = templatePath.empty() ? templatePath_ : templatePath;
    auto document = std::make_unique<Document>(nextNumber_, readDrawing(source, true));
    ++nextNumber_;
    document->untitledName = "Drawing" + std::to_string(nextUntitled_++) + ".dwg";
    return adopt(std::move(document));
}

void HostCore::setAsideUnsavedCopies(const fs::path& path, int except) {
    for (const auto& open : documents_) {
        std::error_code error;
        if (open->number != except && !open->isUntitled() && open->drawing.isModified() &&
            fs::equivalent(open->filePath, path, error)) {
            const std::string name = open->name();
            open->filePath = writeRecoveryCopy(*open);
            echo("图形“" + name + "”有未保存的修改，已另存为恢复副本：" + pathText(open->filePath));
        }
    }
}

fs::path HostCore::writeRecoveryCopy(Document& document) const {
    const std::string shown = document.name();  // one string: begin and end must match
    const fs::path name = fs::path(std::u8string(shown.begin(), shown.end()));
    const fs::path stem = name.stem();
    const fs::path extension = name.has_extension() ? name.extension() : fs::path(".dwg");
    fs::path copy;
    std::error_code error;
    for (int number = 1; copy.empty() || fs::exists(copy, error); ++number) {
        copy = recoveryFolder_ / stem;
        copy += "-" + std::to_string(number);
        copy += extension;
    }
    try {
        fs::create_directories(recoveryFolder_);
        document.drawing.save(copy);  // atomic; the drawing now belongs to the copy
    } catch (const std::exception& failure) {
        throw HostFailure("图形“" + document.name() + "”有未保存的修改，无法写入恢复副本 " +
                          pathText(copy) + "：" + failure.what());
    }
    return copy;
}

Document& HostCore::openNew(const fs::path& path) {
    dxf::Drawing drawing = readDrawing(path, false);  // nothing changes if this raises
    setAsideUnsavedCopies(path, 0);
    auto document = std::make_unique<Document>(nextNumber_, std::move(drawing));
    ++nextNumber_;
    document->filePath = absolutePath(path);
    return adopt(std::move(document));
}

Document& HostCore::openInto(int number, const fs::path& path) {
    Document& target = document(number);
    dxf::Drawing drawing = readDrawing(path, false);  // the old content stays if this raises
    setAsideUnsavedCopies(path, number);
    if (target.drawing.isModified()) {
        const fs::path copy = writeRecoveryCopy(target);  // the old content stays if this raises
        echo("图形“" + target.name() + "”有未保存的修改，已保存为恢复副本：" + pathText(copy));
    }
    target.drawing = std::move(drawing);
    target.filePath = absolutePath(path);
    target.selectionSets.clear();
    ++target.load;
    activeNumber_ = number;
    return target;
}

void HostCore::saveAs(int number, const fs::path& path) {
    Document& target = document(number);
    const fs::path full = absolutePath(path);
    try {
        target.drawing.save(full);
    } catch (const std::exception& failure) {
        throw HostFailure("无法保存图形“" + pathText(full) + "”：" + failure.what());
    }
    target.filePath = full;
}

void HostCore::close(int number, bool saveChanges) {
    if (saveChanges) {
        Document& target = document(number);
        if (target.isUntitled()) {
            throw HostFailure("图形“" + target.name() + "”还没有文件名，无法保存。");
        }
        saveAs(number, target.filePath);
    }
    const auto found = std::find_if(documents_.begin(), documents_.end(),
                                    [number](const auto& d) { return d->number == number; });
    if (found == documents_.end()) {
        throw HostFailure("该图形已关闭。");
    }
    const auto index = found - documents_.begin();
    documents_.erase(found);
    if (activeNumber_ == number) {
        activeNumber_ = 0;
        if (!documents_.empty()) {
            const auto next = std::min<std::ptrdiff_t>(index, std::ssize(documents_) - 1);
            activeNumber_ = documents_[static_cast<std::size_t>(next)]->number;
        }
    }
}

Document* HostCore::find(int number) {
    for (const auto& document : documents_) {
        if (document->number == number) {
            return document.get();
        }
    }
    return nullptr;
}

Document& HostCore::document(int number) {
    Document* found = find(number);
    if (found == nullptr) {
        throw HostFailure("该图形已关闭。");
    }
    return *found;
}

Document& HostCore::activeOrThrow() {
    Document* found = find(activeNumber_);
    if (found == nullptr) {
        throw HostFailure("没有打开的图形。");
    }
    return *found;
}

void HostCore::setActive(int number) {
    document(number);
    activeNumber_ = number;
}

SelectionSet& HostCore::addSelectionSet(Document& document, const std::string& name) {
    if (trimmed(name).empty()) {
        throw HostFailure("选择集名称不能为空。");
    }
    for (const SelectionSet& set : document.selectionSets) {
        if (upperAscii(set.name) == upperAscii(name)) {
            throw HostFailure("选择集“" + name + "”已存在。");
        }
    }
    SelectionSet set;
    set.number = document.nextSelectionSet++;
    set.name = name;
    document.selectionSets.push_back(std::move(set));
    return document.selectionSets.back();
}

// ---- the command line ------------------------------------------------------------------------

void HostCore::type(const std::u16string& text) {
    for (const char16_t c : text) {
        if (c == u'\r' || c == u'\n' || (c == u' ' && state_ != State::SaveName)) {
            enter();
        } else {
            pending_ += c;
        }
    }
}

void HostCore::enter() {
    const std::string field = engine::toUtf8(pending_);
    pending_.clear();
    submit(field);
}

void HostCore::backspace() {
    if (!pending_.empty()) {
        pending_.pop_back();
    }
}

void HostCore::cancel() {
    const bool hadInput = !pending_.empty();
    pending_.clear();
    if (state_ != State::Command || hadInput) {
        echo(prompt_ + " *取消*");
    }
    finish();
}

std::vector<std::string> HostCore::takeFailures() {
    std::vector<std::string> taken;
    taken.swap(failures_);
    return taken;
}

void HostCore::echo(const std::string& line) {
    history_.push_back(line);
}

void HostCore::fail(const std::string& message) {
    echo(message);
    failures_.push_back(message);
}

void HostCore::setState(State state, std::string prompt) {
    state_ = state;
    prompt_ = std::move(prompt);
}

void HostCore::finish() {
    selection_.clear();
    commandDocument_ = 0;
    setState(State::Command, kCommandPrompt);
}

void HostCore::submit(const std::string& field) {
    echo(field.empty() ? prompt_ : prompt_ + " " + field);
    switch (state_) {
        case State::Command:
            if (!field.empty()) {
                startCommand(field);
            }
            return;
        case State::FilediaValue: {
            const std::string value = trimmed(field);
            if (value == "0" || value == "1") {
                filedia_ = value == "1" ? 1 : 0;
            } else if (!value.empty()) {
                echo("需要 0 或 1，FILEDIA 未修改。");
            }
            finish();
            return;
        }
        case State::JustifySelect: {
            if (field.empty()) {
                if (selection_.empty()) {
                    finish();
                } else {
                    setState(State::JustifyOption, kJustifyPrompt);
                }
                return;
            }
            if (upperAscii(field) != "L") {
                echo("*无效选择* 输入 L 选择最后一个对象，回车结束选择。");
                return;
            }
            Document* document = find(commandDocument_);
            if (document == nullptr) {
                echo("图形已关闭。");
                finish();
                return;
            }
            const auto last = document->drawing.lastObject();
            if (!last || !isSingleLineText(document->drawing.entityType(*last))) {
                echo(last ? "找到 1 个，1 个不是单行文字，已忽略。" : "找到 0 个");
                return;
            }
            if (std::find(selection_.begin(), selection_.end(), *last) == selection_.end()) {
                selection_.push_back(*last);
            }
            echo("找到 1 个");
            return;
        }
        case State::JustifyOption: {
            const std::string option = trimmed(field);
            Document* document = find(commandDocument_);
            if (!option.empty() && document != nullptr) {
                if (!dxf::isJustifyOption(option)) {
                    echo("无效的对正选项“" + option + "”，文字未修改。");
                } else {
                    for (const auto id : selection_) {
                        try {
                            document->drawing.justify(id, option);
                        } catch (const dxf::DxfError& failure) {
                            echo(std::string("无法修改对正方式：") + failure.what());
                        }
                    }
                }
            }
            finish();
            return;
        }
        case State::SaveName: {
            std::string path = trimmed(field);
            if (path.size() >= 2 && path.front() == '"' && path.back() == '"') {
                path = path.substr(1, path.size() - 2);
            }
            if (path.empty()) {
                echo("*取消*");
            } else {
                saveUnder(fs::path(std::u8string(path.begin(), path.end())));
            }
            finish();
            return;
        }
    }
}

void HostCore::startCommand(const std::string& field) {
    std::string name = upperAscii(trimmed(field));
    while (!name.empty() && (name.front() == '_' || name.front() == '.')) {
        name.erase(0, 1);
    }
    if (name == "FILEDIA") {
        setState(State::FilediaValue, "输入 FILEDIA 的新值 <" + std::to_string(filedia_) + ">:");
    } else if (name == "JUSTIFYTEXT") {
        Document* document = find(activeNumber_);
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

void HostCore::runQsave() {
    Document* document = find(activeNumber_);
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
    // No file dialog in the stand-in: the name is asked on the command line.
    setState(State::SaveName, "输入文件名 <" + document->name() + ">:");
}

void HostCore::saveUnder(const fs::path& path) {
    if (find(commandDocument_) == nullptr) {
        fail("图形已关闭，无法保存。");
        return;
    }
    try {
        saveAs(commandDocument_, path);
        echo("图形已保存到 " + pathText(absolutePath(path)));
    } catch (const HostFailure& failure) {
        fail(failure.what());
    }
}

}  // namespace quorvel::cadhost::standin
