// The register backup as data: the sheets a backup holds and the grid an import gives.
#include <gtest/gtest.h>

#include "RegisterBackup.h"
#include "RegisterTestSupport.h"
#include "XlsFileDialog.h"

using registerbackup::BackupSheets;
using registerbackup::GridFromSheet;

TEST(RegisterBackup, GridFromSheetCutsAndPadsRowsAndKeepsTextsAsTheyAre) {
    const auto grid = GridFromSheet({{"h1", "h2", "h3", "h4", "h5", "h6", "h7"},
                                     {" 1 ", "", "x"},
                                     {},
                                     {"a", "b", "c", "d", "e", "f", "g", "h"}},
                                    6);
    EXPECT_EQ(grid.header, QStringList({"h1", "h2", "h3", "h4", "h5", "h6"}));
    EXPECT_EQ(grid.rows, QVector<QStringList>({{" 1 ", "", "x", "", "", ""},
                                               QStringList(6, ""),
                                               {"a", "b", "c", "d", "e", "f"}}));
}

TEST(RegisterBackup, AHeaderAloneOrNoRowAtAllGivesOneBlankRow) {
    const auto headerOnly = GridFromSheet({{"A", "B"}}, 6);
    EXPECT_EQ(headerOnly.header, QStringList({"A", "B", "", "", "", ""}));
    EXPECT_EQ(headerOnly.rows, QVector<QStringList>({QStringList(6, "")}));

    const auto nothing = GridFromSheet({}, 6);
    EXPECT_EQ(nothing.header, QStringList(6, ""));
    EXPECT_EQ(nothing.rows, QVector<QStringList>({QStringList(6, "")}));
}

TEST(RegisterBackup, ARegisterLongerThanASheetGoesOnOnFurtherSheetsUnderTheHeader) {
    const QStringList header = {"编号", " 设备ID", " 方 位", "高温(℃)", "低温(℃)", "  备  注 "};
    QVector<QStringList> rows;
    for (int i = 0; i < 65536; ++i) rows.append({QString::number(i), "", "", "", "", ""});
    const QVector<SheetData> sheets = BackupSheets(header, rows);
    ASSERT_EQ(sheets.size(), 2);
    EXPECT_EQ(sheets[0].name, "Sheet1");
    ASSERT_EQ(sheets[0].rows.size(), 65536);
    EXPECT_EQ(sheets[0].rows.first(), header);
    EXPECT_EQ(sheets[0].rows.last().first(), "65534");
    EXPECT_EQ(sheets[1].rows, QVector<QStringList>({header, rows.last()}));

    const QVector<SheetData> one = BackupSheets(header, {QStringList(6, "")});
    ASSERT_EQ(one.size(), 1);
    EXPECT_EQ(one[0].rows, QVector<QStringList>({header, QStringList(6, "")}));
}

TEST(XlsFileName, XlsIsAppendedOnlyWhenMissing) {
    using xlsfiledialog::WithXlsExtension;
    EXPECT_EQ(WithXlsExtension("/d/配置表单备份"), "/d/配置表单备份.xls");
    EXPECT_EQ(WithXlsExtension("/d/a.xls"), "/d/a.xls");
    EXPECT_EQ(WithXlsExtension("/d/a.XlS"), "/d/a.XlS");
    EXPECT_EQ(WithXlsExtension("/d/a.xlsx"), "/d/a.xlsx.xls");
    EXPECT_EQ(WithXlsExtension("/d/a.xls.bak"), "/d/a.xls.bak.xls");
    EXPECT_EQ(WithXlsExtension("/d/xls"), "/d/xls.xls");
}
