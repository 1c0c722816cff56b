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
