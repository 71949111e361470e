#pragma once
#include <QString>

class QWidget;

namespace quorvel::platform {

// Opens the program's help file at its default topic. What the viewer does with a missing file
// is its own business: the caller never learns the outcome.
class HelpViewer {
public:
    virtual ~HelpViewer() = default;
    virtual void showHelp(QWidget* owner, const QString& helpFilePath) = 0;
};

// Hands the help file to the desktop's default handler.
class DesktopHelpViewer final : public HelpViewer {
public:
    void showHelp(QWidget* owner, const QString& helpFilePath) override;
};

}  // namespace quorvel::platform
