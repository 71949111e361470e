#include "windows/aboutwindow.h"

#include <QApplication>
#include <QBitmap>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gmock/gmock.h>

#include "tests/support/windows/recordinglinkopener.h"
#include "windows/handcursor.h"
#include "windows/makerinfo.h"
#include "windows/windowplacer.h"

using namespace quorvel;
using ::testing::ElementsAre;

namespace {

const QString kHome = QString::fromUtf8(maker::kHomePage);
const QString kMail = QStringLiteral("mailto:") + QString::fromUtf8(maker::kAuthorEmail);
const QString kOrganisationSite = QString::fromUtf8(maker::kOrganisationWebSite);

int px(const QWidget* w, int twips) {
    return static_cast<int>(
        placement::roundHalfEven(twips / double(windows::screenTwips(w).twipsPerPixelX)));
}

QPoint centredPosition(const QWidget* w) {
    const placement::TwipsGeometry g = windows::twipsGeometry(w);
    const placement::ScreenTwips s = windows::screenTwips(w);
    const placement::TwipsPosition p = placement::centerForm(s, g.width, g.height);
    return {static_cast<int>(placement::roundHalfEven(p.left / double(s.twipsPerPixelX))),
            static_cast<int>(placement::roundHalfEven(p.top / double(s.twipsPerPixelY)))};
}

QColor textColour(const QWidget* w) {
    return w->palette().color(QPalette::WindowText);
}

// Runs `inspect` on the modal window once the event loop has shown it.
void whenModalShown(std::function<void(windows::AboutWindow*)> inspect) {
    QTimer::singleShot(0, [inspect] {
        auto* about = qobject_cast<windows::AboutWindow*>(QApplication::activeModalWidget());
        ASSERT_NE(about, nullptr);
        inspect(about);
    });
}

class AboutWindowTest : public ::testing::Test {
protected:
    test_doubles::RecordingLinkOpener opener;
    windows::AboutWindow about{opener};
};

TEST_F(AboutWindowTest, FixedDialogWithAWhiteHeaderBandCutOffAtTheRight) {
    EXPECT_EQ(about.objectName(), "aboutfrm");
    EXPECT_EQ(about.windowTitle(), "Varnholt");
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
    EXPECT_EQ(about.size(), QSize(px(&about, 5100), px(&about, 2160)));
    EXPECT_FALSE(about.windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));

    EXPECT_EQ(about.picBGHead->geometry(), QRect(0, 0, px(&about, 5790), px(&about, 615)));
    EXPECT_GT(about.picBGHead->width(), about.width());
    EXPECT_EQ(about.picBGHead->palette().color(QPalette::Window), QColor(255, 255, 255));

    EXPECT_EQ(about.picBGHeadIcon->parentWidget(), about.picBGHead);
    EXPECT_EQ(about.picBGHeadIcon->geometry(),
              QRect(px(&about, 240), px(&about, 120), px(&about, 480), px(&about, 480)));
    EXPECT_EQ(about.picBGHeadIcon->pixmap().size(), QSize(32, 32));

    EXPECT_EQ(about.lblBGHeadInfo1->parentWidget(), about.picBGHead);
    EXPECT_EQ(about.lblBGHeadInfo1->text(), QStringLiteral("Varnholt－原创、专业、免费、无限制"));
    EXPECT_EQ(about.lblBGHeadInfo1->pos(), QPoint(px(&about, 960), px(&about, 240)));
    EXPECT_TRUE(about.lblBGHeadInfo1->font().bold());
    EXPECT_EQ(textColour(about.lblBGHeadInfo1), QColor(0, 0, 0));
    EXPECT_EQ(about.lblBGHeadInfo1->toolTip(), kOrganisationSite);

    EXPECT_EQ(about.linBorder->geometry().top(), px(&about, 615));
    EXPECT_EQ(about.linBorder->geometry().width(), px(&about, 5760));
    EXPECT_EQ(about.linBorder->palette().color(QPalette::Window), QColor(128, 128, 128));
}

TEST_F(AboutWindowTest, CaptionsAreRedAndValuesBlueAtTheirCorners) {
    struct Expected {
        QLabel* label;
        QString text;
        int left;
        int top;
        QColor colour;
        double points;
    };
    const QColor red(255, 0, 0);
    const QColor blue(0, 0, 255);
    const Expected expected[] = {
        {about.Label2, QStringLiteral("作 者："), 600, 720, red, 9},
        {about.Label7, QString::fromUtf8(maker::kAuthorName), 1320, 720, blue, 8.25},
        {about.Label3, QStringLiteral("单 位："), 600, 1080, red, 9},
        {about.Label9, QString::fromUtf8(maker::kOrganisationName), 1320, 1080, blue, 8.25},
        {about.Label5, QStringLiteral("E-mail："), 555, 1440, red, 9},
        {about.lblHomepage, QString::fromUtf8(maker::kAuthorEmail), 1320, 1440, blue, 6.75},
        {about.Label6, QStringLiteral("软件下载："), 300, 1800, red, 9},
        {about.Label4, kHome, 1320, 1800, blue, 6.75},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.label->objectName().toStdString());
        EXPECT_EQ(e.label->text(), e.text);
        EXPECT_EQ(e.label->pos(), QPoint(px(&about, e.left), px(&about, e.top)));
        EXPECT_EQ(textColour(e.label), e.colour);
        EXPECT_DOUBLE_EQ(e.label->font().pointSizeF(), e.points);
        // Sized to the text, so nothing is cut off.
        EXPECT_GE(e.label->width(), e.label->fontMetrics().horizontalAdvance(e.text));
    }
    EXPECT_EQ(about.Label2->font().family(), windows::westernFontFamily("Tahoma"));
    EXPECT_EQ(about.Label4->font().family(), windows::westernFontFamily("Verdana"));
    EXPECT_TRUE(about.Label9->font().underline());
    EXPECT_TRUE(about.Label4->font().underline());
    EXPECT_EQ(about.Label9->toolTip(), kOrganisationSite);
    EXPECT_EQ(about.Label4->toolTip(), "Varnholt");

    EXPECT_EQ(about.Command1->text(), QStringLiteral("  确  定"));
    EXPECT_EQ(about.Command1->geometry(),
              QRect(px(&about, 3480), px(&about, 1440), px(&about, 1335), px(&about, 375)));
    EXPECT_EQ(about.Command1->font().pointSize(), 9);
}

TEST_F(AboutWindowTest, HandPointerOnlyOverTheThreeLinkLabels) {
    for (QLabel* link :
         {static_cast<QLabel*>(about.Label9), static_cast<QLabel*>(about.lblHomepage),
          static_cast<QLabel*>(about.Label4)}) {
        SCOPED_TRACE(link->objectName().toStdString());
        const QCursor cursor = link->cursor();
        EXPECT_EQ(cursor.shape(), Qt::BitmapCursor);
        EXPECT_EQ(cursor.hotSpot(), QPoint(6, 0));
        EXPECT_EQ(cursor.bitmap().size(), QSize(32, 32));
    }
    EXPECT_EQ(about.Label7->cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(about.picBGHead->cursor().shape(), Qt::ArrowCursor);
}

TEST(HandCursor, HotSpotIsTheBlackFingertipAndTheCornersAreTransparent) {
    const QCursor cursor = windows::handCursor();
    const QImage bits = cursor.bitmap().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage mask = cursor.mask().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(QColor(bits.pixel(6, 0)), QColor(Qt::black));
    EXPECT_EQ(QColor(mask.pixel(6, 0)), QColor(Qt::black));  // drawn
    EXPECT_EQ(QColor(mask.pixel(0, 0)), QColor(Qt::white));  // not drawn
    EXPECT_EQ(QColor(mask.pixel(31, 31)), QColor(Qt::white));
    EXPECT_EQ(QColor(bits.pixel(6, 2)), QColor(Qt::white));  // inside the finger
    EXPECT_EQ(QColor(mask.pixel(6, 2)), QColor(Qt::black));
}

TEST_F(AboutWindowTest, LinksOpenTheirAddressesFromTheAboutWindowAndLeaveItOpen) {
    about.show();
    for (QWidget* homeLink :
         {static_cast<QWidget*>(about.picBGHead), static_cast<QWidget*>(about.picBGHeadIcon),
          static_cast<QWidget*>(about.lblBGHeadInfo1), static_cast<QWidget*>(about.Label4)}) {
        // On the header band, click beside its children.
        const QPoint where =
            homeLink == about.picBGHead ? QPoint(about.width() - 5, 5) : homeLink->rect().center();
        QTest::mouseClick(homeLink, Qt::LeftButton, {}, where);
    }
    QTest::mouseClick(about.Label4, Qt::LeftButton);  // again: opens again
    QTest::mouseClick(about.lblHomepage, Qt::LeftButton);
    QTest::mouseClick(about.Label9, Qt::LeftButton);
    QTest::mouseClick(about.Label7, Qt::LeftButton);  // not a link

    EXPECT_THAT(opener.addresses(),
                ElementsAre(kHome, kHome, kHome, kHome, kHome, kMail, kOrganisationSite));
    for (const auto& call : opener.calls) {
        EXPECT_EQ(call.owner, &about);
    }
    EXPECT_TRUE(about.isVisible());
}

TEST_F(AboutWindowTest, PressOnALinkAndReleaseElsewhereOpensNothing) {
    about.show();
    QTest::mousePress(about.Label4, Qt::LeftButton, {}, QPoint(2, 2));
    QTest::mouseRelease(about.Label4, Qt::LeftButton, {}, QPoint(-20, -20));
    QTest::mouseClick(about.Label4, Qt::RightButton);
    EXPECT_TRUE(opener.calls.empty());
}

TEST(AboutWindowModal, MoreSoftwareOpensTheHomePageThenTheCentredModalWindowEveryTime) {
    test_doubles::RecordingLinkOpener opener;
    QWidget owner;
    // The main window styles its own fonts; that must not reach the About window.
    owner.setStyleSheet(QStringLiteral("* { font-family: \"Noto Serif CJK SC\"; }"));
    owner.show();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        bool inspected = false;
        whenModalShown([&](windows::AboutWindow* about) {
            inspected = true;
            EXPECT_EQ(about->windowHandle()->transientParent(), owner.windowHandle());
            EXPECT_EQ(about->pos(), centredPosition(about));
            EXPECT_EQ(about->Label2->font().family(), windows::westernFontFamily("Tahoma"));
            ASSERT_EQ(opener.calls.size(), size_t(round + 1));  // the page came first
            // Moved away by its user: the next show must centre it again.
            about->move(3, 4);
            QTest::mouseClick(about->Command1, Qt::LeftButton);
        });
        windows::AboutWindow::showMoreSoftware(opener, &owner);
        EXPECT_TRUE(inspected);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }
    ASSERT_EQ(opener.calls.size(), 2u);
    EXPECT_EQ(opener.calls[0].address, kHome);
    EXPECT_EQ(opener.calls[0].owner, &owner);
}

}  // namespace
