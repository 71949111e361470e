#include "cadhost/host/commandinterpreter.h"

#include "cadhost/host/hostmodel.h"

namespace quorvel::cadhost {
namespace {

std::u16string_view utf16(const QString& text) {
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

QString fromUtf16(const std::u16string& text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CommandInterpreter::CommandInterpreter(HostModel& model, QObject* parent)
    : QObject(parent), commandLine_(model.core(), &relay_) {
    commandLine_.askSavePath =
        [this](const std::string& suggestedName) -> std::optional<std::filesystem::path> {
        if (!askSavePath) {
            return std::nullopt;
        }
        const auto path = askSavePath(QString::fromStdString(suggestedName));
        if (!path) {
            return std::nullopt;
        }
        return path->isEmpty() ? std::filesystem::path() : toFsPath(*path);
    };
}

void CommandInterpreter::type(const QString& text) {
    commandLine_.type(utf16(text));
}

void CommandInterpreter::typeKeys(const std::vector<KeyStroke>& strokes) {
    QString characters;
    const auto typeCharacters = [&] {
        if (!characters.isEmpty()) {
            type(characters);
            characters.clear();
        }
    };
    for (const KeyStroke& stroke : strokes) {
        if (stroke.kind == KeyStroke::Kind::Character) {
            characters += stroke.character;
            continue;
        }
        typeCharacters();
        switch (stroke.kind) {
            case KeyStroke::Kind::Enter:
                enter();
                break;
            case KeyStroke::Kind::Escape:
                cancel();
                break;
            case KeyStroke::Kind::Backspace:
                backspace();
                break;
            case KeyStroke::Kind::Character:
                break;
        }
    }
    typeCharacters();
}

QString CommandInterpreter::pendingInput() const {
    return fromUtf16(commandLine_.pendingInput());
}

QStringList CommandInterpreter::takeFailures() {
    QStringList failures;
    for (const std::string& failure : commandLine_.takeFailures()) {
        failures.append(QString::fromStdString(failure));
    }
    return failures;
}

void CommandInterpreter::Relay::lineEchoed(const std::string& line) {
    emit owner_.lineEchoed(QString::fromStdString(line));
}

void CommandInterpreter::Relay::promptChanged(const std::string& prompt) {
    emit owner_.promptChanged(QString::fromStdString(prompt));
}

void CommandInterpreter::Relay::pendingInputChanged(const std::u16string& text) {
    emit owner_.pendingInputChanged(fromUtf16(text));
}

}  // namespace quorvel::cadhost
