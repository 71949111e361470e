#include "windows/progresswindow.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

using quorvel::windows::Form3;

namespace {

void destroyClosedWindows() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(Form3, LoadsBorderlessTopmostCentredWithItsLayoutTexts) {
    QPointer<Form3> form = new Form3({});
    EXPECT_TRUE(form->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowStaysOnTopHint);
    // 3900 x 1140 twips at 15 twips per pixel.
    EXPECT_EQ(form->size(), QSize(260, 76));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_NEAR(form->x(), (screen.width() - 260) / 2.0, 1);
    EXPECT_NEAR(form->y(), (screen.height() - 76) / 3.0, 1);

    const struct {
        QLabel* label;
        const char* name;
        QString text;
        QPoint position;
    } expected[] = {
        {form->Label1, "Label1", QStringLiteral("正在替换第   页  共   页"), {56, 8}},
        {form->Label2, "Label2", QStringLiteral("开始时间："), {56, 32}},
        {form->Label3, "Label3", QString(), {128, 32}},
        {form->Label4, "Label4", QStringLiteral("结束时间："), {56, 56}},
        {form->Label5, "Label5", QString(), {128, 56}},
    };
    for (const auto& e : expected) {
        ASSERT_NE(e.label, nullptr);
        EXPECT_EQ(e.label->objectName(), QLatin1String(e.name));
        EXPECT_EQ(e.label->text(), e.text);
        EXPECT_EQ(e.label->pos(), e.position);
    }
    delete form;
}

TEST(Form3, LabelsSizeThemselvesToTheirText) {
    Form3 form({});
    const int before = form.Label1->width();
    Form3::setLabelText(form.Label1, QStringLiteral("文本替换完成 双击窗口返回 以及更长的文字"));
    EXPECT_GT(form.Label1->width(), before);
    EXPECT_EQ(form.Label1->width(), form.Label1->sizeHint().width());
}

// Records the text of a label each time it is painted.
struct PaintedTexts : QObject {
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            texts.push_back(static_cast<QLabel*>(watched)->text());
        }
        return false;
    }
    std::vector<QString> texts;
};

TEST(Form3, ShownForARunItPaintsEachProgressLineWithoutTheEventLoop) {
    // The run never returns to the event loop, yet every progress line must reach the screen.
    Form3 form({});
    PaintedTexts painted;
    form.Label1->installEventFilter(&painted);
    form.showForRun();
    EXPECT_FALSE(painted.texts.empty());
    for (const QString& line : {QStringLiteral("正在替换第 1 页   共 2 页"),
                                QStringLiteral("正在替换第 2 页   共 2 页")}) {
        Form3::setLabelText(form.Label1, line);
        form.repaint();
        ASSERT_FALSE(painted.texts.empty());
        EXPECT_EQ(painted.texts.back(), line);
    }
}

TEST(Form3, DoubleClickOnTheWindowOrAnyLabelReturnsToTheMainWindow) {
    for (int target = 0; target <= 5; ++target) {
        int shown = 0;
        QPointer<Form3> form = new Form3([&shown] { ++shown; });
        form->show();
        QLabel* labels[] = {form->Label1, form->Label2, form->Label3, form->Label4, form->Label5};
        QWidget* clicked = target == 0 ? static_cast<QWidget*>(form.data()) : labels[target - 1];
        QTest::mouseDClick(clicked, Qt::LeftButton, {}, QPoint(2, 2));
        EXPECT_EQ(shown, 1) << "target " << target;
        destroyClosedWindows();
        EXPECT_TRUE(form.isNull()) << "target " << target;  // closed and unloaded
        delete form.data();
    }
}

TEST(Form3, DoubleClickIsIgnoredWhileARunIsGoingOn) {
    int shown = 0;
    QPointer<Form3> form = new Form3([&shown] { ++shown; });
    form->show();
    form->setRunGoingOn(true);
    QTest::mouseDClick(form->Label1, Qt::LeftButton, {}, QPoint(2, 2));
    QTest::mouseDClick(form.data(), Qt::LeftButton, {}, QPoint(250, 70));
    destroyClosedWindows();
    ASSERT_FALSE(form.isNull());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(shown, 0);

    form->setRunGoingOn(false);
    QTest::mouseDClick(form.data(), Qt::LeftButton, {}, QPoint(250, 70));
    destroyClosedWindows();
    EXPECT_TRUE(form.isNull());
    EXPECT_EQ(shown, 1);
}

TEST(Form3, ClosedByTheWindowSystemAfterTheRunItStillLeadsBack) {
    int shown = 0;
    QPointer<Form3> form = new Form3([&shown] { ++shown; });
    form->show();
    form->setRunGoingOn(true);
    EXPECT_FALSE(form->close());
    EXPECT_EQ(shown, 0);
    form->setRunGoingOn(false);
    EXPECT_TRUE(form->close());
    destroyClosedWindows();
    EXPECT_TRUE(form.isNull());
    EXPECT_EQ(shown, 1);
}

}  // namespace
