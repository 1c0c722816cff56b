#include "GridFont.h"

#include <QFontMetrics>

QFont FontWithCellHeight(QFont base, int cellHeight) {
    if (cellHeight < 1) cellHeight = 1;
    // Cell height grows with the pixel size; walk down from the cell height itself.
    for (int px = cellHeight; px >= 1; --px) {
        base.setPixelSize(px);
        if (QFontMetrics(base).height() <= cellHeight) return base;
    }
    base.setPixelSize(1);
    return base;
}
