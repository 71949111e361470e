#pragma once
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QWidget;

namespace quorvel::platform {

// Opens the program's help file at its default topic. What the viewer does with a missing file
// is its own business: the caller never learns the outcome.
class HelpViewer {
public:
    virtual ~HelpViewer() = default;
    virtual void showHelp(QWidget* owner, const QString& helpFilePath) = 0;
};

struct HelpLaunch {
    QString program;
    QStringList arguments;
};

// What the desktop offers for opening a help file.
struct HelpDesktop {
    // True when the desktop's file associations name a program for compiled help files.
    std::function<bool()> hasHelpAssociation;
    // Full path of a program on PATH, empty when there is none.
    std::function<QString(const QString& name)> findProgram;
};

// The desktop's own program for compiled help files where it names one, else a known viewer
// found on PATH; nothing when neither is there.
std::optional<HelpLaunch> chooseHelpLaunch(const QString& helpFilePath, const HelpDesktop& desktop);

// Asks xdg-mime and searches PATH.
HelpDesktop systemHelpDesktop();

// Starts the chosen program detached. When nothing can open the file, nothing happens and
// nothing is shown.
class DesktopHelpViewer final : public HelpViewer {
public:
    void showHelp(QWidget* owner, const QString& helpFilePath) override;
};

}  // namespace quorvel::platform
