#pragma once
#include <QDialog>
#include <QLabel>

class QFrame;
class QPushButton;

namespace quorvel::platform {
class LinkOpener;
}

namespace quorvel::windows {

// A label that reports a left click (press and release over it), for the About window's links.
class LinkLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool pressed_ = false;
};

// The About window "aboutfrm": the maker's header band, author, organisation, e-mail and
// download address, and the OK button. Every show places it in the middle of the screen.
class AboutWindow : public QDialog {
    Q_OBJECT
public:
    explicit AboutWindow(platform::LinkOpener& linkOpener, QWidget* parent = nullptr);

    // Creates a new About window, shows it modally and returns once it is closed.
    static void showModal(platform::LinkOpener& linkOpener, QWidget* owner);

    // "  更多软件": the home page in the web browser, then the About window, modal.
    static void showMoreSoftware(platform::LinkOpener& linkOpener, QWidget* owner);

    LinkLabel* picBGHead = nullptr;
    LinkLabel* picBGHeadIcon = nullptr;
    LinkLabel* lblBGHeadInfo1 = nullptr;
    QFrame* linBorder = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label3 = nullptr;
    LinkLabel* Label9 = nullptr;
    QLabel* Label5 = nullptr;
    LinkLabel* lblHomepage = nullptr;
    QLabel* Label6 = nullptr;
    LinkLabel* Label4 = nullptr;
    QPushButton* Command1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    void connectLinks();
    void openLink(const QString& address);

    platform::LinkOpener& linkOpener_;
};

// A sans font family for the given Western face, or the closest installed stand-in.
QString westernFontFamily(const QString& preferred);

}  // namespace quorvel::windows
