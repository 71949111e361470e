#pragma once
#include <QGroupBox>

namespace quorvel::app {

// A frame whose caption sits on its top line, near the left end, the line broken behind it.
// The controls placed inside start just under the caption, so the caption must not take more
// room than its own line of text (a group box draws its title above the line instead).
class CaptionFrame : public QGroupBox {
    Q_OBJECT
public:
    CaptionFrame(const QString& caption, QWidget* parent);

    // Where the caption is drawn, in the frame's coordinates.
    QRect captionRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace quorvel::app
