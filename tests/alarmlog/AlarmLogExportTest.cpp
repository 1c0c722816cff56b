// The alarm log export driven as an operator does: the listed records written through the
// save dialog, the file read back by an outside reader (python3-xlrd).
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <QApplication>
#include <QDate>
#include <QDateEdit>
#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QPushButton>
#include <QTest>
#include <cerrno>
#include <cstring>
#include <memory>

#include "FileDialogDriver.h"
#include "PythonTool.h"
#include "StationFixture.h"
#include "TStringGrid.h"

namespace {

const QStringList kHeader = {"  日  期", "  时 间", " 编  号", " 方 位", " 报警值"};

QVector<XlrdSheet> ReadWithXlrd(const QString& path) {
    return PythonTool::SheetsWithXlrd(path);
}

int Today() {
    const QDate d = QDate::currentDate();
    return d.year() * 10000 + d.month() * 100 + d.day();
}

class AlarmLogExport : public ::testing::Test {
  protected:
    void TearDown() override { s.reset(); }

    void Open() {
        s = std::make_unique<Station>(folder);
        s->Falm->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(s->Falm));
    }
    void AddAlarms(const QString& values) {
        folder.Sql("insert into alming(dates,times,code,fix,almtemp) values " + values);
    }
    int LogCount() { return folder.Sql("select count(*) from alming").toInt(); }
    TStringGrid* Grid() { return s->Falm->RzStringGrid1; }
    QVector<QStringList> Listed() {
        QVector<QStringList> rows;
        for (int r = 0; r < Grid()->RowCount(); ++r) rows.append(Grid()->RowCells(r));
        return rows;
    }
    QStringList Export(const QString& typed) {
        MessageBoxWatcher boxes;
        dialogs.Type(typed);
        QTest::mouseClick(s->Falm->RzBitBtn5, Qt::LeftButton);
        return boxes.Texts();
    }

    StationFolder folder;
    QTemporaryDir files;
    FileDialogDriver dialogs;
    std::unique_ptr<Station> s;
};

TEST_F(AlarmLogExport, WritesTheListedRecordsAsTheGridShowsThem) {
    AddAlarms(
        "(20071130, 93015, 3, '三号库房 ', '30.5'), (20071130, 510, 12, 'hall ', '-10.0625'),"
        "(20071129, 235959, 7, 'x', '41'), (20071201, 120000, 1, 'not listed', '1')");
    Open();
    s->Falm->DateEdit1->setDate(QDate(2007, 11, 1));
    s->Falm->DateEdit2->setDate(QDate(2007, 11, 30));
    QTest::mouseClick(s->Falm->RzBitBtn1, Qt::LeftButton);
    ASSERT_EQ(Grid()->RowCount(), 4);

    const QString path = files.filePath("报警信息表.xls");
    EXPECT_EQ(Export(files.filePath("报警信息表")), QStringList({"成功导出 3 条数据!"}));
    ASSERT_EQ(dialogs.Dialogs().size(), 1);
    EXPECT_EQ(dialogs.Dialogs()[0].presetName, "报警信息表");
    EXPECT_EQ(dialogs.Dialogs()[0].mode, QFileDialog::AcceptSave);
    EXPECT_EQ(dialogs.Dialogs()[0].filters, QStringList({"Excel 97-2003 (*.xls)"}));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    const auto sheets = ReadWithXlrd(path);
    ASSERT_EQ(sheets.size(), 1);
    // Dates, times and numbers are the grid's texts, not values a reader would reformat.
    EXPECT_EQ(sheets[0].rows,
              QVector<QStringList>({kHeader,
                                    {"2007年11月30日", "09:30:15", "3", "三号库房 ", "30.5"},
                                    {"2007年11月30日", "00:05:10", "12", "hall ", "-10.0625"},
                                    {"2007年11月29日", "23:59:59", "7", "x", "41"}}));
    EXPECT_EQ(sheets[0].rows, Listed());
    EXPECT_EQ(LogCount(), 4);  // the log itself is untouched
}

TEST_F(AlarmLogExport, ATextLongerThanACellHoldsIsCutAndTheMessageSaysSo) {
    // A location of the longest the register takes, stored with its trailing blank: one
    // character more than a cell of the file holds.
    const int today = Today();
    AddAlarms(QString("(%1, 80000, 1, replace(hex(zeroblob(32767)), '00', '库') || ' ', '30'),"
                      "(%1, 90000, 2, 'hall ', '31')")
                  .arg(today));
    Open();
    ASSERT_EQ(Grid()->RowCount(), 3);
    const QString location = Grid()->RowCells(2).value(3);
    ASSERT_EQ(location.size(), 32768);

    const QString path = files.filePath("long-location.xls");
    const QStringList texts = Export(path);
    ASSERT_EQ(texts.size(), 1);
    EXPECT_TRUE(texts[0].startsWith("成功导出 2 条数据!")) << texts[0].toStdString();
    EXPECT_TRUE(texts[0].contains("1 个单元格")) << texts[0].toStdString();
    EXPECT_TRUE(texts[0].contains("32767")) << texts[0].toStdString();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    const auto sheets = ReadWithXlrd(path);
    ASSERT_EQ(sheets.size(), 1);
    QVector<QStringList> expected = Listed();
    expected[2][3] = location.left(32767);
    EXPECT_TRUE(sheets[0].rows == expected);
    EXPECT_EQ(sheets[0].rows.value(2).value(3).size(), 32767);
    EXPECT_EQ(Grid()->RowCells(2).value(3), location);  // the grid keeps the whole text
}

TEST_F(AlarmLogExport, AnEmptyDayExportsTheHeaderAndOneEmptyRow) {
    AddAlarms("(20071130, 93015, 3, 'x', '30.5')");
    Open();
    const QString path = files.filePath("empty.xls");
    EXPECT_EQ(Export(path), QStringList({"成功导出 1 条数据!"}));
    const auto sheets = ReadWithXlrd(path);
    ASSERT_EQ(sheets.size(), 1);
    ASSERT_GE(sheets[0].rows.size(), 1);
    EXPECT_EQ(sheets[0].rows[0], kHeader);
    for (int r = 1; r < sheets[0].rows.size(); ++r)
        EXPECT_EQ(sheets[0].rows[r].join(""), "") << "row " << r + 1;
}

TEST_F(AlarmLogExport, AfterADeleteOnlyTheRemainingRecordsAreExported) {
    const int today = Today();
    AddAlarms(QString("(%1, 80000, 1, 'a', '30'), (%1, 90000, 2, 'b', '31'), "
                      "(%1, 100000, 3, 'c', '32')")
                  .arg(today));
    Open();
    ASSERT_EQ(Grid()->RowCount(), 4);
    Grid()->scrollTo(Grid()->Model()->index(1, 0));
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, Grid()->CellRect(1, 2).center());
    ASSERT_EQ(Grid()->Row(), 2);
    QTest::mouseClick(s->Falm->RzBitBtn2, Qt::LeftButton);
    ASSERT_EQ(Grid()->RowCount(), 3);

    const QString path = files.filePath("after-delete.xls");
    EXPECT_EQ(Export(path), QStringList({"成功导出 2 条数据!"}));
    const auto sheets = ReadWithXlrd(path);
    ASSERT_EQ(sheets.size(), 1);
    EXPECT_EQ(sheets[0].rows, Listed());
    ASSERT_EQ(sheets[0].rows.size(), 3);
    EXPECT_EQ(sheets[0].rows[1][2], "3");
    EXPECT_EQ(sheets[0].rows[2][2], "1");
}

TEST_F(AlarmLogExport, MoreRecordsThanASheetHoldsGoOnOnFurtherSheetsEachWithTheHeader) {
    constexpr int kRecords = 70000;
    // Distinct times, one second apart, newest listed first.
    folder.Sql(QString("with recursive n(i) as (select 0 union all select i + 1 from n "
                       "where i < %1) "
                       "insert into alming(dates,times,code,fix,almtemp) "
                       "select %2, (i / 3600) * 10000 + (i / 60 % 60) * 100 + i % 60, "
                       "i % 250 + 1, '库房' || (i % 40), '25.5' from n;")
                   .arg(kRecords - 1)
                   .arg(Today()));
    Open();
    ASSERT_EQ(Grid()->RowCount(), kRecords + 1);

    const QString path = files.filePath("long.xls");
    EXPECT_EQ(Export(path), QStringList({"成功导出 70000 条数据!"}));
    const auto sheets = ReadWithXlrd(path);
    ASSERT_EQ(sheets.size(), 2);
    EXPECT_NE(sheets[0].name, sheets[1].name);
    ASSERT_EQ(sheets[0].rows.size(), 65536);
    ASSERT_EQ(sheets[1].rows.size(), kRecords - 65535 + 1);
    EXPECT_EQ(sheets[0].rows[0], kHeader);
    EXPECT_EQ(sheets[1].rows[0], kHeader);
    // Every record once, in the grid's order across the sheets.
    QVector<QStringList> exported = sheets[0].rows;
    exported += sheets[1].rows.mid(1);
    EXPECT_TRUE(exported == Listed());
    EXPECT_EQ(sheets[1].rows.last()[1], "00:00:00");
}

TEST_F(AlarmLogExport, CancelWritesNothingAndAFailureNamesTheFile) {
    AddAlarms(QString("(%1, 80000, 1, 'a', '30')").arg(Today()));
    Open();
    {
        // Its own watcher only while cancelling: a second one alive during the export
        // below could take the error box before Export's watcher sees it.
        MessageBoxWatcher boxes;
        dialogs.Cancel();
        QTest::mouseClick(s->Falm->RzBitBtn5, Qt::LeftButton);
        EXPECT_EQ(dialogs.Dialogs().size(), 1);
        EXPECT_TRUE(boxes.Texts().isEmpty());
        EXPECT_TRUE(QDir(files.path()).isEmpty());
    }

    // The name the export writes is taken by a folder: the message names the file, nothing
    // else is left in the folder.
    ASSERT_TRUE(QDir(files.path()).mkdir("taken.xls"));
    const QString target = files.filePath("taken.xls");
    const QStringList texts = Export(files.filePath("taken"));
    ASSERT_EQ(dialogs.Dialogs().size(), 2);
    EXPECT_FALSE(dialogs.Dialogs()[1].refused);
    ASSERT_EQ(texts.size(), 1);
    EXPECT_TRUE(texts[0].contains(QDir::toNativeSeparators(target))) << texts[0].toStdString();
    EXPECT_EQ(QDir(files.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList({"taken.xls"}));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(LogCount(), 1);
}

TEST_F(AlarmLogExport, AFullDiskEndsTheExportWithTheFileNameAndLeavesNothingBehind) {
    // A small file system of the test's own; mounting it needs root.
    QTemporaryDir small;
    ASSERT_TRUE(small.isValid());
    if (mount("tmpfs", small.path().toLocal8Bit().constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << strerror(errno);
    struct Unmount {
        QString path;
        ~Unmount() { umount2(path.toLocal8Bit().constData(), MNT_DETACH); }
    } unmount{small.path()};

    folder.Sql(QString("with recursive n(i) as (select 0 union all select i + 1 from n "
                       "where i < 4999) "
                       "insert into alming(dates,times,code,fix,almtemp) "
                       "select %1, i, i + 1, '库房' || i, '25.5' from n;")
                   .arg(Today()));
    Open();
    ASSERT_EQ(Grid()->RowCount(), 5001);
    const QString target = small.path() + "/full.xls";
    const QStringList texts = Export(target);
    ASSERT_EQ(texts.size(), 1);
    EXPECT_TRUE(texts[0].contains(QDir::toNativeSeparators(target))) << texts[0].toStdString();
    EXPECT_TRUE(QDir(small.path()).isEmpty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
