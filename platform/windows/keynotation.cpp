#include "platform/windows/keynotation.h"

#include <algorithm>

namespace quorvel::platform::windows {

namespace {

std::u16string upper(std::u16string text) {
    for (char16_t& c : text) {
        if (c >= u'a' && c <= u'z') {
            c = static_cast<char16_t>(c - u'a' + u'A');
        }
    }
    return text;
}

std::optional<KeyEvent::Key> namedKey(const std::u16string& name) {
    const std::u16string key = upper(name);
    if (key == u"ENTER") {
        return KeyEvent::Key::Enter;
    }
    if (key == u"ESC" || key == u"ESCAPE") {
        return KeyEvent::Key::Escape;
    }
    if (key == u"BS" || key == u"BACKSPACE" || key == u"BKSP") {
        return KeyEvent::Key::Backspace;
    }
    if (key == u"TAB") {
        return KeyEvent::Key::Tab;
    }
    if (key == u"DEL" || key == u"DELETE") {
        return KeyEvent::Key::Delete;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::vector<KeyEvent>> parseKeyNotation(const std::u16string& keys) {
    std::vector<KeyEvent> events;
    KeyEvent modifiers;
    std::size_t pos = 0;
    while (pos < keys.size()) {
        const char16_t c = keys[pos];
        if (c == u'+' || c == u'^' || c == u'%') {
            modifiers.shift |= c == u'+';
            modifiers.control |= c == u'^';
            modifiers.alt |= c == u'%';
            ++pos;
            continue;
        }
        KeyEvent event = modifiers;
        int repeat = 1;
        if (c == u'~') {
            event.key = KeyEvent::Key::Enter;
            ++pos;
        } else if (c == u'{') {
            // "{}}" names the closing brace itself.
            const std::size_t close = keys.find(u'}', pos + 2);
            if (close == std::u16string::npos) {
                return std::nullopt;
            }
            std::u16string inside = keys.substr(pos + 1, close - pos - 1);
            pos = close + 1;
            const std::size_t space = inside.find(u' ', 1);
            if (space != std::u16string::npos) {
                const std::u16string count = inside.substr(space + 1);
                if (count.empty() || count.size() > 4 ||
                    !std::all_of(count.begin(), count.end(),
                                 [](char16_t d) { return d >= u'0' && d <= u'9'; })) {
                    return std::nullopt;
                }
                repeat = std::stoi(std::string(count.begin(), count.end()));
                inside.resize(space);
            }
            if (inside.size() == 1) {
                event.character = inside[0];
            } else if (const auto key = namedKey(inside)) {
                event.key = *key;
            } else {
                return std::nullopt;
            }
        } else if (c == u'}' || c == u'(' || c == u')') {
            return std::nullopt;
        } else {
            event.character = c;
            ++pos;
        }
        for (int i = 0; i < repeat; ++i) {
            events.push_back(event);
        }
        modifiers = KeyEvent{};
    }
    if (modifiers.shift || modifiers.control || modifiers.alt) {
        return std::nullopt;  // a modifier with no key after it
    }
    return events;
}

}  // namespace quorvel::platform::windows
