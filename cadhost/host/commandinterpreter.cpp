#include "cadhost/host/commandinterpreter.h"

#include "cadhost/host/hosterror.h"
#include "cadhost/host/hostmodel.h"

#include <QFileInfo>

#include <algorithm>
#include <utility>

namespace quorvel::cadhost {
namespace {

const QString kCommandPrompt = QStringLiteral("命令:");
const QString kJustifyPrompt = QStringLiteral(
    "输入对正选项 [左(L)/对齐(A)/布满(F)/居中(C)/中间(M)/右(R)/左上(TL)/中上(TC)/右上(TR)/"
    "左中(ML)/正中(MC)/右中(MR)/左下(BL)/中下(BC)/右下(BR)]:");

bool isSingleLineText(const std::string& type) {
    return type == "TEXT" || type == "ATTRIB" || type == "ATTDEF";
}

}  // namespace

CommandInterpreter::CommandInterpreter(HostModel& model, QObject* parent)
    : QObject(parent), model_(model), prompt_(kCommandPrompt) {}

void CommandInterpreter::type(const QString& text) {
    // The shown input is updated once per call, not per character: the window copies it whole.
    bool changed = false;
    for (const QChar c : text) {
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
        emit pendingInputChanged(pending_);
    }
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

void CommandInterpreter::enter() {
    const QString field = pending_;
    pending_.clear();
    emit pendingInputChanged(pending_);
    if (std::exchange(overlong_, false)) {
        // Cut short it would mean something else: the command in progress is given up.
        echo(QStringLiteral("输入超过 %1 个字符，已放弃。").arg(kMaxFieldLength));
        if (state_ != State::Command) {
            echo(prompt_ + QStringLiteral(" *取消*"));
        }
        finish();
        return;
    }
    submit(field);
}

void CommandInterpreter::backspace() {
    if (!pending_.isEmpty()) {
        pending_.chop(1);
        emit pendingInputChanged(pending_);
    }
}

void CommandInterpreter::cancel() {
    const bool hadInput = !pending_.isEmpty();
    pending_.clear();
    overlong_ = false;
    emit pendingInputChanged(pending_);
    if (state_ != State::Command || hadInput) {
        echo(prompt_ + QStringLiteral(" *取消*"));
    }
    finish();
}

QStringList CommandInterpreter::takeFailures() {
    QStringList taken;
    taken.swap(failures_);
    return taken;
}

void CommandInterpreter::echo(const QString& line) {
    emit lineEchoed(line);
}

void CommandInterpreter::fail(const QString& message) {
    echo(message);
    failures_.append(message);
}

void CommandInterpreter::setState(State state, const QString& prompt) {
    state_ = state;
    prompt_ = prompt;
    emit promptChanged(prompt_);
}

void CommandInterpreter::finish() {
    selection_.clear();
    commandDocument_ = 0;
    setState(State::Command, kCommandPrompt);
}

void CommandInterpreter::submit(const QString& field) {
    echo(field.isEmpty() ? prompt_ : prompt_ + u' ' + field);
    switch (state_) {
        case State::Command:
            if (!field.isEmpty()) {
                startCommand(field);
            }
            return;
        case State::FilediaValue: {
            const QString value = field.trimmed();
            if (value == u"0" || value == u"1") {
                model_.setFiledia(value.toInt());
            } else if (!value.isEmpty()) {
                echo(QStringLiteral("需要 0 或 1，FILEDIA 未修改。"));
            }
            finish();
            return;
        }
        case State::JustifySelect: {
            if (field.isEmpty()) {
                if (selection_.empty()) {
                    finish();
                } else {
                    setState(State::JustifyOption, kJustifyPrompt);
                }
                return;
            }
            if (field.compare(u"L", Qt::CaseInsensitive) != 0) {
                echo(QStringLiteral("*无效选择* 输入 L 选择最后一个对象，回车结束选择。"));
                return;
            }
            HostDocument* document = model_.find(commandDocument_);
            if (document == nullptr) {
                echo(QStringLiteral("图形已关闭。"));
                finish();
                return;
            }
            const auto last = document->drawing.lastObject();
            if (!last) {
                echo(QStringLiteral("找到 0 个"));
                return;
            }
            if (!isSingleLineText(document->drawing.entityType(*last))) {
                echo(QStringLiteral("找到 1 个，1 个不是单行文字，已忽略。"));
                return;
            }
            if (std::find(selection_.begin(), selection_.end(), *last) != selection_.end()) {
                echo(QStringLiteral("找到 1 个（1 个重复）"));
                return;
            }
            selection_.push_back(*last);
            echo(QStringLiteral("找到 1 个"));
            return;
        }
        case State::JustifyOption:
            justifySelected(field.trimmed());
            finish();
            return;
        case State::SaveName: {
            QString path = field.trimmed();
            if (path.size() >= 2 && path.startsWith(u'"') && path.endsWith(u'"')) {
                path = path.mid(1, path.size() - 2);
            }
            if (path.isEmpty()) {
                echo(QStringLiteral("*取消*"));
            } else {
                saveUnder(path);
            }
            finish();
            return;
        }
    }
}

void CommandInterpreter::startCommand(const QString& field) {
    QString name = field.trimmed().toUpper();
    while (name.startsWith(u'_') || name.startsWith(u'.')) {
        name.remove(0, 1);
    }
    if (name == u"FILEDIA") {
        setState(State::FilediaValue,
                 QStringLiteral("输入 FILEDIA 的新值 <%1>:").arg(model_.filedia()));
    } else if (name == u"JUSTIFYTEXT") {
        HostDocument* document = model_.active();
        if (document == nullptr) {
            echo(QStringLiteral("没有打开的图形。"));
            return;
        }
        commandDocument_ = document->number;
        selection_.clear();
        setState(State::JustifySelect, QStringLiteral("选择对象:"));
    } else if (name == u"QSAVE") {
        runQsave();
    } else {
        echo(QStringLiteral("未知命令“%1”。").arg(field));
    }
}

void CommandInterpreter::runQsave() {
    HostDocument* document = model_.active();
    if (document == nullptr) {
        fail(QStringLiteral("没有打开的图形，无法保存。"));
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
            if (path->isEmpty()) {
                echo(QStringLiteral("*取消*"));
            } else {
                saveUnder(*path);
            }
            finish();
            return;
        }
    }
    setState(State::SaveName, QStringLiteral("输入文件名 <%1>:").arg(document->name()));
}

void CommandInterpreter::saveUnder(const QString& path) {
    if (model_.find(commandDocument_) == nullptr) {
        fail(QStringLiteral("图形已关闭，无法保存。"));
        return;
    }
    try {
        model_.saveAs(commandDocument_, path);
        echo(QStringLiteral("图形已保存到 %1").arg(QFileInfo(path).absoluteFilePath()));
    } catch (const HostError& error) {
        fail(error.message());
    }
}

void CommandInterpreter::justifySelected(const QString& option) {
    if (option.isEmpty()) {
        return;  // Enter keeps the current justification
    }
    HostDocument* document = model_.find(commandDocument_);
    if (document == nullptr) {
        echo(QStringLiteral("图形已关闭。"));
        return;
    }
    const std::string code = option.toStdString();
    if (!dxf::isJustifyOption(code)) {
        echo(QStringLiteral("无效的对正选项“%1”，文字未修改。").arg(option));
        return;
    }
    int changed = 0;
    for (const auto id : selection_) {
        try {
            document->drawing.justify(id, code);
            ++changed;
        } catch (const dxf::DxfError& error) {
            echo(QStringLiteral("无法修改对正方式：%1").arg(QString::fromUtf8(error.what())));
        }
    }
    if (changed > 0) {
        model_.markChanged(document->number);
    }
}

}  // namespace quorvel::cadhost
