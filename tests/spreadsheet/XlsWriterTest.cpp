// Writing workbooks: what our own reader and xlrd find in them, the format's limits, and that a
// failed write leaves nothing behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "PythonTool.h"
#include "QtPrinters.h"
#include "SheetSplitter.h"
#include "SpreadsheetError.h"
#include "XlsReader.h"
#include "XlsWriter.h"

namespace {

const QStringList kRegisterHeader = {"编号",    " 设备ID", " 方 位",
                                     "高温(℃)", "低温(℃)", "  备  注 "};
const QStringList kLogHeader = {"  日  期", "  时 间", " 编  号", " 方 位", " 报警值"};

SheetData RegisterSheet() {
    SheetData sheet{"Sheet1", {}};
    sheet.rows.append(kRegisterHeader);
    sheet.rows.append({"1", "28FF01", "一号库房", "25.0625", "-10.5", "东墙 "});
    sheet.rows.append({"2", "A0B1C2", "", "30", "0.0625", ""});  // empty cells inside the row
    sheet.rows.append({"", "", "", "", "", ""});                 // a blank row in the middle
    sheet.rows.append({"12", "00FF10", "Cold room", "", "", "x"});
    return sheet;
}

// Every row of `rows` padded or cut to `width` cells.
QVector<QStringList> Rectangular(QVector<QStringList> rows, int width) {
    for (QStringList& row : rows) row.resize(width);
    return rows;
}

QStringList FilesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// Checks what xlrd reads from path against the sheets that were written.
void ExpectXlrdReads(const QString& path, const QVector<SheetData>& sheets) {
    QString error;
    const QJsonObject book = PythonTool::DumpWithXlrd(path, &error);
    ASSERT_FALSE(book.isEmpty()) << error.toStdString();
    EXPECT_EQ(book["biff_version"].toInt(), 80);
    EXPECT_EQ(book["codepage"].toInt(), 1200);
    EXPECT_EQ(book["log"].toString(), QString()) << "xlrd warned";
    const QJsonArray got = book["sheets"].toArray();
    ASSERT_EQ(got.size(), sheets.size());
    for (int s = 0; s < sheets.size(); ++s) {
        const QJsonObject sheet = got[s].toObject();
        EXPECT_EQ(sheet["name"].toString(), sheets[s].name);
        // xlrd's rows run to the last row that has a cell; trailing blank rows are not cells.
        int lastUsed = -1;
        for (int r = 0; r < sheets[s].rows.size(); ++r) {
            for (const QString& t : sheets[s].rows[r])
                if (!t.isEmpty()) lastUsed = r;
        }
        const QJsonArray rows = sheet["rows"].toArray();
        ASSERT_EQ(rows.size(), lastUsed + 1) << "sheet " << s;
        for (int r = 0; r <= lastUsed; ++r) {
            const QJsonArray cells = rows[r].toArray();
            const QStringList& want = sheets[s].rows[r];
            for (int c = 0; c < std::max<int>(cells.size(), want.size()); ++c) {
                const QString expected = c < want.size() ? want[c] : QString();
                const QJsonValue cell = c < cells.size() ? cells[c] : QJsonValue();
                if (expected.isEmpty()) {
                    EXPECT_TRUE(cell.isNull()) << "sheet " << s << " cell " << r << "," << c;
                } else {
                    EXPECT_EQ(cell.toObject()["text"].toString(), expected)
                        << "sheet " << s << " cell " << r << "," << c;
                }
            }
        }
    }
}

// Texts of assorted lengths and scripts, so that strings of both storage forms start and
// break at every kind of position around the 8,224-byte record boundary.
QVector<QStringList> MixedTexts(int rowCount, int columns, quint32 seed) {
    QRandomGenerator rng(seed);
    const QString chinese =
        QStringLiteral("温度传感器报警信息表配置备份一二三四五六七八九十东南西北库房");
    QVector<QStringList> rows;
    for (int r = 0; r < rowCount; ++r) {
        QStringList row;
        for (int c = 0; c < columns; ++c) {
            const int len = 1 + rng.bounded(300);
            const bool wide = rng.bounded(2) == 1;
            QString text;
            for (int i = 0; i < len; ++i) {
                text += wide && rng.bounded(3) == 0 ? chinese[rng.bounded(chinese.size())]
                                                    : QChar(u'a' + rng.bounded(26));
            }
            row.append(text);
        }
        rows.append(row);
    }
    return rows;
}

}  // namespace

TEST(XlsWriter, RegisterBackupReadsBackWithOurReaderAndXlrd) {
    QTemporaryDir dir;
    const QString path = dir.filePath("配置表单备份.xls");
    const QVector<SheetData> sheets = {RegisterSheet()};
    WriteWorkbook(path, sheets);

    const QVector<SheetData> back = ReadWorkbook(path);
    ASSERT_EQ(back.size(), 1);
    EXPECT_EQ(back[0].name, "Sheet1");
    EXPECT_EQ(back[0].rows, Rectangular(RegisterSheet().rows, 6));
    EXPECT_EQ(ReadFirstSheet(path), back[0].rows);
    ExpectXlrdReads(path, sheets);
    EXPECT_EQ(FilesIn(dir.path()), QStringList{"配置表单备份.xls"});
}

TEST(XlsWriter, HeaderAndOneBlankRowGiveJustTheHeader) {
    // An export of an empty list: the header and the grid's one blank row.
    QTemporaryDir dir;
    const QString path = dir.filePath("报警信息表.xls");
    const QVector<SheetData> sheets = {{"Sheet1", {kLogHeader, QStringList(5)}}};
    WriteWorkbook(path, sheets);
    EXPECT_EQ(ReadFirstSheet(path), QVector<QStringList>{kLogHeader});
    ExpectXlrdReads(path, sheets);
}

TEST(XlsWriter, EmptySheetsAndLeadingBlankRowsKeepTheirPlace) {
    QTemporaryDir dir;
    const QString path = dir.filePath("sparse.xls");
    const QVector<SheetData> sheets = {
        {"Empty", {}},
        {"Sparse", {{}, {"", "", "C2"}, {}, {"", "B4"}}},
    };
    WriteWorkbook(path, sheets);
    const QVector<SheetData> back = ReadWorkbook(path);
    ASSERT_EQ(back.size(), 2);
    EXPECT_TRUE(back[0].rows.isEmpty());
    EXPECT_TRUE(ReadFirstSheet(path).isEmpty());
    const QVector<QStringList> expected = {
        {"", "", ""}, {"", "", "C2"}, {"", "", ""}, {"", "B4", ""}};
    EXPECT_EQ(back[1].rows, expected);
    ExpectXlrdReads(path, sheets);
}

TEST(XlsWriter, LongSharedStringTableAcrossManyContinueRecords) {
    // Around 450 kB of strings in mixed one-byte and two-byte storage, texts that nearly fill
    // a record of their own, spread over three sheets with repeated texts among them.
    QTemporaryDir dir;
    const QString path = dir.filePath("long.xls");
    QVector<SheetData> sheets = {
        {"甲", MixedTexts(400, 6, 1)}, {"乙 sheet", MixedTexts(300, 4, 2)}, {"Third", {}}};
    sheets[0].rows[5][2] = QString(4000, QChar(0x6E29));  // 8,000 bytes of "温"
    sheets[1].rows[7][1] = QString(8000, u'x');
    sheets[2].rows = sheets[0].rows.mid(0, 50);  // texts already in the table
    WriteWorkbook(path, sheets);

    const QVector<SheetData> back = ReadWorkbook(path);
    ASSERT_EQ(back.size(), 3);
    for (int s = 0; s < 3; ++s) {
        EXPECT_EQ(back[s].name, sheets[s].name);
        EXPECT_EQ(back[s].rows, Rectangular(sheets[s].rows, s == 1 ? 4 : 6)) << "sheet " << s;
    }
    ExpectXlrdReads(path, sheets);
}

TEST(XlsWriter, CellTextsUpToTheLongestAllowed) {
    // Texts that run over three and more records; both xlrd and our own reader read them in
    // full.
    QTemporaryDir dir;
    const QString path = dir.filePath("longest.xls");
    const QVector<SheetData> sheets = {{"Long",
                                        {{"a", QString(9000, QChar(0x6E29)), "b"},
                                         {QString(32767, QChar(0x00E9))},
                                         {QString(32767, QChar(0x6E29)), "c"}}}};
    WriteWorkbook(path, sheets);
    ExpectXlrdReads(path, sheets);
    EXPECT_EQ(ReadFirstSheet(path), Rectangular(sheets[0].rows, 3));
}

TEST(XlsWriter, LogOfMoreThan65535RecordsContinuesOnASecondSheet) {
    QVector<QStringList> records;
    for (int i = 0; i < 65545; ++i) {
        records.append({QStringLiteral("2007年11月%1日").arg(1 + i % 30),
                        QStringLiteral("%1:%2:%3")
                            .arg(i / 3600 % 24, 2, 10, QChar('0'))
                            .arg(i / 60 % 60, 2, 10, QChar('0'))
                            .arg(i % 60, 2, 10, QChar('0')),
                        QString::number(i), QStringLiteral("库房%1").arg(i % 97),
                        QString::number(i * 0.0625)});
    }
    const QVector<SheetData> sheets = SplitIntoSheets(kLogHeader, records, "Sheet1");
    ASSERT_EQ(sheets.size(), 2);
    QTemporaryDir dir;
    const QString path = dir.filePath("big.xls");
    WriteWorkbook(path, sheets);

    const QVector<SheetData> back = ReadWorkbook(path);
    ASSERT_EQ(back.size(), 2);
    ASSERT_EQ(back[0].rows.size(), 65536);
    ASSERT_EQ(back[1].rows.size(), 11);
    EXPECT_EQ(back[0].rows[0], kLogHeader);
    EXPECT_EQ(back[1].rows[0], kLogHeader);
    EXPECT_EQ(back[0].rows[65535], records[65534]);
    EXPECT_EQ(back[1].rows[1], records[65535]);
    EXPECT_EQ(back[1].rows[10], records[65544]);
    EXPECT_EQ(back[0].rows.mid(1), records.mid(0, 65535));
    ExpectXlrdReads(path, sheets);
}

TEST(XlsWriter, GnumericOpensTheFileWithoutComplaint) {
    // ssconvert loads our file and saves it in its own .xls writing; it must say nothing while
    // loading, and its file must hold our cells.
    const QString ssconvert = QStandardPaths::findExecutable("ssconvert");
    if (ssconvert.isEmpty()) GTEST_SKIP() << "gnumeric's ssconvert is not installed";
    QTemporaryDir dir;
    const QString ours = dir.filePath("ours.xls");
    const QString theirs = dir.filePath("theirs.xls");
    const QVector<SheetData> sheets = {RegisterSheet(), {"报警 2", MixedTexts(120, 5, 5)}};
    WriteWorkbook(ours, sheets);
    QProcess process;
    process.start(ssconvert, {"--export-type=Gnumeric_Excel:excel_biff8", ours, theirs});
    ASSERT_TRUE(process.waitForFinished(120000));
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_EQ(process.readAllStandardError(), QByteArray());
    const QVector<SheetData> back = ReadWorkbook(theirs);
    ASSERT_EQ(back.size(), 2);
    EXPECT_EQ(back[0].name, sheets[0].name);
    EXPECT_EQ(back[0].rows, Rectangular(sheets[0].rows, 6));
    EXPECT_EQ(back[1].name, sheets[1].name);
    EXPECT_EQ(back[1].rows, sheets[1].rows);
}

TEST(XlsWriter, RefusesWhatTheFormatCannotHoldAndWritesNothing) {
    QTemporaryDir dir;
    const QString path = dir.filePath("refused.xls");
    const QVector<QStringList> tooManyRows(65537, QStringList{"x"});
    const QVector<QVector<SheetData>> cases = {
        {},
        {{"", {{"a"}}}},
        {{QString(32, u'n'), {{"a"}}}},
        {{"a/b", {{"a"}}}},
        {{"[x]", {{"a"}}}},
        {{"'quoted'", {{"a"}}}},
        {{"Same", {{"a"}}}, {"sAME", {{"b"}}}},
        {{"Rows", tooManyRows}},
        {{"Cols", {QStringList(257, "c")}}},
        {{"Cell", {{QString(32768, u'c')}}}},
    };
    for (int i = 0; i < cases.size(); ++i) {
        try {
            WriteWorkbook(path, cases[i]);
            ADD_FAILURE() << "case " << i << " was written";
        } catch (const SpreadsheetError& e) {
            EXPECT_EQ(e.FilePath(), path);
            EXPECT_TRUE(e.Message().contains(path)) << e.what();
        }
        EXPECT_TRUE(FilesIn(dir.path()).isEmpty()) << "case " << i;
    }
    // Trailing empty cells beyond column 256 take no column and are fine.
    QStringList wide(300);
    wide[0] = "a";
    EXPECT_NO_THROW(WriteWorkbook(path, {{"Ok", {wide}}}));
}

TEST(XlsWriter, MissingFolderIsReportedWithTheFileName) {
    QTemporaryDir dir;
    const QString path = dir.filePath("no/such/folder/x.xls");
    try {
        WriteWorkbook(path, {RegisterSheet()});
        FAIL() << "written into a missing folder";
    } catch (const SpreadsheetError& e) {
        EXPECT_TRUE(e.Message().contains(path)) << e.what();
    }
}

TEST(XlsWriter, ReplacingAFileIsAllOrNothing) {
    // A failed write over an existing backup must leave the old backup intact.
    QTemporaryDir dir;
    const QString path = dir.filePath("backup.xls");
    WriteWorkbook(path, {RegisterSheet()});
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    // File size limit: writes past 16 kB fail with EFBIG, as on a full disk.
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &previous);
    struct rlimit small = old;
    small.rlim_cur = 16 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    QString message;
    try {
        WriteWorkbook(path, {{"Big", MixedTexts(200, 6, 3)}});
    } catch (const SpreadsheetError& e) {
        message = e.Message();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    sigaction(SIGXFSZ, &previous, nullptr);

    EXPECT_TRUE(message.contains(path)) << "no error naming the file: " << message.toStdString();
    EXPECT_EQ(FilesIn(dir.path()), QStringList{"backup.xls"});
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
    EXPECT_EQ(ReadFirstSheet(path), Rectangular(RegisterSheet().rows, 6));
}

// A small tmpfs of our own, mounted for one test; skipped where mounting is not allowed.
class TmpfsFolder : public ::testing::Test {
  protected:
    void Mount(const char* options) {
        ASSERT_TRUE(dir_.isValid());
        if (mount("tmpfs", dir_.path().toLocal8Bit().constData(), "tmpfs", 0, options) != 0) {
            GTEST_SKIP() << "cannot mount a tmpfs here (needs root): " << strerror(errno);
        }
        mounted_ = true;
    }
    void TearDown() override {
        if (mounted_) umount2(dir_.path().toLocal8Bit().constData(), MNT_DETACH);
    }
    QString Folder() const { return dir_.path(); }

  private:
    QTemporaryDir dir_;
    bool mounted_ = false;
};

TEST_F(TmpfsFolder, FullDiskLeavesNoFileBehind) {
    Mount("size=64k");
    if (IsSkipped()) return;
    const QString path = Folder() + "/full.xls";
    try {
        WriteWorkbook(path, {{"Big", MixedTexts(300, 6, 4)}});  // about 600 kB
        FAIL() << "a 600 kB workbook fitted into 64 kB";
    } catch (const SpreadsheetError& e) {
        EXPECT_TRUE(e.Message().contains(path)) << e.what();
    }
    EXPECT_TRUE(FilesIn(Folder()).isEmpty()) << FilesIn(Folder()).join(", ").toStdString();
    // The same folder still takes a small file.
    WriteWorkbook(path, {RegisterSheet()});
    EXPECT_EQ(ReadFirstSheet(path), Rectangular(RegisterSheet().rows, 6));
}

TEST_F(TmpfsFolder, ReadOnlyFolderIsRefused) {
    // Root ignores file permissions, so a read-only mount stands for an unwritable folder.
    if (geteuid() != 0) {
        QTemporaryDir dir;
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
        EXPECT_THROW(WriteWorkbook(dir.filePath("x.xls"), {RegisterSheet()}), SpreadsheetError);
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        EXPECT_TRUE(FilesIn(dir.path()).isEmpty());
        return;
    }
    Mount("size=64k,mode=0555");
    if (IsSkipped()) return;
    ASSERT_EQ(mount(nullptr, Folder().toLocal8Bit().constData(), nullptr, MS_REMOUNT | MS_RDONLY,
                    nullptr),
              0)
        << strerror(errno);
    const QString path = Folder() + "/x.xls";
    try {
        WriteWorkbook(path, {RegisterSheet()});
        FAIL() << "written into a read-only folder";
    } catch (const SpreadsheetError& e) {
        EXPECT_TRUE(e.Message().contains(path)) << e.what();
    }
    EXPECT_TRUE(FilesIn(Folder()).isEmpty());
}
