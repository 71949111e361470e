#include "platform/scriptfilewriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "engine/automation.h"
#include "textcodec/codepage936.h"

namespace quorvel::platform {

namespace {

bool writeBytes(const QString& path, const std::string& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    const auto size = static_cast<qint64>(bytes.size());
    const bool written = file.write(bytes.data(), size) == size;
    return file.flush() && written;
}

}  // namespace

CodePageScriptFileWriter::CodePageScriptFileWriter(QString fallbackFolder)
    : fallbackFolder_(std::move(fallbackFolder)) {}

void CodePageScriptFileWriter::writeScript(const std::u16string& path, const std::u16string& text) {
    const std::string bytes = codepage::toCodePage936(text);
    const QString wanted = QString::fromStdU16String(path);
    if (writeBytes(wanted, bytes)) {
        lastWrittenPath_ = wanted;
        return;
    }
    const QString folder = fallbackFolder_.isEmpty()
                               ? QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
                               : fallbackFolder_;
    const QString fallback = QDir(folder).filePath(QFileInfo(wanted).fileName());
    if (!folder.isEmpty() && QDir().mkpath(folder) && writeBytes(fallback, bytes)) {
        lastWrittenPath_ = fallback;
        return;
    }
    throw engine::AutomationError(75, u"路径/文件访问错误");
}

}  // namespace quorvel::platform
