// Every text the station shows is drawn with real glyphs, "℃" included, by the same font
// whatever the locale and whichever CJK font the system would prefer for Chinese. CTest runs
// this program under zh_CN.UTF-8, C.UTF-8 and en_US.UTF-8, and once with a font set-up that
// puts another CJK font first for Chinese text.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QGlyphRun>
#include <QGroupBox>
#include <QLabel>
#include <QPainterPath>
#include <QRawFont>
#include <QRegularExpression>
#include <QTextLayout>
#include <algorithm>
#include <set>

#include "ChineseInterface.h"
#include "StationFixture.h"
#include "TestSupport.h"

namespace {

class ChineseEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { SetUpChineseInterface(*qApp); }
};
[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new ChineseEnvironment);

// The texts in the station's sources that hold anything beyond ASCII: every caption, message
// and board line the program writes in Chinese, with its signs.
QStringList ChineseTextsOfTheSources() {
    QStringList texts;
    const QRegularExpression literal(QStringLiteral("\"((?:[^\"\\\\\\n]|\\\\.)*)\""));
    for (const char* module :
         {"app", "link", "register", "alarmlog", "settings", "widgets", "storage", "sound"}) {
        QDirIterator it(testsupport::SourceDir() + '/' + module, {"*.cpp", "*.h"}, QDir::Files);
        while (it.hasNext()) {
            QFile f(it.next());
            if (!f.open(QIODevice::ReadOnly)) continue;
            const QString source = QString::fromUtf8(f.readAll());
            for (auto m = literal.globalMatch(source); m.hasNext();) {
                QString t = m.next().captured(1);
                bool wide = false;
                for (QChar c : t) wide = wide || c.unicode() > 0x7f;
                if (!wide) continue;
                t.replace(QStringLiteral("\\n"), QStringLiteral("\n"));
                t.replace(QStringLiteral("\\\""), QStringLiteral("\""));
                texts << t;
            }
        }
    }
    return texts;
}

// Every text the windows show and the font each is drawn in.
void CollectWindowTexts(QWidget* top, std::vector<std::pair<QFont, QString>>& out) {
    QList<QWidget*> widgets = top->findChildren<QWidget*>();
    widgets.prepend(top);
    for (QWidget* w : widgets) {
        if (w->isWindow()) out.emplace_back(w->font(), w->windowTitle());
        if (auto* b = qobject_cast<QAbstractButton*>(w)) out.emplace_back(b->font(), b->text());
        if (auto* l = qobject_cast<QLabel*>(w)) out.emplace_back(l->font(), l->text());
        if (auto* g = qobject_cast<QGroupBox*>(w)) out.emplace_back(g->font(), g->title());
        if (auto* board = qobject_cast<TMessageBoard*>(w))
            for (int r = 0; r < board->Count(); ++r)
                out.emplace_back(board->font(), board->Line(r));
        if (auto* v = qobject_cast<QAbstractItemView*>(w); v && v->model()) {
            QAbstractItemModel* m = v->model();
            for (int r = 0; r < qMin(m->rowCount(), 3); ++r)
                for (int c = 0; c < m->columnCount(); ++c)
                    out.emplace_back(v->font(), m->data(m->index(r, c)).toString());
            for (int c = 0; c < m->columnCount(); ++c)
                out.emplace_back(v->font(), m->headerData(c, Qt::Horizontal).toString());
        }
    }
}

// The characters of text that the font does not draw: no glyph, an empty glyph, or a glyph of
// another font than the station's own. Each character is laid out on its own, so that the
// fault names it.
QStringList BadGlyphs(const QFont& font, const QString& text) {
    static QHash<QString, QString> verdicts;  // font and character -> fault or empty
    QStringList bad;
    for (const QChar ch : text) {
        if (ch.isSpace() || ch.isSurrogate()) continue;
        const QString key = font.key() + QLatin1Char('|') + ch;
        auto known = verdicts.constFind(key);
        if (known == verdicts.constEnd()) {
            QString fault;
            QTextLayout layout(QString(ch), font);
            layout.beginLayout();
            layout.createLine();
            layout.endLayout();
            const QList<QGlyphRun> runs = layout.glyphRuns();
            if (runs.isEmpty()) fault = QStringLiteral("no glyph for ");
            for (const QGlyphRun& run : runs) {
                const QRawFont raw = run.rawFont();
                for (quint32 g : run.glyphIndexes()) {
                    if (g == 0)
                        fault = QStringLiteral("no glyph for ");
                    else if (raw.pathForGlyph(g).isEmpty())
                        fault = QStringLiteral("empty glyph for ");
                    else if (raw.familyName() != StationFontFamily())
                        fault = raw.familyName() + QStringLiteral(" draws ");
                }
            }
            known = verdicts.insert(key, fault);
        }
        if (!known->isEmpty())
            bad << *known + ch + QStringLiteral(" in \"") + text + QStringLiteral("\" (") +
                       font.families().join(',') + ')';
    }
    return bad;
}

}  // namespace

TEST(StationFont, EveryTextTheStationShowsHasRealGlyphsOfOneFont) {
    const QByteArray lang = qgetenv("LANG");
    StationFolder folder;
    folder.AddSensors({{1, "28A001 ", "冷库一号 ", -5, -25, "2024-12-09 08:15:00"},
                       {2, "28A002 ", "服务器机房 ", 28, 10}});
    Station s(folder);
    s.Fmain->AddBoardLine(QStringLiteral("1号 冷库一号 -18.5℃"));

    std::vector<std::pair<QFont, QString>> shown;
    for (QWidget* w : std::initializer_list<QWidget*>{s.Fmain.get(), s.Fset, s.Fset2, s.Falm})
        CollectWindowTexts(w, shown);
    // The messages and board lines, in the fonts of the boxes and of the board.
    const QStringList sourceTexts = ChineseTextsOfTheSources();
    ASSERT_GT(sourceTexts.size(), 100);
    ASSERT_TRUE(sourceTexts.contains(QStringLiteral("状态(℃)")));
    std::set<QString> fontsSeen;
    for (const auto& [font, text] : std::vector(shown)) fontsSeen.insert(font.toString());
    for (const QString& t : sourceTexts) {
        shown.emplace_back(QApplication::font(), t);
        shown.emplace_back(s.Fmain->RzStringGrid1->font(), t);
        shown.emplace_back(s.Fmain->RzListBox1->font(), t);
    }

    QStringList bad;
    int checked = 0;
    for (const auto& [font, text] : shown) {
        if (text.trimmed().isEmpty()) continue;
        ++checked;
        bad << BadGlyphs(font, text);
    }
    bad.removeDuplicates();
    // Missing and empty glyphs first: they are what the operator does not see at all.
    std::stable_partition(bad.begin(), bad.end(), [](const QString& b) {
        return b.contains(QStringLiteral(" glyph for "));
    });
    EXPECT_GT(checked, 300);
    EXPECT_TRUE(bad.isEmpty()) << "LANG=" << lang.constData() << ", " << bad.size() << " faults:\n"
                               << bad.mid(0, 40).join("\n").toStdString();
}
