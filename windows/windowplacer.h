#pragma once
// The placement operations applied to real Qt windows: screen size, origin and twips per pixel
// from the primary screen, geometry from the window frame, the pointer from QCursor. Positions in
// twips are relative to the primary screen's top-left corner.

#include <QPoint>

#include "windows/placement.h"

class QWidget;

namespace quorvel::windows {

// The primary screen in twips; twips per pixel is 1440 / logical DPI (15 at 96 DPI).
placement::ScreenTwips screenTwips(const QWidget* window);

// The window's outer frame in twips, relative to the primary screen.
placement::TwipsGeometry twipsGeometry(const QWidget* window);

// Moves the window's frame to a position given in twips; the size stays.
void moveToTwips(QWidget* window, float left, float top);

// Centres the window; a window not yet shown is centred again, with its frame, once the window
// manager has framed it.
void CenterForm(QWidget* window);
void CenterForm1(QWidget* window, placement::Edge edge);
void SetTopmost(QWidget* window);

// One auto-hide step with the pointer at the given screen position (pixels).
void DockToEdge(QWidget* window, QPoint pointer);
// The same with the pointer's current position.
void DockToEdge(QWidget* window);

}  // namespace quorvel::windows
