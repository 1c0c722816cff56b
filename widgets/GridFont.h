// Fonts sized by their cell height (ascent + descent, internal leading included), the measure
// in which the station states how big grid text is.
#pragma once

#include <QFont>

// base with the largest pixel size whose cell height does not exceed cellHeight (at least 1).
QFont FontWithCellHeight(QFont base, int cellHeight);
