#include "cadhost/host/keystrokes.h"

#include "cadhost/host/hosterror.h"

namespace quorvel::cadhost {
namespace {

constexpr int kMaxRepeat = 10000;
constexpr int kMaxGroupDepth = 32;
constexpr qsizetype kQuotedKeys = 100;

[[noreturn]] void refuse(const QString& keys, const QString& why) {
    const QString quoted = keys.size() > kQuotedKeys ? keys.left(kQuotedKeys) + u'…' : keys;
    throw HostError(HostErrorKind::InvalidKeys,
                    QStringLiteral("无法输入按键“%1”：%2").arg(quoted, why));
}

class KeyParser {
public:
    explicit KeyParser(const QString& keys) : keys_(keys) {}

    std::vector<KeyStroke> parse() {
        while (position_ < keys_.size()) {
            parseItem(false);
        }
        return strokes_;
    }

private:
    void parseItem(bool shifted, int depth = 0) {
        while (keys_[position_] == u'+') {
            ++position_;
            if (position_ >= keys_.size()) {
                refuse(keys_, QStringLiteral("“+”后缺少按键。"));
            }
            shifted = true;
        }
        const QChar c = keys_[position_];
        if (c == u'^' || c == u'%') {
            refuse(keys_, QStringLiteral("不支持 Ctrl 和 Alt 组合键。"));
        }
        if (c == u'(') {
            if (depth >= kMaxGroupDepth) {
                refuse(keys_, QStringLiteral("括号嵌套过深。"));
            }
            ++position_;
            while (position_ < keys_.size() && keys_[position_] != u')') {
                parseItem(shifted, depth + 1);
            }
            if (position_ >= keys_.size()) {
                refuse(keys_, QStringLiteral("缺少“)”。"));
            }
            ++position_;
            return;
        }
        if (c == u')') {
            refuse(keys_, QStringLiteral("多余的“)”。"));
        }
        if (c == u'{') {
            parseBraces(shifted);
            return;
        }
        if (c == u'}') {
            refuse(keys_, QStringLiteral("多余的“}”。"));
        }
        ++position_;
        if (c == u'~') {
            strokes_.push_back({KeyStroke::Kind::Enter, {}});
        } else {
            typeCharacter(c, shifted);
        }
    }

    void typeCharacter(QChar c, bool shifted) {
        strokes_.push_back({KeyStroke::Kind::Character, shifted ? c.toUpper() : c});
    }

    void parseBraces(bool shifted) {
        // "{}}" names the closing brace itself.
        const bool closingBrace = position_ + 2 < keys_.size() && keys_[position_ + 1] == u'}' &&
                                  keys_[position_ + 2] == u'}';
        const qsizetype close = closingBrace ? position_ + 2 : keys_.indexOf(u'}', position_ + 1);
        if (close < 0) {
            refuse(keys_, QStringLiteral("缺少“}”。"));
        }
        QString inside = keys_.mid(position_ + 1, close - position_ - 1);
        position_ = close + 1;

        int repeat = 1;
        const qsizetype space = inside.lastIndexOf(u' ');
        if (space > 0) {
            bool ok = false;
            repeat = inside.mid(space + 1).toInt(&ok);
            if (!ok || repeat < 0 || repeat > kMaxRepeat) {
                refuse(keys_, QStringLiteral("重复次数无效。"));
            }
            inside.truncate(space);
        }
        KeyStroke stroke;
        const QString name = inside.toUpper();
        if (inside.size() == 1) {
            stroke = {KeyStroke::Kind::Character, shifted ? inside[0].toUpper() : inside[0]};
        } else if (name == u"ENTER") {
            stroke = {KeyStroke::Kind::Enter, {}};
        } else if (name == u"ESC" || name == u"ESCAPE") {
            stroke = {KeyStroke::Kind::Escape, {}};
        } else if (name == u"BS" || name == u"BACKSPACE" || name == u"BKSP") {
            stroke = {KeyStroke::Kind::Backspace, {}};
        } else {
            refuse(keys_, QStringLiteral("不支持按键“{%1}”。").arg(inside));
        }
        for (int i = 0; i < repeat; ++i) {
            strokes_.push_back(stroke);
        }
    }

    const QString& keys_;
    qsizetype position_ = 0;
    std::vector<KeyStroke> strokes_;
};

}  // namespace

std::vector<KeyStroke> parseKeyStrokes(const QString& keys) {
    return KeyParser(keys).parse();
}

}  // namespace quorvel::cadhost
