// Pixel operations on QImage that the indicator widgets need: a surface flood fill and a
// key-colour replacement. Both compare colours on their RGB part only (alpha is ignored).
#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>

namespace surfacefill {

// Replaces the 4-connected region of pixels of colour `surface` that contains `start` with
// `fill`; stops at any other colour. Nothing happens when `start` lies outside the image or
// does not have the colour `surface`. The image is converted to a 32-bit format if needed.
// Returns the number of pixels changed.
int FloodFillSurface(QImage& image, QPoint start, QColor surface, QColor fill);

// Returns a copy of `image` in which every pixel of colour `key` is replaced by `replacement`.
QImage ReplaceKeyColour(const QImage& image, QColor key, QColor replacement);

}  // namespace surfacefill
