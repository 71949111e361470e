#include "cadhost/core/hostmodel.h"

#include "cadhost/core/hosterror.h"

#include <algorithm>

namespace quorvel::cadhost::core {

namespace fs = std::filesystem;

bool isSingleLineText(const std::string& type) {
    return type == "TEXT" || type == "ATTRIB" || type == "ATTDEF";
}

std::string pathText(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

fs::path pathFromText(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

fs::path absolutePath(const fs::path& path) {
    std::error_code error;
    const fs::path full = fs::absolute(path, error);
    return error ? path : full.lexically_normal();
}

std::string savedLine(const fs::path& path) {
    return "图形已保存到 " + pathText(absolutePath(path));
}

namespace {

// One file whatever the spelling of its names, links included.
bool sameFile(const fs::path& first, const fs::path& second) {
    std::error_code error;
    const bool same = fs::equivalent(first, second, error);
    return error ? absolutePath(first) == absolutePath(second) : same;
}

}  // namespace

std::string Document::name() const {
    return isUntitled() ? untitledName : pathText(filePath.filename());
}

HostModel::HostModel(Release release, fs::path templatePath, ModelObserver* observer)
    : observer_(observer != nullptr ? *observer : fallbackObserver_),
      release_(release),
      templatePath_(std::move(templatePath)) {}

std::string HostModel::caption() const {
    const std::string title = "CAD 主机";
    for (const auto& document : documents_) {
        if (document->number == activeNumber_) {
            return title + " - [" + document->name() + "]";
        }
    }
    return title;
}

void HostModel::setFiledia(int value) {
    if (value == filedia_) {
        return;
    }
    filedia_ = value;
    observer_.filediaChanged(value);
}

void HostModel::setRecoveryCopies(fs::path folder, std::function<std::string()> stamp) {
    recoveryFolder_ = std::move(folder);
    recoveryStamp_ = std::move(stamp);
}

dxf::Drawing HostModel::readDrawing(const fs::path& path, bool asTemplate) const {
    const std::string shown = pathText(path);
    std::error_code error;
    if (path.empty() || !fs::exists(path, error)) {
        throw HostError(HostErrorKind::OpenFailed, "找不到文件“" + shown + "”。");
    }
    if (!fs::is_regular_file(path, error)) {
        throw HostError(HostErrorKind::OpenFailed, "“" + shown + "”不是文件。");
    }
    try {
        const fs::path file = absolutePath(path);
        return asTemplate ? dxf::Drawing::fromTemplate(file) : dxf::Drawing::load(file);
    } catch (const dxf::DxfError& failure) {
        throw HostError(HostErrorKind::OpenFailed,
                        "无法打开图形“" + shown + "”：" + failure.what());
    } catch (const std::bad_alloc&) {
        throw HostError(HostErrorKind::OpenFailed, "无法打开图形“" + shown + "”：内存不足。");
    }
}

Document& HostModel::adopt(std::unique_ptr<Document> document) {
    documents_.push_back(std::move(document));
    Document& added = *documents_.back();
    activeNumber_ = added.number;
    observer_.documentsChanged();
    observer_.activeDocumentChanged();
    return added;
}

Document& HostModel::addFromTemplate(const fs::path& templatePath) {
    const fs::path source = templatePath.empty() ? templatePath_ : templatePath;
    auto document = std::make_unique<Document>(nextNumber_, readDrawing(source, true));
    ++nextNumber_;
    document->untitledName = "Drawing" + std::to_string(nextUntitled_++) + ".dwg";
    return adopt(std::move(document));
}

void HostModel::setAsideUnsavedCopies(const fs::path& path, int except) {
    for (const auto& open : documents_) {
        if (open->number != except && !open->isUntitled() && !open->isSaved() &&
            sameFile(open->filePath, path)) {
            const std::string name = open->name();
            open->filePath = writeRecoveryCopy(*open);
            announce("图形“" + name + "”有未保存的修改，已另存为恢复副本：" +
                     pathText(open->filePath));
            observer_.documentsChanged();
            observer_.documentChanged(open->number);
        }
    }
}

fs::path HostModel::freeRecoveryPath(const Document& document) const {
    const fs::path name = pathFromText(document.name());
    const fs::path extension = name.has_extension() ? name.extension() : fs::path(".dwg");
    fs::path stem = name.stem();
    if (recoveryStamp_) {
        stem += "-" + recoveryStamp_();
    }
    const auto candidate = [&](int number) {
        fs::path copy = recoveryFolder_ / stem;
        if (number > 0) {
            copy += "-" + std::to_string(number);
        }
        copy += extension;
        return copy;
    };
    // Without a stamp every copy is numbered; with one, only those that would clash.
    int number = recoveryStamp_ ? 0 : 1;
    std::error_code error;
    while (fs::exists(candidate(number), error)) {
        number = std::max(number, 1) + 1;
    }
    return candidate(number);
}

fs::path HostModel::writeRecoveryCopy(Document& document) {
    const fs::path copy = freeRecoveryPath(document);
    const auto refused = [&](const std::string& why) {
        return HostError(HostErrorKind::OpenFailed, "图形“" + document.name() +
                                                        "”有未保存的修改，无法写入恢复副本 " +
                                                        pathText(copy) + "：" + why);
    };
    std::error_code error;
    fs::create_directories(recoveryFolder_, error);
    if (error) {
        throw refused("无法创建文件夹。");
    }
    try {
        document.drawing.save(copy);  // atomic; the drawing now belongs to the copy
    } catch (const std::exception& failure) {
        throw refused(failure.what());
    }
    return copy;
}

Document& HostModel::openNew(const fs::path& path) {
    dxf::Drawing drawing = readDrawing(path, false);  // nothing changes if this raises
    setAsideUnsavedCopies(path, 0);
    auto document = std::make_unique<Document>(nextNumber_, std::move(drawing));
    ++nextNumber_;
    document->filePath = absolutePath(path);
    return adopt(std::move(document));
}

Document& HostModel::openInto(int number, const fs::path& path) {
    Document& target = document(number);
    dxf::Drawing drawing = readDrawing(path, false);  // the old content stays if this raises
    setAsideUnsavedCopies(path, number);
    if (!target.isSaved()) {
        const fs::path copy = writeRecoveryCopy(target);  // the old content stays if this raises
        announce("图形“" + target.name() + "”有未保存的修改，已保存为恢复副本：" + pathText(copy));
    }
    target.drawing = std::move(drawing);
    target.filePath = absolutePath(path);
    target.selectionSets.clear();
    ++target.load;
    activeNumber_ = number;
    observer_.documentsChanged();
    observer_.documentChanged(number);
    observer_.activeDocumentChanged();
    return target;
}

void HostModel::save(int number) {
    Document& target = document(number);
    if (target.isUntitled()) {
        throw HostError(HostErrorKind::SaveFailed,
                        "图形“" + target.name() + "”还没有文件名，无法保存。");
    }
    saveAs(number, target.filePath);
}

void HostModel::saveAs(int number, const fs::path& path) {
    Document& target = document(number);
    const fs::path full = absolutePath(path);
    try {
        for (const std::string& note : target.drawing.save(full)) {
            announce(note);
        }
    } catch (const std::exception& failure) {
        throw HostError(HostErrorKind::SaveFailed,
                        "无法保存图形“" + pathText(full) + "”：" + failure.what());
    }
    const bool renamed = target.filePath != full;
    target.filePath = full;
    if (renamed) {
        observer_.documentsChanged();
        observer_.activeDocumentChanged();  // the caption names the file
    }
    observer_.documentChanged(number);
}

void HostModel::close(int number, bool saveChanges) {
    if (saveChanges) {
        save(number);
    }
    const auto found = std::find_if(documents_.begin(), documents_.end(),
                                    [number](const auto& d) { return d->number == number; });
    if (found == documents_.end()) {
        throw HostError(HostErrorKind::ObjectClosed, "该图形已关闭。");
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
    observer_.documentsChanged();
    observer_.activeDocumentChanged();
}

Document* HostModel::find(int number) {
    for (const auto& document : documents_) {
        if (document->number == number) {
            return document.get();
        }
    }
    return nullptr;
}

Document& HostModel::document(int number) {
    Document* found = find(number);
    if (found == nullptr) {
        throw HostError(HostErrorKind::ObjectClosed, "该图形已关闭。");
    }
    return *found;
}

Document* HostModel::active() {
    return find(activeNumber_);
}

Document& HostModel::activeOrThrow() {
    Document* found = active();
    if (found == nullptr) {
        throw HostError(HostErrorKind::NoActiveDocument, "没有打开的图形。");
    }
    return *found;
}

void HostModel::setActive(int number) {
    document(number);
    if (number == activeNumber_) {
        return;
    }
    activeNumber_ = number;
    observer_.activeDocumentChanged();
}

bool HostModel::hasUnsaved() const {
    return std::any_of(documents_.begin(), documents_.end(),
                       [](const auto& d) { return !d->isSaved(); });
}

void HostModel::markChanged(int number) {
    observer_.documentChanged(number);
}

void HostModel::announce(const std::string& line) {
    observer_.notice(line);
}

}  // namespace quorvel::cadhost::core
