#pragma once
#include <QPointer>
#include <QString>
#include <QWidget>

#include <vector>

#include "platform/linkopener.h"

namespace quorvel::test_doubles {

// Remembers every address handed to the desktop, with the window that asked.
class RecordingLinkOpener final : public platform::LinkOpener {
public:
    struct Call {
        QPointer<QWidget> owner;
        QString address;
    };

    void OpenLink(QWidget* owner, const QString& address) override {
        calls.push_back({owner, address});
    }

    std::vector<QString> addresses() const {
        std::vector<QString> result;
        for (const Call& call : calls) {
            result.push_back(call.address);
        }
        return result;
    }

    std::vector<Call> calls;
};

}  // namespace quorvel::test_doubles
