#include "windows/aboutwindow.h"

#include <QFontDatabase>
#include <QFrame>
#include <QMouseEvent>
#include <QPushButton>
#include <QShowEvent>
#include <QWindow>

#include "platform/linkopener.h"
#include "windows/fonts.h"
#include "windows/handcursor.h"
#include "windows/makerinfo.h"
#include "windows/windowicon.h"
#include "windows/windowplacer.h"

namespace quorvel::windows {

namespace {

constexpr int kClientWidthTwips = 5100;
constexpr int kClientHeightTwips = 2160;

const QColor kWhite(255, 255, 255);
const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kGrey(128, 128, 128);

QString fromUtf8(const char* text) {
    return QString::fromUtf8(text);
}

QFont makeFont(const QString& family, double points, bool bold = false, bool underline = false) {
    QFont font(family);
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setUnderline(underline);
    return font;
}

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

void setBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

template <typename T>
T* named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

}  // namespace

void LinkLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pressed_ = true;
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && pressed_) {
        pressed_ = false;
        event->accept();
        if (rect().contains(event->position().toPoint())) {
            emit clicked();
        }
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

QString westernFontFamily(const QString& preferred) {
    const QStringList installed = QFontDatabase::families();
    if (installed.contains(preferred)) {
        return preferred;
    }
    for (const QString& candidate :
         {QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans"),
          QStringLiteral("Nimbus Sans"), QStringLiteral("Noto Sans")}) {
        if (installed.contains(candidate)) {
            return candidate;
        }
    }
    return preferred;
}

AboutWindow::AboutWindow(platform::LinkOpener& linkOpener, QWidget* parent)
    : QDialog(parent), linkOpener_(linkOpener) {
    setObjectName(QStringLiteral("aboutfrm"));
    setWindowTitle(fromUtf8(maker::kBrand));
    // Fixed dialog border: a title and a close box, no minimise or maximise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);
    setFont(makeFont(westernFontFamily(QStringLiteral("Tahoma")), 8.25));
    buildControls();
    connectLinks();
}

void AboutWindow::buildControls() {
    const placement::ScreenTwips screen = screenTwips(this);
    const auto px = [&](int twips) {
        return static_cast<int>(placement::roundHalfEven(twips / double(screen.twipsPerPixelX)));
    };
    const auto py = [&](int twips) {
        return static_cast<int>(placement::roundHalfEven(twips / double(screen.twipsPerPixelY)));
    };
    setFixedSize(px(kClientWidthTwips), py(kClientHeightTwips));

    const QString tahoma = westernFontFamily(QStringLiteral("Tahoma"));
    const QString verdana = westernFontFamily(QStringLiteral("Verdana"));
    const QCursor hand = handCursor();
    const QString organisationSite = fromUtf8(maker::kOrganisationWebSite);

    // The header band is wider than the window; the child clipping cuts off the rest.
    picBGHead = named(new LinkLabel(this), "picBGHead");
    setBackground(picBGHead, kWhite);
    picBGHead->setGeometry(0, 0, px(5790), py(615));

    picBGHeadIcon = named(new LinkLabel(picBGHead), "picBGHeadIcon");
    setBackground(picBGHeadIcon, kWhite);
    picBGHeadIcon->setGeometry(px(240), py(120), px(480), py(480));
    picBGHeadIcon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picBGHeadIcon->setPixmap(windowIconPixmap());

    lblBGHeadInfo1 = named(new LinkLabel(fromUtf8("Varnholt－原创、专业、免费、无限制"), picBGHead),
                           "lblBGHeadInfo1");
    lblBGHeadInfo1->setFont(makeFont(songtiFontFamily(), 9, true));
    setTextColour(lblBGHeadInfo1, Qt::black);
    lblBGHeadInfo1->setToolTip(organisationSite);

    linBorder = named(new QFrame(this), "linBorder");
    setBackground(linBorder, kGrey);
    linBorder->setGeometry(0, py(615), px(5760), 1);

    Label2 = named(new QLabel(fromUtf8("作 者："), this), "Label2");
    Label7 = named(new QLabel(fromUtf8(maker::kAuthorName), this), "Label7");
    Label3 = named(new QLabel(fromUtf8("单 位："), this), "Label3");
    Label9 = named(new LinkLabel(fromUtf8(maker::kOrganisationName), this), "Label9");
    Label5 = named(new QLabel(QStringLiteral("E-mail："), this), "Label5");
    lblHomepage = named(new LinkLabel(fromUtf8(maker::kAuthorEmail), this), "lblHomepage");
    Label6 = named(new QLabel(fromUtf8("软件下载："), this), "Label6");
    Label4 = named(new LinkLabel(fromUtf8(maker::kHomePage), this), "Label4");

    for (QLabel* caption : {Label2, Label3, Label5, Label6}) {
        setTextColour(caption, kRed);
        caption->setFont(makeFont(tahoma, 9));
    }
    for (QLabel* value : std::initializer_list<QLabel*>{Label7, Label9, lblHomepage, Label4}) {
        setTextColour(value, kBlue);
    }
    Label9->setFont(makeFont(tahoma, 8.25, false, true));
    Label9->setToolTip(organisationSite);
    lblHomepage->setFont(makeFont(verdana, 6.75));
    Label4->setFont(makeFont(verdana, 6.75, false, true));
    Label4->setToolTip(fromUtf8(maker::kBrand));
    for (QLabel* link : std::initializer_list<QLabel*>{Label9, lblHomepage, Label4}) {
        link->setCursor(hand);
    }

    // Labels size themselves to their text; only the top left corner is fixed.
    const struct {
        QLabel* label;
        int left;
        int top;
    } corners[] = {{lblBGHeadInfo1, 960, 240}, {Label2, 600, 720},   {Label7, 1320, 720},
                   {Label3, 600, 1080},        {Label9, 1320, 1080}, {Label5, 555, 1440},
                   {lblHomepage, 1320, 1440},  {Label6, 300, 1800},  {Label4, 1320, 1800}};
    for (const auto& c : corners) {
        c.label->adjustSize();
        c.label->move(px(c.left), py(c.top));
    }

    Command1 = named(new QPushButton(fromUtf8("  确  定"), this), "Command1");
    Command1->setFont(makeFont(songtiFontFamily(), 9));
    Command1->setGeometry(px(3480), py(1440), px(1335), py(375));
    Command1->setDefault(true);
    connect(Command1, &QPushButton::clicked, this, &QDialog::accept);
}

void AboutWindow::connectLinks() {
    const QString homePage = fromUtf8(maker::kHomePage);
    for (LinkLabel* link : {picBGHead, picBGHeadIcon, lblBGHeadInfo1, Label4}) {
        connect(link, &LinkLabel::clicked, this, [this, homePage] { openLink(homePage); });
    }
    connect(lblHomepage, &LinkLabel::clicked, this,
            [this] { openLink(QStringLiteral("mailto:") + fromUtf8(maker::kAuthorEmail)); });
    // Styled as a link with the organisation's address as its tooltip, so it opens that address.
    connect(Label9, &LinkLabel::clicked, this,
            [this] { openLink(fromUtf8(maker::kOrganisationWebSite)); });
}

void AboutWindow::openLink(const QString& address) {
    linkOpener_.OpenLink(this, address);
}

void AboutWindow::showEvent(QShowEvent* event) {
    // After the dialog's own placement next to its parent: every show starts in the middle of
    // the screen, wherever the window was moved before.
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        CenterForm(this);
    }
}

void AboutWindow::showModal(platform::LinkOpener& linkOpener, QWidget* owner) {
    // Not a child of its owner, whose style sheet would override the window's own fonts; it
    // still stays in front of it.
    AboutWindow window(linkOpener);
    if (owner && owner->window()->windowHandle()) {
        window.winId();
        window.windowHandle()->setTransientParent(owner->window()->windowHandle());
    }
    window.exec();
}

void AboutWindow::showMoreSoftware(platform::LinkOpener& linkOpener, QWidget* owner) {
    linkOpener.OpenLink(owner, fromUtf8(maker::kHomePage));
    showModal(linkOpener, owner);
}

}  // namespace quorvel::windows
