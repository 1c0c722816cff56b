// Long tables spread over sheets of at most 65,536 rows, each starting with the header.
#include <gtest/gtest.h>

#include "QtPrinters.h"
#include "SheetSplitter.h"

namespace {

QVector<QStringList> Numbered(int count) {
    QVector<QStringList> rows;
    for (int i = 0; i < count; ++i) rows.append({QString::number(i)});
    return rows;
}

}  // namespace

TEST(SheetSplitter, RowCountsAroundTheSheetLimit) {
    const QStringList header = {"h"};
    struct Case {
        int rows;
        QVector<int> sheetRows;  // rows per sheet including the header
    };
    const Case cases[] = {
        {0, {1}},
        {1, {2}},
        {65535, {65536}},
        {65536, {65536, 2}},
        {131070, {65536, 65536}},
        {131071, {65536, 65536, 2}},
    };
    for (const Case& c : cases) {
        const QVector<QStringList> rows = Numbered(c.rows);
        const QVector<SheetData> sheets = SplitIntoSheets(header, rows, "Log");
        ASSERT_EQ(sheets.size(), c.sheetRows.size()) << c.rows << " rows";
        int next = 0;
        for (int s = 0; s < sheets.size(); ++s) {
            ASSERT_EQ(sheets[s].rows.size(), c.sheetRows[s]);
            EXPECT_EQ(sheets[s].rows[0], header);
            // Data rows follow on in order, none lost or repeated.
            for (int r = 1; r < sheets[s].rows.size(); ++r, ++next)
                ASSERT_EQ(sheets[s].rows[r], rows[next]) << "sheet " << s << " row " << r;
        }
        EXPECT_EQ(next, c.rows);
    }
}

TEST(SheetSplitter, NamesStayDistinctAndWithin31Characters) {
    const QVector<SheetData> short3 = SplitIntoSheets({"h"}, Numbered(131071), "报警信息");
    ASSERT_EQ(short3.size(), 3);
    EXPECT_EQ(short3[0].name, "报警信息");
    EXPECT_EQ(short3[1].name, "报警信息 (2)");
    EXPECT_EQ(short3[2].name, "报警信息 (3)");

    const QString longName(40, u'x');
    const QVector<SheetData> long2 = SplitIntoSheets({"h"}, Numbered(65536), longName);
    ASSERT_EQ(long2.size(), 2);
    EXPECT_EQ(long2[0].name, QString(31, u'x'));
    EXPECT_EQ(long2[1].name, QString(27, u'x') + " (2)");
}
