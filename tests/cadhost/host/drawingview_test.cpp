// The drawing view, rendered offscreen: zoom to extents fills the view with the drawing.
#include "cadhost/host/drawingview.h"
#include "tests/support/ezdxf_qt.h"

#include <QImage>
#include <QTemporaryDir>

#include <gmock/gmock.h>

namespace ezdxf = quorvel::testsupport::ezdxfqt;

namespace quorvel::cadhost {
namespace {

// The box around every pixel that differs from the top-left (background) pixel.
QRect inkedArea(const QImage& image) {
    const QRgb background = image.pixel(0, 0);
    QRect area;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != background) {
                area |= QRect(x, y, 1, 1);
            }
        }
    }
    return area;
}

// The box around the pixels where one channel (0 red, 1 green, 2 blue) clearly outweighs the
// other two.
QRect tinted(const QImage& image, int channel) {
    QRect area;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const int v[] = {c.red(), c.green(), c.blue()};
            if (v[channel] > v[(channel + 1) % 3] + 60 && v[channel] > v[(channel + 2) % 3] + 60) {
                area |= QRect(x, y, 1, 1);
            }
        }
    }
    return area;
}

TEST(DrawingViewTest, ZoomToExtentsFitsTheDrawingAndWheelZoomsAtThePointer) {
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("sample.dwg"));
    ezdxf::write(QStringLiteral("sample"), file);
    const dxf::Drawing drawing = dxf::Drawing::load(file.toStdString());

    DrawingView view;
    view.resize(600, 400);
    view.show();
    view.setDrawing(&drawing);
    const QRectF extents = view.contentExtents();
    EXPECT_GT(extents.width(), 60);   // the line runs from x 0 to 100
    EXPECT_GT(extents.height(), 60);  // the circle reaches y 70, the text lies near y 80

    const QRect inked = inkedArea(view.grab().toImage());
    // fitted with a small margin: the drawing spans most of the view in one direction
    EXPECT_TRUE(inked.width() > 500 || inked.height() > 330)
        << inked.width() << "x" << inked.height();
    EXPECT_TRUE(QRect(0, 0, 600, 400).contains(inked));
}

TEST(DrawingViewTest, ByLayerColoursLayersThatAreOffAndBlockBasePoints) {
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("layers.dwg"));
    ezdxf::write(QStringLiteral("layers"), file);
    const dxf::Drawing drawing = dxf::Drawing::load(file.toStdString());

    DrawingView view;
    view.resize(400, 400);
    view.show();
    view.setDrawing(&drawing);
    const QImage image = view.grab().toImage();
    const QRect red = tinted(image, 0);
    const QRect blue = tinted(image, 2);
    EXPECT_TRUE(tinted(image, 1).isEmpty());  // the circle on the layer that is off
    ASSERT_GT(red.width(), 200);
    ASSERT_FALSE(blue.isEmpty());
    // The block's circle is centred where it was inserted: the square's centre.
    EXPECT_NEAR(blue.center().x(), red.center().x(), 3);
    EXPECT_NEAR(blue.center().y(), red.center().y(), 3);
}

TEST(DrawingViewTest, ShowsAnEmptyDrawingAndNoDrawingWithoutFailing) {
    const dxf::Drawing empty = dxf::Drawing::fromTemplate(CADHOST_TEMPLATE_SOURCE);
    DrawingView view;
    view.resize(300, 200);
    view.show();
    view.setDrawing(&empty);
    EXPECT_FALSE(view.grab().toImage().isNull());
    view.setDrawing(nullptr);
    EXPECT_FALSE(inkedArea(view.grab().toImage()).isEmpty());  // says there is no drawing
}

}  // namespace
}  // namespace quorvel::cadhost
