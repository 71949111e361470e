#pragma once
#include <QString>

#include "engine/services.h"

namespace quorvel::platform {

// Writes batch.scr: the text in code page 936, no line end, replacing an older file. An
// installed program's folder is read-only for its users, so when the file cannot be written
// there it goes to the fallback folder (the user's data folder) under the same name.
class CodePageScriptFileWriter final : public engine::ScriptFileWriter {
public:
    // An empty fallback folder means QStandardPaths::AppDataLocation.
    explicit CodePageScriptFileWriter(QString fallbackFolder = {});

    void writeScript(const std::u16string& path, const std::u16string& text) override;

    // Where the last script went.
    QString lastWrittenPath() const { return lastWrittenPath_; }

private:
    QString fallbackFolder_;
    QString lastWrittenPath_;
};

}  // namespace quorvel::platform
