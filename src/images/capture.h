// Screen-capture logic that needs no window: darkening the snapshot, the
// selection's edge zones and sizing rules, and the quality-75 JPEG.
#pragma once

#include <QImage>
#include <QRect>

#include <string>

namespace inkpost::capture {

inline constexpr int kEdgeZone = 4;          // pixels from an edge that count as on it
inline constexpr int kMinSelection = 10;     // smaller selections are not shown
inline constexpr int kHandleThreshold = 16;  // handles only when both sides exceed it
inline constexpr int kJpegQuality = 75;

// A new 24-bit image with every channel of every pixel halved (rounding
// down): colour AND 0xFEFEFE, shifted right by one.
QImage DarkenImage(const QImage& screen);

// Where a press at (x, y) inside a w x h selection lands, tested in the order
// corner top-left, bottom-right, top-right, bottom-left, then the edges top,
// bottom, left, right; anything else is Inside (a move).
enum class Zone { TopLeft, BottomRight, TopRight, BottomLeft, Top, Bottom, Left, Right, Inside };
Zone zoneAt(int x, int y, int w, int h);

// The selection after dragging `zone` by (dx, dy) from `start`: edges in the
// zone follow the mouse, the others stay; Inside moves the whole rectangle.
// Sides never shrink below kMinSelection.
QRect dragSelection(const QRect& start, Zone zone, int dx, int dy);

// The rectangle spanned by two anchor points, whatever the drag direction.
QRect spanned(int x1, int y1, int x2, int y2);

// The eight 4 x 4 handle squares of a w x h selection: corners flush with
// both edges, edge middles centred (middle - 2 .. middle + 2).
void handleSquares(int w, int h, QRect out[8]);

// Writes `image` as a baseline JPEG at `quality` with libjpeg-turbo.
// Returns false when the file cannot be written.
bool writeJpeg(const QImage& image, const std::string& path, int quality = kJpegQuality);

}  // namespace inkpost::capture
