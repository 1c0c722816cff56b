// The register's spreadsheet backup and import, driven as an operator does: the buttons
// clicked, the file dialogs answered by typing a path, the message boxes read. Every file the
// window writes is read back by an outside reader (python3-xlrd); files made by another
// program (python3-xlwt) are imported.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

#include "FileDialogDriver.h"
#include "PythonTool.h"
#include "RegisterTestSupport.h"
#include "XlsWriter.h"

using namespace registertest;

namespace {

const QStringList kHeader = {"编号", " 设备ID", " 方 位", "高温(℃)", "低温(℃)", "  备  注 "};

QVector<XlrdSheet> ReadWithXlrd(const QString& path) {
    return PythonTool::SheetsWithXlrd(path);
}

// Rows cut or padded to six cells, as the grid holds them.
QVector<QStringList> SixColumns(QVector<QStringList> rows) {
    for (QStringList& r : rows) r.resize(6);
    return rows;
}

QStringList FilesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

class RegisterSpreadsheet : public ::testing::Test {
  protected:
    void Open() {
        s = std::make_unique<Station>(folder);
        ShowRegister(*s);
        w = s->Fset;
        g = w->RzStringGrid1;
    }
    void TearDown() override { s.reset(); }

    QVector<QStringList> AllGridRows() const {
        QVector<QStringList> rows{g->RowCells(0)};
        rows += GridRows(g);
        return rows;
    }

    // Backup to the typed name; returns the message boxes' texts.
    QStringList Backup(const QString& typed) {
        MessageBoxWatcher boxes;
        dialogs.Type(typed);
        Click(w->SaveSBtn);
        return boxes.Texts();
    }
    QStringList Import(const QString& typed) {
        MessageBoxWatcher boxes;
        dialogs.Type(typed);
        Click(w->SortSBtn);
        return boxes.Texts();
    }

    StationFolder folder;
    QTemporaryDir files;
    FileDialogDriver dialogs;
    std::unique_ptr<Station> s;
    TFset* w = nullptr;
    TStringGrid* g = nullptr;
};

TEST_F(RegisterSpreadsheet, BackupOfTheGridWithUnsavedChangesAndImportRestoresItExactly) {
    folder.AddSensors({{0, "0A0A0A ", "备用 "},
                       {2, "000002 ", "二号库房 ", 25.5, 0.0625},
                       {7, "000007 ", "seven ", 30, -10}});
    Open();
    const QString stored = Stored(folder);

    // An unsaved change: row 3 updated and a row added.
    ClickRow(g, 3);
    Type(w->RzEdit3, "seven east");
    Click(w->SpeedButton3);
    TypeRow(w, {"9", "0b0c0d", "new store", "", "-5", "remark one"});
    Click(w->SpeedButton1);
    ASSERT_TRUE(w->SpeedButton4->isEnabled());
    const QVector<QStringList> shown = AllGridRows();
    ASSERT_EQ(shown.size(), 5);

    const QString path = files.filePath("配置表单备份.xls");
    EXPECT_EQ(Backup(files.filePath("配置表单备份")), QStringList({"成功导出 4 条数据!"}));
    ASSERT_EQ(dialogs.Dialogs().size(), 1);
    const FileDialogDriver::Seen& save = dialogs.Dialogs()[0];
    EXPECT_EQ(save.mode, QFileDialog::AcceptSave);
    EXPECT_EQ(save.presetName, "配置表单备份");
    EXPECT_EQ(save.filters, QStringList({"Excel 97-2003 (*.xls)"}));
    EXPECT_FALSE(save.nativeDialog);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(FilesIn(files.path()), QStringList({"配置表单备份.xls"}));

    // The outside reader sees one sheet with the grid's texts, header first, all as text.
    const QVector<XlrdSheet> sheets = ReadWithXlrd(path);
    ASSERT_EQ(sheets.size(), 1);
    EXPECT_EQ(SixColumns(sheets[0].rows), shown);
    EXPECT_EQ(sheets[0].rows[2][0], "2");  // a number written as the grid's text

    // The backup leaves the grid, its unsaved state and the stored register alone.
    EXPECT_EQ(AllGridRows(), shown);
    EXPECT_TRUE(w->SpeedButton4->isEnabled());
    EXPECT_EQ(Stored(folder), stored);

    // Restore, then import: the grid is what was backed up, header included; only save
    // changes.
    Click(w->SpeedButton5);
    ASSERT_NE(AllGridRows(), shown);
    ClickRow(g, 1);
    Type(w->RzEdit6, "typed");
    const bool update = w->SpeedButton3->isEnabled(), add = w->SpeedButton1->isEnabled();
    EXPECT_TRUE(Import(path).isEmpty());
    ASSERT_EQ(dialogs.Dialogs().size(), 2);
    EXPECT_EQ(dialogs.Dialogs()[1].mode, QFileDialog::AcceptOpen);
    EXPECT_EQ(dialogs.Dialogs()[1].filters, QStringList({"Excel 97-2003 (*.xls)"}));
    EXPECT_EQ(AllGridRows(), shown);
    EXPECT_TRUE(w->SpeedButton4->isEnabled());
    EXPECT_EQ(w->SpeedButton3->isEnabled(), update);
    EXPECT_EQ(w->SpeedButton1->isEnabled(), add);
    EXPECT_EQ(w->RzEdit6->text(), "typed");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(Stored(folder), stored);

    // Saving the imported grid stores it.
    Click(w->SpeedButton4);
    EXPECT_EQ(folder.Sql("select code, quote(codeid), quote(fix), almhigh, almlow, quote(remark) "
                         "from settab where code = 9"),
              "9|'0B0C0D '|'new store '|0.0|-5.0|'remark one '");
}

TEST_F(RegisterSpreadsheet, EmptyRegisterBacksUpTheHeaderAndOneEmptyRow) {
    Open();
    ASSERT_EQ(g->RowCount(), 2);
    const QString path = files.filePath("empty.xls");
    EXPECT_EQ(Backup(path), QStringList({"成功导出 1 条数据!"}));
    const QVector<XlrdSheet> sheets = ReadWithXlrd(path);
    ASSERT_EQ(sheets.size(), 1);
    ASSERT_GE(sheets[0].rows.size(), 1);
    EXPECT_EQ(sheets[0].rows[0], kHeader);
    // The empty row has no value a reader could see.
    for (int r = 1; r < sheets[0].rows.size(); ++r)
        EXPECT_EQ(sheets[0].rows[r].join(""), "") << "row " << r + 1;

    // Imported again, it gives the header and one blank row.
    g->SetCell(0, 0, "changed");
    g->SetCell(2, 1, "x");
    EXPECT_TRUE(Import(path).isEmpty());
    EXPECT_EQ(AllGridRows(), QVector<QStringList>({kHeader, QStringList(6, "")}));
    EXPECT_TRUE(w->SpeedButton4->isEnabled());
}

TEST_F(RegisterSpreadsheet, ImportShowsOtherHeadersAndTakesTheTextsAsTheyAre) {
    folder.AddSensors({{1, "000001 ", "one "}});
    Open();
    const QString path = files.filePath("other.xls");
    // Row 1 holds other texts; rows are shorter or longer than six columns; blanks stay.
    WriteWorkbook(path, {{"Sheet1",
                          {{"No.", "ID", "Place", "Hi", "Lo", "Note", "extra"},
                           {" 12 ", "zz", " 库 ", "abc", "", "x", "ignored"},
                           {"", "", "only location"}}},
                         {"Sheet2", {{"not", "imported"}}}});
    EXPECT_TRUE(Import(path).isEmpty());
    EXPECT_EQ(AllGridRows(), QVector<QStringList>({{"No.", "ID", "Place", "Hi", "Lo", "Note"},
                                                   {" 12 ", "zz", " 库 ", "abc", "", "x"},
                                                   {"", "", "only location", "", "", ""}}));
    EXPECT_EQ(g->Model()->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "ID");
    EXPECT_EQ(Stored(folder), "1|'000001 '|'one '|0.0|0.0|' '|NULL");

    // Nothing was checked: the save's own checks catch the bad texts.
    MessageBoxWatcher boxes;
    Click(w->SpeedButton4);
    ASSERT_EQ(boxes.Texts().size(), 1);
    EXPECT_TRUE(boxes.Texts()[0].contains("abc")) << boxes.Texts()[0].toStdString();
    EXPECT_EQ(Stored(folder), "1|'000001 '|'one '|0.0|0.0|' '|NULL");

    // The next showing has the window's own headers again.
    s->Fset->hide();
    ShowRegister(*s);
    EXPECT_EQ(g->RowCells(0), kHeader);
}

TEST_F(RegisterSpreadsheet, ImportedLimitsWithAThousandsSeparatorAreRefusedAtSave) {
    folder.AddSensors({{1, "000001 ", "one "}});
    Open();
    const QString stored = Stored(folder);
    for (const auto& [high, low] : {std::pair<QString, QString>{"1,000", "-5"}, {"30", "-1,5"}}) {
        SCOPED_TRACE(high.toStdString() + " / " + low.toStdString());
        const QString path = files.filePath("grouped.xls");
        WriteWorkbook(path, {{"Sheet1", {kHeader, {"4", "000004", "four", high, low, ""}}}});
        EXPECT_TRUE(Import(path).isEmpty());
        MessageBoxWatcher boxes;
        Click(w->SpeedButton4);
        const QString bad = high.contains(',') ? high : low;
        ASSERT_EQ(boxes.Texts().size(), 1);
        EXPECT_TRUE(boxes.Texts()[0].contains("'" + bad + "' is not a valid floating point value"))
            << boxes.Texts()[0].toStdString();
        EXPECT_EQ(Stored(folder), stored);
    }
}

TEST_F(RegisterSpreadsheet, FormulaCellsImportTheirStoredResultsAndSaveStoresThem) {
    Open();
    const QString path = files.filePath("formulas.xls");
    const PythonResult made = PythonTool::Run("xlwt_cases.py", {"register-formulas", path});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    EXPECT_TRUE(Import(path).isEmpty());
    EXPECT_EQ(AllGridRows(),
              QVector<QStringList>({kHeader,
                                    {"5", "0000A1", "一号库房", "30.5", "-5", ""},
                                    {"6", "0000B2", "一号库房东", "30.5", "-10", "1"}}));
    MessageBoxWatcher boxes;
    Click(w->SpeedButton4);
    EXPECT_TRUE(boxes.Texts().isEmpty()) << boxes.Texts().join("\n").toStdString();
    EXPECT_EQ(folder.Sql("select code, quote(codeid), quote(fix), almhigh, almlow from settab "
                         "order by code"),
              "5|'0000A1 '|'一号库房 '|30.5|-5.0\n6|'0000B2 '|'一号库房东 '|30.5|-10.0");
}

TEST_F(RegisterSpreadsheet, LongRemarksComeBackExactlyAsBackedUp) {
    folder.AddSensors({{1, "000001 ", "one "},
                       {2, "000002 ", "two "},
                       {3, "000003 ", "three "},
                       {4, "000004 ", "four "}});
    Open();
    // Remarks of 9,000, 12,000 and 20,000 Chinese characters and one at the cell limit.
    const QList<int> lengths = {9000, 12000, 20000, 32767};
    for (int i = 0; i < lengths.size(); ++i) {
        QString remark;
        for (int k = 0; k < lengths[i]; ++k) remark += QChar(0x4E00 + (k * 13 + i) % 20000);
        g->SetCell(5, i + 1, remark);
    }
    const QVector<QStringList> shown = AllGridRows();
    const QString path = files.filePath("long.xls");
    EXPECT_EQ(Backup(path), QStringList({"成功导出 4 条数据!"}));

    Click(w->SpeedButton5);
    ASSERT_NE(AllGridRows(), shown);
    EXPECT_TRUE(Import(path).isEmpty());
    const QVector<QStringList> back = AllGridRows();
    ASSERT_EQ(back.size(), shown.size());
    for (int i = 0; i < lengths.size(); ++i) EXPECT_EQ(back[i + 1][5].size(), lengths[i]);
    EXPECT_TRUE(back == shown);
}

TEST_F(RegisterSpreadsheet, AnOlderWorkbookIsRefusedSayingSo) {
    folder.AddSensors({{1, "000001 ", "one "}});
    Open();
    const QVector<QStringList> before = AllGridRows();
    const QString path = files.filePath("excel95.xls");
    const PythonResult made = PythonTool::Run("xlwt_cases.py", {"biff5", path});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    const QStringList texts = Import(path);
    ASSERT_EQ(texts.size(), 1);
    EXPECT_TRUE(texts[0].contains(QDir::toNativeSeparators(path))) << texts[0].toStdString();
    EXPECT_TRUE(texts[0].contains("Excel 5.0/95")) << texts[0].toStdString();
    EXPECT_FALSE(texts[0].contains("损坏")) << texts[0].toStdString();
    EXPECT_EQ(AllGridRows(), before);
    EXPECT_FALSE(w->SpeedButton4->isEnabled());
}

TEST_F(RegisterSpreadsheet, ImportOfAWorkbookMadeByAnotherProgram) {
    Open();
    const QString path = files.filePath("xlwt.xls");
    const PythonResult made = PythonTool::Run("xlwt_make.py", {path});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    EXPECT_TRUE(Import(path).isEmpty());
    // Numbers as their shortest text, empty cells empty, the second sheet left out.
    EXPECT_EQ(AllGridRows(),
              QVector<QStringList>({
                  kHeader,
                  {"1", "28FF01", "一号库房", "25.0625", "-10.5", "东墙"},
                  {"12", "A0B1C2", "Cold room 2", "30", "0.0625", ""},
                  {"123456", "00FF10", "", "1E-07", "1234567.125", "remark with trailing blank "},
                  {"", "", "", "", "", ""},
                  {"", "", "孤单", "", "", ""},
              }));
}

TEST_F(RegisterSpreadsheet, ASheetWithOnlyAHeaderOrNothingGivesOneBlankRow) {
    folder.AddSensors({{1, "000001 ", "one "}, {2, "000002 ", "two "}});
    Open();
    const QString headerOnly = files.filePath("header.xls");
    WriteWorkbook(headerOnly, {{"Sheet1", {{"A", "B", "C", "D", "E", "F"}}}});
    EXPECT_TRUE(Import(headerOnly).isEmpty());
    EXPECT_EQ(AllGridRows(),
              QVector<QStringList>({{"A", "B", "C", "D", "E", "F"}, QStringList(6, "")}));

    Click(w->SpeedButton5);
    const QString nothing = files.filePath("nothing.xls");
    WriteWorkbook(nothing, {{"Sheet1", {}}});
    EXPECT_TRUE(Import(nothing).isEmpty());
    EXPECT_EQ(AllGridRows(), QVector<QStringList>({QStringList(6, ""), QStringList(6, "")}));
    EXPECT_TRUE(w->SpeedButton4->isEnabled());
}

TEST_F(RegisterSpreadsheet, FilesThatAreNotOldStyleWorkbooksLeaveTheGridAsItWas) {
    folder.AddSensors({{1, "000001 ", "one "}, {2, "000002 ", "two "}});
    Open();
    const QVector<QStringList> before = AllGridRows();

    auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile f(files.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    };
    // A newer workbook renamed, a text file, a backup cut short, one with its sheet data
    // overwritten.
    const QString xlsx = write("newer.xls", QByteArray("PK\x03\x04", 4) + QByteArray(300, 'z'));
    const QString text = write("text.xls", "编号,设备ID\n1,000001\n");
    const QString good = files.filePath("good.xls");
    WriteWorkbook(good, {{"Sheet1", {kHeader, {"5", "000005", "five", "", "", ""}}}});
    QFile goodFile(good);
    ASSERT_TRUE(goodFile.open(QIODevice::ReadOnly));
    const QByteArray bytes = goodFile.readAll();
    const QString cut = write("cut.xls", bytes.left(bytes.size() / 3));
    QByteArray scrambled = bytes;
    for (qsizetype i = 512; i < scrambled.size() - 512; ++i) scrambled[i] = char(0xFF);
    const QString damaged = write("damaged.xls", scrambled);

    for (const QString& path : {xlsx, text, cut, damaged}) {
        SCOPED_TRACE(path.toStdString());
        const QStringList texts = Import(path);
        ASSERT_EQ(texts.size(), 1);
        EXPECT_TRUE(texts[0].contains(QDir::toNativeSeparators(path))) << texts[0].toStdString();
        EXPECT_EQ(AllGridRows(), before);
        EXPECT_FALSE(w->SpeedButton4->isEnabled());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
    EXPECT_TRUE(Import(xlsx).first().contains(".xlsx"));
}

TEST_F(RegisterSpreadsheet, CancellingEitherDialogDoesNothing) {
    folder.AddSensors({{1, "000001 ", "one "}});
    Open();
    const QVector<QStringList> before = AllGridRows();
    MessageBoxWatcher boxes;
    dialogs.Cancel();
    Click(w->SaveSBtn);
    dialogs.Cancel();
    Click(w->SortSBtn);
    ASSERT_EQ(dialogs.Dialogs().size(), 2);
    EXPECT_TRUE(boxes.Texts().isEmpty());
    EXPECT_EQ(AllGridRows(), before);
    EXPECT_FALSE(w->SpeedButton4->isEnabled());
    EXPECT_TRUE(FilesIn(files.path()).isEmpty());
    EXPECT_TRUE(FilesIn(QDir::currentPath()).filter(".xls").isEmpty());
}

TEST_F(RegisterSpreadsheet, XlsIsAddedOnlyWhenTheNameDoesNotEndInIt) {
    folder.AddSensors({{1, "000001 ", "one "}});
    Open();
    Backup(files.filePath("a"));
    Backup(files.filePath("b.XLS"));
    Backup(files.filePath("c.xls"));
    Backup(files.filePath("d.csv"));
    EXPECT_EQ(FilesIn(files.path()), QStringList({"a.xls", "b.XLS", "c.xls", "d.csv.xls"}));

    // Backing up again over an existing file replaces it without a question.
    g->SetCell(2, 1, "changed");
    EXPECT_EQ(Backup(files.filePath("a")), QStringList({"成功导出 1 条数据!"}));
    EXPECT_EQ(ReadWithXlrd(files.filePath("a.xls")).value(0).rows.value(1).value(2), "changed");
}

TEST_F(RegisterSpreadsheet, AFileThatCannotBeWrittenEndsTheBackupWithItsName) {
    folder.AddSensors({{1, "000001 ", "one "}});
    Open();
    // The name the backup writes is taken by a folder.
    ASSERT_TRUE(QDir(files.path()).mkdir("taken.xls"));
    const QString target = files.filePath("taken.xls");
    const QStringList texts = Backup(files.filePath("taken"));
    ASSERT_EQ(texts.size(), 1);
    EXPECT_TRUE(texts[0].contains(QDir::toNativeSeparators(target))) << texts[0].toStdString();
    EXPECT_FALSE(texts[0].contains("成功导出"));
    // Nothing half written is left behind.
    EXPECT_EQ(FilesIn(files.path()), QStringList({"taken.xls"}));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(RegisterSpreadsheet, BackupFromTheWindowOpenedByTheMainWindowsButton) {
    folder.AddSensors({{3, "000003 ", "three "}});
    s = std::make_unique<Station>(folder);
    w = s->Fset;
    const QString path = files.filePath("modal.xls");
    QStringList texts;
    QTimer::singleShot(0, w, [&] {
        ASSERT_TRUE(testsupport::WaitFor([&] { return w->isVisible(); }));
        texts = Backup(path);
        Click(w->SpeedButton7);
    });
    Click(s->Fmain->SpeedButton2);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(texts, QStringList({"成功导出 1 条数据!"}));
    EXPECT_EQ(ReadWithXlrd(path).value(0).rows.value(1).value(1), "000003 ");
}

}  // namespace
