// Reading workbooks made by another program, and refusing files that are not workbooks.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "PythonTool.h"
#include "QtPrinters.h"
#include "SpreadsheetError.h"
#include "XlsReader.h"
#include "XlsWriter.h"

namespace {

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// The message of the SpreadsheetError that reading path throws, or "" when none is thrown.
QString ReadError(const QString& path) {
    try {
        ReadFirstSheet(path);
    } catch (const SpreadsheetError& e) {
        EXPECT_EQ(e.FilePath(), path);
        return e.Message();
    }
    return {};
}

}  // namespace

TEST(XlsReader, ImportsAWorkbookWrittenByXlwt) {
    QTemporaryDir dir;
    const QString path = dir.filePath("from-xlwt.xls");
    const PythonResult made = PythonTool::Run("xlwt_make.py", {path});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();

    const QVector<QStringList> expected = {
        {"编号", " 设备ID", " 方 位", "高温(℃)", "低温(℃)", "  备  注 "},
        {"1", "28FF01", "一号库房", "25.0625", "-10.5", "东墙"},
        {"12", "A0B1C2", "Cold room 2", "30", "0.0625", ""},
        {"123456", "00FF10", "", "1E-07", "1234567.125", "remark with trailing blank "},
        {"", "", "", "", "", ""},
        {"", "", "孤单", "", "", ""},
    };
    EXPECT_EQ(ReadFirstSheet(path), expected);

    const QVector<SheetData> sheets = ReadWorkbook(path);
    ASSERT_EQ(sheets.size(), 2);
    EXPECT_EQ(sheets[0].name, "设备");
    EXPECT_EQ(sheets[1].name, "Other");
    EXPECT_EQ(sheets[1].rows, QVector<QStringList>{{"second sheet"}});
}

TEST(XlsReader, FilesThatAreNotWorkbooksGiveAnErrorNamingTheFile) {
    QTemporaryDir dir;
    const QString missing = dir.filePath("missing.xls");
    EXPECT_TRUE(ReadError(missing).contains(missing));

    EXPECT_TRUE(ReadError(dir.path()).contains(dir.path()));  // a folder

    const QString empty = dir.filePath("empty.xls");
    WriteBytes(empty, {});
    EXPECT_TRUE(ReadError(empty).contains(empty));

    const QString text = dir.filePath("text.xls");
    WriteBytes(text, "编号,设备ID\n1,28FF01\n");
    EXPECT_TRUE(ReadError(text).contains("不是 Excel 97-2003 工作簿"))
        << ReadError(text).toStdString();

    // The zip container of the newer format, renamed.
    const QString xlsx = dir.filePath("renamed.xls");
    WriteBytes(xlsx, QByteArray("PK\x03\x04\x14\x00\x06\x00", 8) + QByteArray(600, '\0'));
    const QString xlsxError = ReadError(xlsx);
    EXPECT_TRUE(xlsxError.contains(".xlsx")) << xlsxError.toStdString();
    EXPECT_TRUE(xlsxError.contains(xlsx));

    // A compound file that holds no workbook stream (a word processor's file would look so).
    const QString noWorkbook = dir.filePath("other-ole.xls");
    WriteBytes(noWorkbook, PackIntoCompoundFile(QByteArray(5000, 'z')));
    EXPECT_FALSE(ReadError(noWorkbook).isEmpty());
}

TEST(XlsReader, TruncatedOwnFileIsAnErrorNotACrash) {
    QTemporaryDir dir;
    const QString good = dir.filePath("good.xls");
    WriteWorkbook(good, {{"S", {{"编号", "设备ID"}, {"1", "28FF01"}}}});
    QFile f(good);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    const QString cut = dir.filePath("cut.xls");
    WriteBytes(cut, bytes.left(bytes.size() / 2));
    EXPECT_TRUE(ReadError(cut).contains(cut));
}

// The station parses workbooks in a reader program of its own; its answer crosses a pipe.
TEST(XlsReaderProgram, AnswersSurviveThePipeAndACutAnswerCountsAsDamaged) {
    const QVector<SheetData> sheets = {{"Sheet1", {{"编号", " 设备ID"}, {"12", ""}}}, {"两", {}}};
    const QVector<SheetData> back = DecodeReadResult("/x/a.xls", EncodeReadResult(sheets));
    ASSERT_EQ(back.size(), 2);
    EXPECT_EQ(back[0].name, "Sheet1");
    EXPECT_EQ(back[0].rows, sheets[0].rows);
    EXPECT_EQ(back[1].name, "两");
    EXPECT_TRUE(back[1].rows.isEmpty());

    try {
        DecodeReadResult("/x/a.xls", EncodeReadError("无法读取文件“/x/a.xls”：它不是文件"));
        ADD_FAILURE() << "an error answer was taken as sheets";
    } catch (const SpreadsheetError& e) {
        EXPECT_EQ(e.Message(), "无法读取文件“/x/a.xls”：它不是文件");
    }

    const QByteArray whole = EncodeReadResult(sheets);
    const int size = static_cast<int>(whole.size());
    for (int cut : {0, 3, 9, size / 2, size - 1}) {
        try {
            DecodeReadResult("/x/a.xls", whole.left(cut));
            ADD_FAILURE() << "an answer cut at " << cut << " was accepted";
        } catch (const SpreadsheetError& e) {
            EXPECT_TRUE(e.Message().contains("/x/a.xls")) << e.Message().toStdString();
        }
    }
}

namespace {

// A workbook made by xlwt_cases.py.
QString MadeCase(const QTemporaryDir& dir, const QString& which) {
    const QString path = dir.filePath(which + ".xls");
    const PythonResult made = PythonTool::Run("xlwt_cases.py", {which, path});
    EXPECT_EQ(made.exitCode, 0) << made.err.toStdString();
    return path;
}

// Text of count characters, mostly Chinese, with single-byte runs between, so that the
// characters change width across the records a long text is split into.
QString LongText(int count, int seed) {
    QString text;
    text.reserve(count);
    for (int i = 0; text.size() < count; ++i) {
        if ((i / 700) % 3 == 2)
            text += QChar(u'a' + (i + seed) % 26);
        else
            text += QChar(0x4E00 + (i * 31 + seed) % 20000);
    }
    return text;
}

// The sheets of path; a read that fails is reported with its message.
QVector<SheetData> ReadOrReport(const QString& path) {
    try {
        return ReadWorkbook(path);
    } catch (const SpreadsheetError& e) {
        ADD_FAILURE() << e.Message().toStdString();
        return {};
    }
}

}  // namespace

TEST(XlsReader, FormulaCellsGiveTheResultsStoredWithThem) {
    QTemporaryDir dir;
    const QString path = MadeCase(dir, "formulas");
    const QVector<QStringList> expected = {
        {"编号", " 设备ID", " 方 位", "高温(℃)", "低温(℃)", "  备  注 "},
        {"5", "0000A1", "一号库房", "30.5", "-5", ""},
        // =A2+1, ="0000"&"B2", =C2&"东", =D2, =E2*2, =D2>E2 (a boolean reads as 1 or 0, as a
        // boolean constant does)
        {"6", "0000B2", "一号库房东", "30.5", "-10", "1"},
        // =1/0 shows its error; ="" is an empty cell
        {"#DIV/0!", "", "empty text result on the left", "", "", ""},
    };
    EXPECT_EQ(ReadFirstSheet(path), expected);
}

TEST(XlsReader, LongTextsReadBackWholeUpToTheCellLimit) {
    QTemporaryDir dir;
    const QStringList header = {"编号", " 设备ID", " 方 位", "高温(℃)", "低温(℃)", "  备  注 "};
    QVector<QStringList> all = {header};
    for (int length : {8171, 8172, 9000, 12000, 20000, 32767}) {
        SCOPED_TRACE(length);
        const QString remark = LongText(length, length);
        const QVector<QStringList> rows = {
            header, {"1", "000001", "一号", "30", "-5", remark}, {"2", "000002", "", "", "", "短"}};
        const QString path = dir.filePath(QStringLiteral("remark-%1.xls").arg(length));
        WriteWorkbook(path, {{"Sheet1", rows}});
        const QVector<QStringList> back = ReadOrReport(path).value(0).rows;
        EXPECT_EQ(back.value(1).value(5).size(), length);
        EXPECT_TRUE(back == rows);
        all.append({QString::number(length), "", LongText(length, 1), "", "", remark});
    }
    // All of them in one table, with a second sheet behind it.
    const QString path = dir.filePath("all.xls");
    WriteWorkbook(path, {{"Sheet1", all}, {"Other", {{LongText(32767, 5)}}}});
    const QVector<SheetData> back = ReadOrReport(path);
    ASSERT_EQ(back.size(), 2);
    EXPECT_TRUE(back[0].rows == all);
    EXPECT_TRUE(back[1].rows == QVector<QStringList>{{LongText(32767, 5)}});
}

TEST(XlsReader, ALongTextBesideNumbersDatesAndTimesFromAnotherProgram) {
    QTemporaryDir dir;
    const QString path = MadeCase(dir, "longtext");
    QString text;
    for (int i = 0; i < 12000; ++i) text += QChar(0x4E00 + (i * 37) % 20000);
    const QVector<QStringList> expected = {
        {"编号", text, ""},
        {"12", "25.0625", "-1E-07"},
        {"2007-11-30", "09:30:15", "2007-11-30 23:59:59"},
        {"1", text.left(3), ""},
    };
    EXPECT_TRUE(ReadOrReport(path).value(0).rows == expected);
}

TEST(XlsReader, AnOlderWorkbookIsNamedAsSuchNotAsDamaged) {
    QTemporaryDir dir;
    const QString path = MadeCase(dir, "biff5");
    const QString message = ReadError(path);
    EXPECT_TRUE(message.contains(path)) << message.toStdString();
    EXPECT_TRUE(message.contains("Excel 5.0/95")) << message.toStdString();
    EXPECT_TRUE(message.contains("不受支持")) << message.toStdString();
    EXPECT_FALSE(message.contains("损坏")) << message.toStdString();

    // A workbook of today's format cut short is still called damaged.
    const QString good = dir.filePath("good.xls");
    WriteWorkbook(good, {{"S", {{"编号", "设备ID"}, {"1", "28FF01"}}}});
    QFile f(good);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    const QString cut = dir.filePath("cut.xls");
    WriteBytes(cut, bytes.left(bytes.size() - 600));
    const QString cutMessage = ReadError(cut);
    EXPECT_TRUE(cutMessage.contains("损坏")) << cutMessage.toStdString();
    EXPECT_FALSE(cutMessage.contains("Excel 5.0/95")) << cutMessage.toStdString();
}
