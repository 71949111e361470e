#include "cadhost/host/hostmodel.h"

#include <QDateTime>
#include <QFile>
#include <QStandardPaths>

namespace quorvel::cadhost {

std::filesystem::path toFsPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

QString fromFsPath(const std::filesystem::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

namespace {

// Where recovery copies go: the user's data folder of the host.
QString recoveryFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/cad-host/recovery");
}

}  // namespace

QString fileOrName(const HostDocument& document) {
    return document.isUntitled() ? QString::fromStdString(document.name())
                                 : fromFsPath(document.filePath);
}

HostModel::HostModel(Release release, const QString& templatePath, QObject* parent)
    : QObject(parent), core_(release, toFsPath(templatePath), &relay_) {
    core_.setRecoveryCopies(toFsPath(recoveryFolder()), [] {
        return QDateTime::currentDateTime()
            .toString(QStringLiteral("yyyyMMdd-HHmmss"))
            .toStdString();
    });
}

HostModel::~HostModel() = default;

HostDocument& HostModel::addFromTemplate(const QString& templatePath) {
    return core_.addFromTemplate(toFsPath(templatePath));
}

HostDocument& HostModel::openNew(const QString& path) {
    return core_.openNew(toFsPath(path));
}

HostDocument& HostModel::openInto(int number, const QString& path) {
    return core_.openInto(number, toFsPath(path));
}

void HostModel::saveAs(int number, const QString& path) {
    core_.saveAs(number, toFsPath(path));
}

}  // namespace quorvel::cadhost
