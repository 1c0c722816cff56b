#include <gtest/gtest.h>

#include <QFont>
#include <QImage>
#include <QPainter>

#include "LineShaper.h"

namespace {

QImage Draw(const LineShaper::Shaped& shaped) {
    QImage image(640, 40, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setPen(Qt::black);
    for (const QGlyphRun& run : shaped.glyphs) painter.drawGlyphRun(QPointF(3, 4), run);
    return image;
}

QFont BoardFont(int pixels, const QString& family = QString()) {
    QFont font;
    if (!family.isEmpty()) font.setFamily(family);
    font.setPixelSize(pixels);
    return font;
}

const QStringList kLines = {
    QStringLiteral("ID:28C001 温度:20.625℃"),
    QStringLiteral("ID:28C002 温度:-5.5℃"),
    QStringLiteral("ID:28CFFF报警"),
    QStringLiteral("采集数据..."),
    QStringLiteral("错误(3次)"),
    QStringLiteral("2026-12-10 03:22:31 通信中断，正在重新连接..."),
    QStringLiteral("  前导空格 and trailing  "),
    QStringLiteral("Only ASCII, with kerning: AV To Wa"),
    QStringLiteral("纯中文的一行"),
    QStringLiteral("ID:28C001 温度:20.625℃"),  // again: from kept pieces
    // Shaped whole: right-to-left text, combining marks, tabs.
    QStringLiteral("نص عربي 12 ID"),
    QStringLiteral("cafe\u0301 温度"),
    QStringLiteral("a\tb 温度"),
};

}  // namespace

TEST(LineShaper, LinesPutTogetherFromPiecesLookExactlyLikeLinesShapedWhole) {
    // Latin fonts whose ascent differs from the Chinese fallback's: pieces drawn in different
    // fonts must still share the line's baseline.
    for (const QString& family :
         {QString(), QStringLiteral("Lato"), QStringLiteral("DejaVu Serif")})
        for (const int pixels : {12, 17}) {
            const QFont font = BoardFont(pixels, family);
            LineShaper shaper;
            for (const QString& text : kLines) {
                const LineShaper::Shaped pieces = shaper.Shape(text, font);
                const LineShaper::Shaped whole = LineShaper::ShapeWhole(text, font);
                EXPECT_EQ(pieces.width, whole.width) << text.toStdString() << " at " << pixels;
                EXPECT_GT(whole.width, 0) << text.toStdString();
                EXPECT_TRUE(Draw(pieces) == Draw(whole)) << text.toStdString() << " at " << pixels;
            }
        }
}

TEST(LineShaper, PiecesAreKeptPerFontWithinTheirLimit) {
    LineShaper shaper(5);
    const QString line = QStringLiteral("ID:28C001 温度:20.625℃");  // four pieces
    shaper.Shape(line, BoardFont(12));
    EXPECT_EQ(shaper.KeptPieces(), 4);
    shaper.Shape(line, BoardFont(12));
    EXPECT_EQ(shaper.KeptPieces(), 4);  // nothing new shaped
    // Past the limit the kept pieces start again, and lines stay right.
    const QString other = QStringLiteral("ID:28C002 温度:21.5℃");
    EXPECT_TRUE(Draw(shaper.Shape(other, BoardFont(12))) ==
                Draw(LineShaper::ShapeWhole(other, BoardFont(12))));
    EXPECT_LE(shaper.KeptPieces(), 5);
    // Another font: nothing kept for the first one is used for it.
    EXPECT_TRUE(Draw(shaper.Shape(line, BoardFont(20))) ==
                Draw(LineShaper::ShapeWhole(line, BoardFont(20))));
    EXPECT_EQ(shaper.KeptPieces(), 4);
}
