#include "app/captionframe.h"

#include <QPainter>

namespace quorvel::app {

namespace {

constexpr int kCaptionIndent = 6;   // from the frame's left edge to the caption's gap
constexpr int kCaptionPadding = 2;  // the gap on either side of the caption

}  // namespace

CaptionFrame::CaptionFrame(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {}

QRect CaptionFrame::captionRect() const {
    const QFontMetrics metrics = fontMetrics();
    return {kCaptionIndent, 0, metrics.horizontalAdvance(title()) + 2 * kCaptionPadding,
            metrics.height()};
}

void CaptionFrame::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QRect caption = captionRect();
    // An etched line, as a sunken frame is drawn: a dark line with a light one inside it.
    const QRect line = rect().adjusted(0, caption.center().y(), -2, -2);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(line);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(line.translated(1, 1));

    painter.fillRect(caption, palette().window());
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(caption, Qt::AlignCenter | Qt::TextSingleLine, title());
}

}  // namespace quorvel::app
