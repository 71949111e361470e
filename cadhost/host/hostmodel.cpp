#include "cadhost/host/hostmodel.h"

#include "cadhost/host/hosterror.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

#include <sys/stat.h>

namespace quorvel::cadhost {

std::filesystem::path toFsPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

namespace {

// One file whatever the spelling of its names, links included.
bool sameFile(const QString& first, const QString& second) {
    struct stat a {};
    struct stat b {};
    if (::stat(QFile::encodeName(first).constData(), &a) == 0 &&
        ::stat(QFile::encodeName(second).constData(), &b) == 0) {
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    }
    return QFileInfo(first).absoluteFilePath() == QFileInfo(second).absoluteFilePath();
}

}  // namespace

QString HostDocument::name() const {
    return isUntitled() ? untitledName : QFileInfo(filePath).fileName();
}

HostModel::HostModel(Release release, QString templatePath, QObject* parent)
    : QObject(parent), release_(release), templatePath_(std::move(templatePath)) {}

HostModel::~HostModel() = default;

QString HostModel::caption() const {
    const QString title = QStringLiteral("CAD 主机");
    for (const auto& document : documents_) {
        if (document->number == activeNumber_) {
            return title + QStringLiteral(" - [") + document->name() + QStringLiteral("]");
        }
    }
    return title;
}

void HostModel::setFiledia(int value) {
    if (value == filedia_) {
        return;
    }
    filedia_ = value;
    emit filediaChanged(value);
}

dxf::Drawing HostModel::readDrawing(const QString& path, bool asTemplate) const {
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists()) {
        throw HostError(HostErrorKind::OpenFailed, QStringLiteral("找不到文件“%1”。").arg(path));
    }
    if (!info.isFile()) {
        throw HostError(HostErrorKind::OpenFailed, QStringLiteral("“%1”不是文件。").arg(path));
    }
    try {
        const auto file = toFsPath(info.absoluteFilePath());
        return asTemplate ? dxf::Drawing::fromTemplate(file) : dxf::Drawing::load(file);
    } catch (const dxf::DxfError& error) {
        throw HostError(
            HostErrorKind::OpenFailed,
            QStringLiteral("无法打开图形“%1”：%2").arg(path, QString::fromUtf8(error.what())));
    } catch (const std::bad_alloc&) {
        throw HostError(HostErrorKind::OpenFailed,
                        QStringLiteral("无法打开图形“%1”：内存不足。").arg(path));
    }
}

HostDocument& HostModel::adopt(std::unique_ptr<HostDocument> document) {
    documents_.push_back(std::move(document));
    HostDocument& added = *documents_.back();
    activeNumber_ = added.number;
    emit documentsChanged();
    emit activeDocumentChanged();
    return added;
}

HostDocument& HostModel::addFromTemplate(const QString& templatePath) {
    const QString source = templatePath.isEmpty() ? templatePath_ : templatePath;
    auto document = std::make_unique<HostDocument>(nextNumber_, readDrawing(source, true));
    ++nextNumber_;
    document->untitledName = QStringLiteral("Drawing%1.dwg").arg(nextUntitled_++);
    return adopt(std::move(document));
}

void HostModel::setAsideUnsavedCopies(const QString& path, int except) {
    for (const auto& open : documents_) {
        if (open->number != except && !open->isUntitled() && !open->isSaved() &&
            sameFile(open->filePath, path)) {
            const QString name = open->name();
            open->filePath = writeRecoveryCopy(*open);
            emit notice(QStringLiteral("图形“%1”有未保存的修改，已另存为恢复副本：%2")
                            .arg(name, open->filePath));
            emit documentsChanged();
            emit documentChanged(open->number);
        }
    }
}

QString HostModel::recoveryFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/cad-host/recovery");
}

QString HostModel::writeRecoveryCopy(HostDocument& document) {
    const QString folder = recoveryFolder();
    const QFileInfo name(document.name());
    const QString suffix = name.suffix().isEmpty() ? QStringLiteral("dwg") : name.suffix();
    const QString stem = name.completeBaseName() + u'-' +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString path = QStringLiteral("%1/%2.%3").arg(folder, stem, suffix);
    for (int copy = 2; QFileInfo::exists(path); ++copy) {
        path = QStringLiteral("%1/%2-%3.%4").arg(folder, stem).arg(copy).arg(suffix);
    }
    const auto refused = [&](const QString& why) {
        return HostError(HostErrorKind::OpenFailed,
                         QStringLiteral("图形“%1”有未保存的修改，无法写入恢复副本 %2：%3")
                             .arg(document.name(), path, why));
    };
    if (!QDir().mkpath(folder)) {
        throw refused(QStringLiteral("无法创建文件夹。"));
    }
    try {
        document.drawing.save(toFsPath(path));  // atomic; the drawing now belongs to the copy
    } catch (const std::exception& error) {
        throw refused(QString::fromUtf8(error.what()));
    }
    return path;
}

HostDocument& HostModel::openNew(const QString& path) {
    dxf::Drawing drawing = readDrawing(path, false);  // nothing changes if this raises
    setAsideUnsavedCopies(path, 0);
    auto document = std::make_unique<HostDocument>(nextNumber_, std::move(drawing));
    ++nextNumber_;
    document->filePath = QFileInfo(path).absoluteFilePath();
    return adopt(std::move(document));
}

HostDocument& HostModel::openInto(int number, const QString& path) {
    HostDocument& target = document(number);
    dxf::Drawing drawing = readDrawing(path, false);  // the old content stays if this raises
    setAsideUnsavedCopies(path, number);
    if (!target.isSaved()) {
        const QString copy = writeRecoveryCopy(target);  // the old content stays if this raises
        emit notice(QStringLiteral("图形“%1”有未保存的修改，已保存为恢复副本：%2")
                        .arg(target.name(), copy));
    }
    target.drawing = std::move(drawing);
    target.filePath = QFileInfo(path).absoluteFilePath();
    target.selectionSets.clear();
    ++target.load;
    activeNumber_ = number;
    emit documentsChanged();
    emit documentChanged(number);
    emit activeDocumentChanged();
    return target;
}

void HostModel::save(int number) {
    HostDocument& target = document(number);
    if (target.isUntitled()) {
        throw HostError(HostErrorKind::SaveFailed,
                        QStringLiteral("图形“%1”还没有文件名，无法保存。").arg(target.name()));
    }
    saveAs(number, target.filePath);
}

void HostModel::saveAs(int number, const QString& path) {
    HostDocument& target = document(number);
    const QString absolute = QFileInfo(path).absoluteFilePath();
    try {
        for (const std::string& note : target.drawing.save(toFsPath(absolute)))
            emit notice(QString::fromStdString(note));
    } catch (const dxf::DxfError& error) {
        throw HostError(
            HostErrorKind::SaveFailed,
            QStringLiteral("无法保存图形“%1”：%2").arg(absolute, QString::fromUtf8(error.what())));
    } catch (const std::exception& error) {
        throw HostError(
            HostErrorKind::SaveFailed,
            QStringLiteral("无法保存图形“%1”：%2").arg(absolute, QString::fromUtf8(error.what())));
    }
    const bool renamed = target.filePath != absolute;
    target.filePath = absolute;
    if (renamed) {
        emit documentsChanged();
        emit activeDocumentChanged();  // the caption names the file
    }
    emit documentChanged(number);
}

void HostModel::close(int number, bool saveChanges) {
    if (saveChanges) {
        save(number);
    }
    const auto found = std::find_if(documents_.begin(), documents_.end(),
                                    [number](const auto& d) { return d->number == number; });
    if (found == documents_.end()) {
        throw HostError(HostErrorKind::ObjectClosed, QStringLiteral("该图形已关闭。"));
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
    emit documentsChanged();
    emit activeDocumentChanged();
}

HostDocument* HostModel::find(int number) {
    for (const auto& document : documents_) {
        if (document->number == number) {
            return document.get();
        }
    }
    return nullptr;
}

HostDocument& HostModel::document(int number) {
    HostDocument* found = find(number);
    if (found == nullptr) {
        throw HostError(HostErrorKind::ObjectClosed, QStringLiteral("该图形已关闭。"));
    }
    return *found;
}

HostDocument* HostModel::active() {
    return find(activeNumber_);
}

HostDocument& HostModel::activeOrThrow() {
    HostDocument* found = active();
    if (found == nullptr) {
        throw HostError(HostErrorKind::NoActiveDocument, QStringLiteral("没有打开的图形。"));
    }
    return *found;
}

void HostModel::setActive(int number) {
    document(number);
    if (number == activeNumber_) {
        return;
    }
    activeNumber_ = number;
    emit activeDocumentChanged();
}

bool HostModel::hasUnsaved() const {
    return std::any_of(documents_.begin(), documents_.end(),
                       [](const auto& d) { return !d->isSaved(); });
}

void HostModel::markChanged(int number) {
    emit documentChanged(number);
}

}  // namespace quorvel::cadhost
