#include "LineShaper.h"

#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// One line of layout, unwrapped; the caller reads it before the layout goes.
QTextLine LayOut(QTextLayout& layout) {
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid()) line.setLineWidth(1e6);
    layout.endLayout();
    return line;
}

}  // namespace

LineShaper::LineShaper(int maxPieces) : maxPieces_(std::max(1, maxPieces)) {}

LineShaper::Shaped LineShaper::ShapeWhole(const QString& text, const QFont& font) {
    QTextLayout layout(text, font);
    const QTextLine line = LayOut(layout);
    Shaped shaped;
    shaped.glyphs = layout.glyphRuns();
    shaped.width = line.isValid() ? static_cast<int>(std::ceil(line.naturalTextWidth())) : 0;
    return shaped;
}

LineShaper::Piece LineShaper::ShapePiece(const QString& text, const QFont& font) {
    QTextLayout layout(text, font);
    const QTextLine line = LayOut(layout);
    Piece piece;
    if (!line.isValid()) return piece;
    piece.advance = line.horizontalAdvance();
    piece.natural = line.naturalTextWidth();
    piece.ascent = line.ascent();
    piece.glyphs = layout.glyphRuns();
    for (QGlyphRun& run : piece.glyphs) {
        QList<QPointF> positions = run.positions();
        for (QPointF& p : positions) p.ry() -= piece.ascent;
        run.setPositions(positions);
    }
    return piece;
}

bool LineShaper::NeedsWholeShaping(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.isSurrogate() || c.isMark() ||
            c.category() == QChar::Other_Format)
            return true;
        switch (c.direction()) {
            case QChar::DirR:
            case QChar::DirAL:
            case QChar::DirRLE:
            case QChar::DirRLO:
            case QChar::DirRLI:
            case QChar::DirLRE:
            case QChar::DirLRO:
            case QChar::DirLRI:
            case QChar::DirFSI:
            case QChar::DirPDF:
            case QChar::DirPDI:
                return true;
            default:
                break;
        }
    }
    return false;
}

LineShaper::Piece LineShaper::Find(const QString& text, const QFont& font) {
    const auto it = pieces_.constFind(text);
    if (it != pieces_.constEnd()) return *it;
    // Lines with something new in every one (times of day) would otherwise grow the store
    // without end; starting again now and then costs one shaping per piece.
    if (pieces_.size() >= maxPieces_) pieces_.clear();
    const Piece piece = ShapePiece(text, font);
    pieces_.insert(text, piece);
    return piece;
}

LineShaper::Shaped LineShaper::Shape(const QString& text, const QFont& font) {
    if (text.isEmpty() || NeedsWholeShaping(text)) return ShapeWhole(text, font);
    if (font != font_) {
        pieces_.clear();
        font_ = font;
    }
    std::vector<Piece> parts;  // copies: the glyphs are shared, not copied
    int start = 0;
    for (int i = 1; i <= text.size(); ++i) {
        if (i < text.size() && (text[i].unicode() < 0x80) == (text[start].unicode() < 0x80))
            continue;
        parts.push_back(Find(text.mid(start, i - start), font));
        start = i;
    }
    // Pieces drawn in different fonts share one baseline, as on a line laid out at once: the
    // deepest ascent of them all.
    qreal ascent = 0;
    for (const Piece& part : parts) ascent = std::max(ascent, part.ascent);
    Shaped shaped;
    qreal x = 0;
    qreal natural = 0;
    for (const Piece& part : parts) {
        for (QGlyphRun run : part.glyphs) {
            QList<QPointF> positions = run.positions();
            for (QPointF& p : positions) p += QPointF(x, ascent);
            run.setPositions(positions);
            shaped.glyphs.append(run);
        }
        if (part.natural > 0) natural = x + part.natural;
        x += part.advance;
    }
    shaped.width = static_cast<int>(std::ceil(natural));
    return shaped;
}
