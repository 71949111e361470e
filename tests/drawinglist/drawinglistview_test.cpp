#include "drawinglist/drawinglistview.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QDropEvent>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QUrl>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "drawinglist/drawinglistmodel.h"

using quorvel::drawinglist::DrawingListModel;
using quorvel::drawinglist::DrawingListView;

namespace {

QStringList entries(const DrawingListModel& model) {
    QStringList all;
    for (int i = 0; i < model.count(); ++i) {
        all << model.textAt(i);
    }
    return all;
}

class DrawingListViewTest : public ::testing::Test {
protected:
    DrawingListViewTest() {
        view.resize(400, 200);
        tester = std::make_unique<QAbstractItemModelTester>(
            view.drawings(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    }

    DrawingListModel& model() { return *view.drawings(); }

    void select(std::initializer_list<int> rows) {
        for (int row : rows) {
            view.selectionModel()->select(model().index(row), QItemSelectionModel::Select);
        }
    }

    // A file manager's drop: drag enter, then the drop itself, on the list's client area.
    bool drop(QMimeData& mime) {
        const QPointF where(10, 10);
        QDragEnterEvent enter(where.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &enter);
        if (!enter.isAccepted()) {
            return false;
        }
        QDropEvent dropEvent(where, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &dropEvent);
        return dropEvent.isAccepted();
    }

    void moveMouseTo(int y) {
        QMouseEvent move(QEvent::MouseMove, QPointF(20, y),
                         view.viewport()->mapToGlobal(QPointF(20, y)), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &move);
    }

    DrawingListView view;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

}  // namespace

TEST_F(DrawingListViewTest, DroppedFilesEndingInDwgAreAddedDuplicatesIncluded) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile("/data/a.dwg"), QUrl::fromLocalFile("/data/b.DWG"),
                  QUrl::fromLocalFile("/data/c.txt"), QUrl::fromLocalFile("/data/plandwg"),
                  QUrl("https://example.org/web.dwg"), QUrl::fromLocalFile("/data/a.dwg"),
                  QUrl::fromLocalFile("/data/工程 图/ 首层.dwg")});
    ASSERT_TRUE(drop(mime));
    EXPECT_EQ(entries(model()), QStringList({"/data/a.dwg", "/data/a.dwg", "/data/plandwg",
                                             "/data/工程 图/ 首层.dwg"}));
}

TEST_F(DrawingListViewTest, ADropWithoutFilesIsRefusedAndAddsNothing) {
    QMimeData text;
    text.setText("/data/a.dwg");
    EXPECT_FALSE(drop(text));
    QMimeData noDrawings;
    noDrawings.setUrls({QUrl::fromLocalFile("/data/readme.txt")});
    drop(noDrawings);
    EXPECT_EQ(model().count(), 0);
}

TEST_F(DrawingListViewTest, RemovingNonAdjacentSelectedEntriesKeepsTheRestInOrder) {
    QStringList paths;
    for (int i = 0; i < 3000; ++i) {
        paths << QStringLiteral("/d/%1.dwg").arg(i, 4, 10, QLatin1Char('0'));
    }
    model().addAll(paths);
    QItemSelection selection;
    QStringList kept;
    for (int i = 0; i < 3000; ++i) {
        if (i % 3 == 1) {
            selection.select(model().index(i), model().index(i));
        } else {
            kept << paths[i];
        }
    }
    view.selectionModel()->select(selection, QItemSelectionModel::Select);
    view.removeSelected();
    EXPECT_EQ(entries(model()), kept);

    // A few scattered rows, announced one stretch at a time.
    const QStringList before = entries(model());
    select({1, 4, 5, 9});
    view.removeSelected();
    EXPECT_EQ(entries(model()).size(), before.size() - 4);
    EXPECT_EQ(entries(model()).mid(0, 6),
              QStringList({before[0], before[2], before[3], before[6], before[7], before[8]}));
    view.removeSelected();  // nothing selected any more
    EXPECT_EQ(entries(model()).size(), before.size() - 4);
}

TEST_F(DrawingListViewTest, AddingKeepsTheSelectionOnTheSameEntries) {
    model().addAll({"/d/b.dwg", "/d/d.dwg", "/d/f.dwg"});
    select({1});
    model().addAll({"/d/a.dwg", "/d/e.dwg", "/d/c.dwg"});
    const QModelIndexList selected = view.selectionModel()->selectedIndexes();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(model().textAt(selected.front().row()), "/d/d.dwg");
}

TEST_F(DrawingListViewTest, DoubleClickRemovesTheEntryUnderThePointer) {
    model().addAll({"/d/a.dwg", "/d/b.dwg", "/d/c.dwg"});
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const QRect second = view.visualRect(model().index(1));
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, Qt::NoModifier, second.center());
    EXPECT_EQ(entries(model()), QStringList({"/d/a.dwg", "/d/c.dwg"}));
}

TEST_F(DrawingListViewTest, TooltipNamesTheEntryUnderThePointerInAScrolledList) {
    for (int i = 0; i < 30; ++i) {
        model().add(QStringLiteral("/d/%1.dwg").arg(i, 2, 10, QLatin1Char('0')));
    }
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const int rowHeight = view.rowHeightPixels();
    ASSERT_GT(rowHeight, 0);
    // The rows on screen are as tall as the arithmetic assumes.
    EXPECT_EQ(view.visualRect(model().index(0)).height(), rowHeight);

    view.verticalScrollBar()->setValue(10);
    ASSERT_EQ(view.indexAt(QPoint(5, 1)).row(), 10);
    moveMouseTo(2 * rowHeight + rowHeight / 2);
    EXPECT_EQ(view.toolTip(), "/d/12.dwg");
    EXPECT_EQ(view.indexAt(QPoint(5, 2 * rowHeight + rowHeight / 2)).row(), 12);
    moveMouseTo(0);
    EXPECT_EQ(view.toolTip(), "/d/10.dwg");

    // Below the last entry.
    model().removeAll();
    model().addAll({"/d/a.dwg", "/d/b.dwg", "/d/c.dwg"});
    moveMouseTo(3 * rowHeight + 1);
    EXPECT_EQ(view.toolTip(), DrawingListView::hintText());
    moveMouseTo(3 * rowHeight - 1);
    EXPECT_EQ(view.toolTip(), "/d/c.dwg");
    model().removeAll();
    moveMouseTo(1);
    EXPECT_EQ(view.toolTip(), "双击删除单个列表，支持资源管理器拖放文件");
}
