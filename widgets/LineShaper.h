// Turns a line of text into glyphs placed on one screen line, for widgets that draw many short
// lines and keep them (the message board).
//
// Shaping (choosing glyphs and fonts, with the font fallback Chinese text needs) costs far more
// than placing glyphs already chosen, and board lines repeat the same words and numbers. So a
// line is cut into pieces, each a run of ASCII characters or a run of other characters, each
// piece is shaped once per font and kept, and a line is put together from its pieces. Text whose
// look depends on its neighbours across such a cut (right-to-left scripts, combining marks,
// format characters, tabs, characters outside the basic plane) is shaped as a whole instead.
#pragma once

#include <QFont>
#include <QGlyphRun>
#include <QHash>
#include <QList>
#include <QString>

class LineShaper {
  public:
    struct Shaped {
        QList<QGlyphRun> glyphs;  // positions from the line's left end, y on the baseline
        int width = 0;            // of the drawn text, trailing spaces not counted
    };

    explicit LineShaper(int maxPieces = 4096);

    // The line as whole-line shaping would place it, from kept pieces where possible.
    Shaped Shape(const QString& text, const QFont& font);
    // The line shaped as a whole, nothing kept.
    static Shaped ShapeWhole(const QString& text, const QFont& font);

    int KeptPieces() const { return static_cast<int>(pieces_.size()); }

  private:
    struct Piece {
        QList<QGlyphRun> glyphs;  // positions from the piece's left end, y from its baseline
        qreal advance = 0;        // to where the next piece starts
        qreal natural = 0;        // to the end of its last drawn glyph
        qreal ascent = 0;
    };

    static bool NeedsWholeShaping(const QString& text);
    static Piece ShapePiece(const QString& text, const QFont& font);
    Piece Find(const QString& text, const QFont& font);

    const int maxPieces_;
    QFont font_;
    QHash<QString, Piece> pieces_;
};
