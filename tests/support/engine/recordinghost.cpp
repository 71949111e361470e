#include "tests/support/engine/recordinghost.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "engine/textutil.h"

namespace quorvel::engine::testing {

namespace {

std::u16string lower(std::u16string text) {
    for (char16_t& unit : text) {
        if (unit >= u'A' && unit <= u'Z') {
            unit = static_cast<char16_t>(unit - u'A' + u'a');
        }
    }
    return text;
}

std::u16string upper(std::u16string text) {
    for (char16_t& unit : text) {
        if (unit >= u'a' && unit <= u'z') {
            unit = static_cast<char16_t>(unit - u'a' + u'A');
        }
    }
    return text;
}

[[noreturn]] void fail(std::u16string description) {
    throw AutomationError(kErrorAutomation, std::move(description));
}

std::string describeValue(const FilterValue& value) {
    if (const auto* text = std::get_if<std::u16string>(&value)) {
        return "'" + journalText(*text) + "'";
    }
    if (const auto* small = std::get_if<std::int16_t>(&value)) {
        return std::to_string(*small);
    }
    if (const auto* whole = std::get_if<std::int32_t>(&value)) {
        return std::to_string(*whole);
    }
    return std::to_string(std::get<double>(value));
}

class RecordedText final : public TextEntity {
public:
    RecordedText(RecordingHost& host, std::shared_ptr<DocumentState> document, int handle)
        : host_(host), document_(std::move(document)), handle_(handle) {}

    std::u16string TextString() override {
        enter("TextString");
        return record().text;
    }
    void setTextString(const std::u16string& text) override {
        enter("setTextString", text, true);
        record().text = text;
        document_->modified = true;
    }
    std::shared_ptr<TextEntity> Copy() override {
        enter("Copy");
        TextRecord duplicate = record();
        duplicate.handle = host_.nextHandle++;
        document_->entities.push_back(duplicate);
        document_->modified = true;
        return std::make_shared<RecordedText>(host_, document_, duplicate.handle);
    }
    void erase() override {
        enter("erase");
        auto& entities = document_->entities;
        entities.erase(entities.begin() + (&record() - entities.data()));
        document_->modified = true;
    }
    void setHeight(double height) override {
        enter("setHeight", journalTextFromNumber(height), true);
        if (!std::isfinite(height) || height <= 0) {
            fail(u"高度必须为正数");
        }
        record().height = height;
        document_->modified = true;
    }

private:
    static std::u16string journalTextFromNumber(double value) {
        std::string digits = std::to_string(value);
        digits.erase(digits.find_last_not_of('0') + 1);
        if (!digits.empty() && digits.back() == '.') {
            digits.pop_back();
        }
        return std::u16string(digits.begin(), digits.end());
    }
    void enter(const std::string& member, const std::u16string& argument = {},
               bool hasArgument = false) {
        host_.enter("Text#" + std::to_string(handle_) + "." + member, argument, hasArgument);
    }
    TextRecord& record() {
        if (document_->closed) {
            fail(u"图形已关闭");
        }
        for (TextRecord& entity : document_->entities) {
            if (entity.handle == handle_) {
                return entity;
            }
        }
        fail(u"对象已被删除");
    }

    RecordingHost& host_;
    std::shared_ptr<DocumentState> document_;
    int handle_;
};

class RecordedSelectionSet final : public SelectionSet {
public:
    RecordedSelectionSet(RecordingHost& host, std::shared_ptr<DocumentState> document)
        : host_(host), document_(std::move(document)) {}

    void Select(std::int32_t mode, const std::optional<Point3>& corner1,
                const std::optional<Point3>& corner2, const std::vector<std::int16_t>& filterTypes,
                const std::vector<FilterValue>& filterValues) override {
        std::u16string described = fromUtf8(std::to_string(mode));
        for (std::size_t i = 0; i < filterTypes.size(); ++i) {
            described += u',';
            described += fromUtf8(std::to_string(filterTypes[i]));
            if (i < filterValues.size()) {
                described += u'=';
                described += fromUtf8(describeValue(filterValues[i]));
            }
        }
        host_.enter("SelectionSet.Select", described, true);
        host_.selects.push_back(
            {mode, corner1.has_value(), corner2.has_value(), filterTypes, filterValues});
        if (mode != kSelectAll || corner1 || corner2 || filterTypes.size() != filterValues.size()) {
            fail(u"选择参数无效");
        }
        selected_.clear();
        for (const TextRecord& entity : document_->entities) {
            if (passes(entity, filterTypes, filterValues)) {
                selected_.push_back(entity.handle);
            }
        }
    }

    std::vector<std::shared_ptr<TextEntity>> entities() override {
        host_.enter("SelectionSet.entities");
        std::vector<std::shared_ptr<TextEntity>> result;
        for (int handle : selected_) {
            result.push_back(std::make_shared<RecordedText>(host_, document_, handle));
        }
        return result;
    }

private:
    static bool passes(const TextRecord& entity, const std::vector<std::int16_t>& types,
                       const std::vector<FilterValue>& values) {
        for (std::size_t i = 0; i < types.size(); ++i) {
            const auto* text = std::get_if<std::u16string>(&values[i]);
            if (!text) {
                fail(u"过滤值类型无效");
            }
            if (types[i] == 0) {
                if (lower(entity.type) != lower(*text)) {
                    return false;
                }
            } else if (types[i] == 8) {
                if (lower(entity.layer) != lower(*text)) {
                    return false;
                }
            } else {
                fail(u"不支持的过滤类型");
            }
        }
        return true;
    }

    RecordingHost& host_;
    std::shared_ptr<DocumentState> document_;
    std::vector<int> selected_;
};

class RecordedSelectionSets final : public SelectionSets {
public:
    RecordedSelectionSets(RecordingHost& host, std::shared_ptr<DocumentState> document)
        : host_(host), document_(std::move(document)) {}

    std::shared_ptr<SelectionSet> Add(const std::u16string& name) override {
        host_.enter("SelectionSets.Add", name, true);
        host_.selectionSetNames.push_back(name);
        if (name.empty() || !document_->selectionSetNames.insert(name).second) {
            fail(u"选择集名称无效或重复");
        }
        return std::make_shared<RecordedSelectionSet>(host_, document_);
    }

private:
    RecordingHost& host_;
    std::shared_ptr<DocumentState> document_;
};

class RecordedObject final : public AutomationObject {};

class RecordedDocument final : public Document {
public:
    RecordedDocument(RecordingHost& host, std::shared_ptr<DocumentState> state)
        : host_(host), state_(std::move(state)) {}

    std::shared_ptr<Document> Open(const std::u16string& path) override {
        host_.enter("Document.Open", path, true);
        usable();
        state_->entities = host_.readFile(path);
        state_->path = path;
        state_->selectionSetNames.clear();
        state_->modified = false;
        host_.active = state_;
        return std::make_shared<RecordedDocument>(host_, state_);
    }
    std::shared_ptr<AutomationObject> ModelSpace() override {
        host_.enter("Document.ModelSpace");
        usable();
        return std::make_shared<RecordedObject>();
    }
    std::shared_ptr<AutomationObject> PaperSpace() override {
        host_.enter("Document.PaperSpace");
        usable();
        return std::make_shared<RecordedObject>();
    }
    std::shared_ptr<AutomationObject> Utility() override {
        host_.enter("Document.Utility");
        usable();
        return std::make_shared<RecordedObject>();
    }
    void SendCommand(const std::u16string& text) override {
        host_.enter("Document.SendCommand", text, true);
        usable();
        host_.commands.push_back(text);
        host_.runCommandLine(text, u'\r');
    }
    std::shared_ptr<engine::SelectionSets> SelectionSets() override {
        host_.enter("Document.SelectionSets");
        usable();
        return std::make_shared<RecordedSelectionSets>(host_, state_);
    }
    void Close(bool saveChanges) override {
        host_.enter("Document.Close", saveChanges ? u"true" : u"false", true);
        usable();
        if (saveChanges) {
            if (state_->path.empty()) {
                fail(u"未命名图形不能保存");
            }
            host_.files[host_.resolve(state_->path)] = state_->entities;
            host_.savedPaths.push_back(state_->path);
        }
        state_->closed = true;
        auto& open = host_.documents;
        open.erase(std::remove(open.begin(), open.end(), state_), open.end());
        if (host_.active == state_) {
            host_.active = open.empty() ? nullptr : open.back();
        }
    }
    std::u16string FullName() override {
        host_.enter("Document.FullName");
        usable();
        return state_->path;
    }
    bool Saved() override {
        host_.enter("Document.Saved");
        usable();
        return !state_->modified;
    }

private:
    void usable() const {
        if (state_->closed) {
            fail(u"图形已关闭");
        }
    }

    RecordingHost& host_;
    std::shared_ptr<DocumentState> state_;
};

class RecordedDocuments final : public Documents {
public:
    explicit RecordedDocuments(RecordingHost& host) : host_(host) {}

    std::shared_ptr<Document> Add(const std::u16string& templatePath) override {
        host_.enter("Documents.Add", templatePath, true);
        return std::make_shared<RecordedDocument>(host_, host_.openNew({}, {}, templatePath));
    }
    std::shared_ptr<Document> Open(const std::u16string& path) override {
        host_.enter("Documents.Open", path, true);
        const Drawing drawing = host_.readFile(path);
        for (const auto& open : host_.documents) {
            if (host_.refusesOpenTwice && !open->path.empty() &&
                host_.resolve(open->path) == host_.resolve(path)) {
                fail(u"图形已经打开");
            }
        }
        return std::make_shared<RecordedDocument>(host_, host_.openNew(path, drawing, {}));
    }
    std::vector<std::shared_ptr<Document>> items() override {
        host_.enter("Documents.items");
        std::vector<std::shared_ptr<Document>> open;
        for (const auto& state : host_.documents) {
            open.push_back(std::make_shared<RecordedDocument>(host_, state));
        }
        return open;
    }

private:
    RecordingHost& host_;
};

class RecordedApplication final : public Application {
public:
    explicit RecordedApplication(RecordingHost& host) : host_(host) {}

    void setVisible(bool visible) override {
        host_.enter("Application.Visible", visible ? u"true" : u"false", true);
        host_.visible = visible;
    }
    std::u16string Caption() override {
        host_.enter("Application.Caption");
        return host_.caption;
    }
    std::u16string FullName() override {
        host_.enter("Application.FullName");
        return host_.fullName;
    }
    std::shared_ptr<Document> ActiveDocument() override {
        host_.enter("Application.ActiveDocument");
        if (!host_.active) {
            fail(u"没有活动图形");
        }
        return std::make_shared<RecordedDocument>(host_, host_.active);
    }
    std::shared_ptr<engine::Documents> Documents() override {
        host_.enter("Application.Documents");
        return std::make_shared<RecordedDocuments>(host_);
    }

private:
    RecordingHost& host_;
};

class RecordedConnector final : public HostConnector {
public:
    explicit RecordedConnector(RecordingHost& host) : host_(host) {}

    std::shared_ptr<Application> attachRunning(const std::u16string& progId) override {
        host_.enter("Connector.attachRunning", progId, true);
        if (!host_.running) {
            throw AutomationError(429, u"ActiveX 部件不能创建对象");
        }
        return host_.application();
    }
    std::shared_ptr<Application> create(const std::u16string& progId) override {
        host_.enter("Connector.create", progId, true);
        if (!host_.installed) {
            throw AutomationError(429, host_.createFailureDescription);
        }
        host_.running = true;
        ++host_.instancesStarted;
        // A new host starts with one untitled drawing, so there is an active document.
        host_.openNew({}, {}, {});
        return host_.application();
    }

private:
    RecordingHost& host_;
};

class RecordedWindowControl final : public WindowControl {
public:
    explicit RecordedWindowControl(RecordingHost& host) : host_(host) {}

    void activateByTitle(const std::u16string& title) override {
        host_.enter("Window.activateByTitle", title, true);
        if (!host_.running || host_.caption.compare(0, title.size(), title) != 0) {
            throw AutomationError(kErrorInvalidCall, u"无效的过程调用或参数");
        }
        host_.windowActivated = true;
    }
    void sendKeys(const std::u16string& keys, bool wait) override {
        host_.enter(wait ? "Window.sendKeys+wait" : "Window.sendKeys", keys, true);
        host_.keystrokes.push_back(keys);
        if (host_.windowActivated && !host_.keysSwallowed) {
            host_.runCommandLine(keys, u'~');
        }
    }

private:
    RecordingHost& host_;
};

class RecordedFileStamps final : public FileStamps {
public:
    explicit RecordedFileStamps(RecordingHost& host) : host_(host) {}

    std::optional<FileStamp> stamp(const std::u16string& path) override {
        const std::u16string file = host_.resolve(path);
        const auto found = host_.files.find(file);
        if (found == host_.files.end()) {
            return std::nullopt;
        }
        const auto saves = std::count_if(
            host_.savedPaths.begin(), host_.savedPaths.end(),
            [&](const std::u16string& saved) { return host_.resolve(saved) == file; });
        return FileStamp{1, std::hash<std::u16string>{}(file),
                         static_cast<std::int64_t>(found->second.size()), saves};
    }

private:
    RecordingHost& host_;
};

}  // namespace

std::string journalText(const std::u16string& text) {
    std::string out;
    for (char16_t unit : text) {
        if (unit == u'\r') {
            out += "<CR>";
        } else {
            out += toUtf8(std::u16string(1, unit));
        }
    }
    return out;
}

RecordingHost::RecordingHost(Generation generation) : RecordingHost(ownJournal_, generation) {}

RecordingHost::RecordingHost(std::vector<std::string>& sharedJournal, Generation generation)
    : journal(sharedJournal), generation_(generation) {
    connector_ = std::make_unique<RecordedConnector>(*this);
    windowControl_ = std::make_unique<RecordedWindowControl>(*this);
    fileStamps_ = std::make_unique<RecordedFileStamps>(*this);
    application_ = std::make_shared<RecordedApplication>(*this);
    if (generation_ == Generation::R14) {
        // The older host has no documents collection and no command method.
        lackMember("Application.Documents");
        lackMember("Document.SendCommand");
    }
}

RecordingHost::~RecordingHost() = default;

void RecordingHost::addFile(const std::u16string& path, Drawing drawing) {
    for (TextRecord& entity : drawing) {
        entity.handle = nextHandle++;
    }
    files[path] = std::move(drawing);
}

void RecordingHost::lackMember(const std::string& member) {
    lacking_.insert(member);
}

void RecordingHost::failAt(const std::string& member, int occurrence, std::int32_t number,
                           std::u16string description) {
    failures_[member].push_back({occurrence, number, std::move(description)});
}

HostConnector& RecordingHost::connector() {
    return *connector_;
}
WindowControl& RecordingHost::windowControl() {
    return *windowControl_;
}
std::shared_ptr<Application> RecordingHost::application() {
    return application_;
}
FileStamps& RecordingHost::fileStamps() {
    return *fileStamps_;
}

void RecordingHost::enter(const std::string& member, const std::u16string& argument,
                          bool hasArgument) {
    journal.push_back(hasArgument ? member + "(" + journalText(argument) + ")" : member);
    // Members of text entities are configured without their handle: "Text.Copy".
    std::string key = member;
    if (key.rfind("Text#", 0) == 0) {
        key = "Text" + key.substr(key.find('.'));
    }
    if (key.rfind("Window.sendKeys", 0) == 0) {
        key = "Window.sendKeys";
    }
    const int count = ++callCounts_[key];
    if (lacking_.count(key)) {
        throw AutomationError(kErrorMemberNotSupported, u"对象不支持该属性或方法");
    }
    for (const Failure& failure : failures_[key]) {
        if (failure.occurrence == count) {
            throw AutomationError(failure.number, failure.description);
        }
    }
}

std::u16string RecordingHost::resolve(const std::u16string& path) const {
    const auto link = links.find(path);
    return link == links.end() ? path : link->second;
}

Drawing RecordingHost::readFile(const std::u16string& path) {
    const auto found = files.find(resolve(path));
    if (found == files.end()) {
        fail(u"无法打开图形文件");
    }
    Drawing drawing = found->second;
    // Every reading gives fresh objects.
    for (TextRecord& entity : drawing) {
        entity.handle = nextHandle++;
    }
    return drawing;
}

std::shared_ptr<DocumentState> RecordingHost::openNew(const std::u16string& path,
                                                      const Drawing& drawing,
                                                      const std::u16string& templatePath) {
    auto state = std::make_shared<DocumentState>();
    state->id = static_cast<int>(documents.size()) + 1;
    state->path = path;
    state->templatePath = templatePath;
    state->entities = drawing;
    documents.push_back(state);
    active = state;
    return state;
}

void RecordingHost::saveActive() {
    if (!active || active->path.empty()) {
        fail(u"没有可保存的图形");
    }
    files[resolve(active->path)] = active->entities;
    active->modified = false;
    savedPaths.push_back(active->path);
}

void RecordingHost::runCommandLine(const std::u16string& typed, char16_t fieldEnd) {
    // Nothing is ever left waiting here, so an Escape has nothing to cancel.
    std::u16string text = typed;
    for (auto at = text.find(u"{ESC}"); at != std::u16string::npos; at = text.find(u"{ESC}")) {
        text.erase(at, 5);
    }
    std::vector<std::u16string> fields;
    std::u16string field;
    for (char16_t unit : text) {
        if (unit == fieldEnd) {
            fields.push_back(field);
            field.clear();
        } else {
            field += unit;
        }
    }
    if (!field.empty()) {
        fields.push_back(field);
    }
    std::size_t at = 0;
    auto next = [&]() -> std::u16string { return at < fields.size() ? fields[at++] : u""; };
    while (at < fields.size()) {
        const std::u16string command = lower(next());
        if (command == u"filedia") {
            fileDialogs = next() == u"0" ? 0 : 1;
        } else if (command == u"qsave") {
            saveActive();
        } else if (command == u"justifytext") {
            const std::u16string objects = lower(next());
            next();  // end of the object selection
            const std::u16string code = upper(next());
            if (objects == u"l" && active && !active->entities.empty()) {
                active->entities.back().justification = code;
                active->modified = true;
            }
        } else {
            unknownCommands.push_back(command);
        }
    }
}

}  // namespace quorvel::engine::testing
