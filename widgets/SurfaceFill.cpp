#include "SurfaceFill.h"

#include <vector>

namespace surfacefill {

namespace {

QImage::Format WorkingFormat(const QImage& image) {
    return image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
}

}  // namespace

int FloodFillSurface(QImage& image, QPoint start, QColor surface, QColor fill) {
    if (image.isNull() || !image.rect().contains(start)) return 0;
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32) {
        image = image.convertToFormat(WorkingFormat(image));
    }
    const QRgb target = surface.rgb() & RGB_MASK;
    const QRgb paint = (fill.rgb() & RGB_MASK) | 0xFF000000u;
    const int w = image.width();
    const int h = image.height();
    auto colourAt = [&](int x, int y) {
        return reinterpret_cast<const QRgb*>(image.constScanLine(y))[x] & RGB_MASK;
    };
    if (colourAt(start.x(), start.y()) != target) return 0;

    // Scanline fill with an explicit stack; a visited mask keeps it finite even when the
    // fill colour equals the surface colour.
    std::vector<unsigned char> visited(static_cast<size_t>(w) * h, 0);
    auto seen = [&](int x, int y) -> unsigned char& {
        return visited[static_cast<size_t>(y) * w + x];
    };
    std::vector<QPoint> stack{start};
    int changed = 0;
    while (!stack.empty()) {
        const QPoint p = stack.back();
        stack.pop_back();
        int y = p.y();
        if (seen(p.x(), y) || colourAt(p.x(), y) != target) continue;
        int x0 = p.x();
        while (x0 > 0 && !seen(x0 - 1, y) && colourAt(x0 - 1, y) == target) --x0;
        int x1 = p.x();
        while (x1 < w - 1 && !seen(x1 + 1, y) && colourAt(x1 + 1, y) == target) ++x1;
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = x0; x <= x1; ++x) {
            line[x] = paint;
            seen(x, y) = 1;
            ++changed;
        }
        for (int ny : {y - 1, y + 1}) {
            if (ny < 0 || ny >= h) continue;
            bool inRun = false;
            for (int x = x0; x <= x1; ++x) {
                const bool candidate = !seen(x, ny) && colourAt(x, ny) == target;
                if (candidate && !inRun) stack.emplace_back(x, ny);
                inRun = candidate;
            }
        }
    }
    return changed;
}

QImage ReplaceKeyColour(const QImage& image, QColor key, QColor replacement) {
    if (image.isNull()) return image;
    QImage out = image.convertToFormat(WorkingFormat(image));
    const QRgb target = key.rgb() & RGB_MASK;
    const QRgb paint = (replacement.rgb() & RGB_MASK) | 0xFF000000u;
    for (int y = 0; y < out.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            if ((line[x] & RGB_MASK) == target) line[x] = paint;
        }
    }
    return out;
}

}  // namespace surfacefill
