#include "XlsReader.h"

#include <freexl.h>

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <algorithm>

#include "NumberText.h"
#include "SpreadsheetError.h"
#include "WorkbookScan.h"

namespace {

// Texts up to this many characters libfreexl reads safely; longer ones only the own pass reads.
constexpr int kLongestTextForLibrary = 8000;

QString ReadFailure(const QString& path, const QString& detail) {
    return QStringLiteral("无法读取文件“%1”：%2").arg(QDir::toNativeSeparators(path), detail);
}

QString NotAWorkbook() {
    return QStringLiteral("它不是 Excel 97-2003 工作簿（.xls）");
}

QString OlderFormat() {
    return QStringLiteral(
        "它是 Excel 5.0/95 或更早版本的工作簿，这种旧格式不受支持；"
        "请先在电子表格程序中将它另存为 Excel 97-2003 工作簿（.xls）");
}

QString Unreadable() {
    return QStringLiteral("工作簿已损坏或含有无法读取的结构");
}

QString Damaged(int code) {
    return QStringLiteral("工作簿已损坏（错误 %1）").arg(code);
}

QString OpenErrorText(int code) {
    switch (code) {
        case FREEXL_FILE_NOT_FOUND:
            return QStringLiteral("文件不存在或无法打开");
        case FREEXL_INSUFFICIENT_MEMORY:
            return QStringLiteral("内存不足");
        case FREEXL_INVALID_CFBF_HEADER:
        case FREEXL_BIFF_WORKBOOK_NOT_FOUND:
        case FREEXL_BIFF_INVALID_BOF:
            return NotAWorkbook();
        default:
            return Damaged(code);
    }
}

// Closes the freexl handle on every way out.
class FreexlHandle {
  public:
    ~FreexlHandle() {
        if (handle_) freexl_close(handle_);
    }
    const void** Out() { return &handle_; }
    const void* Get() const { return handle_; }

  private:
    const void* handle_ = nullptr;
};

QString CellText(const FreeXL_CellValue& value) {
    switch (value.type) {
        case FREEXL_CELL_INT:
            return QString::number(value.value.int_value);
        case FREEXL_CELL_DOUBLE:
            return NumberToText(value.value.double_value);
        case FREEXL_CELL_TEXT:
        case FREEXL_CELL_SST_TEXT:
        case FREEXL_CELL_DATE:
        case FREEXL_CELL_DATETIME:
        case FREEXL_CELL_TIME:
            return value.value.text_value ? QString::fromUtf8(value.value.text_value) : QString();
        default:
            return {};
    }
}

// The rows from the first row of the sheet to the last that holds a value, each as long as
// the last used column reaches.
QVector<QStringList> UsedPart(QVector<QStringList> cells) {
    int usedColumns = 0;
    int usedRows = 0;
    for (int r = 0; r < cells.size(); ++r) {
        const QStringList& row = cells[r];
        int rowEnd = 0;
        for (int c = 0; c < row.size(); ++c) {
            if (!row[c].isEmpty()) rowEnd = c + 1;
        }
        if (rowEnd > 0) usedRows = r + 1;
        usedColumns = std::max(usedColumns, rowEnd);
    }
    cells.resize(usedRows);
    for (QStringList& row : cells) row.resize(usedColumns);
    return cells;
}

void PutCell(QVector<QStringList>& cells, int row, int column, const QString& text) {
    if (cells.size() <= row) cells.resize(row + 1);
    QStringList& cellsOfRow = cells[row];
    if (cellsOfRow.size() <= column) cellsOfRow.resize(column + 1);
    cellsOfRow[column] = text;
}

// A sheet's cells as the station's own pass over the records read them, taken where libfreexl
// leaves cells out or short: texts (the whole of each, however many records it spans) and the
// stored results of formulas. With withNumbers, number constants too.
void PutScannedCells(QVector<QStringList>& cells, const WorkbookScan::Sheet& sheet,
                     bool withNumbers) {
    for (const WorkbookScan::Cell& cell : sheet.cells) {
        if (cell.kind == WorkbookScan::Kind::Number && !withNumbers) continue;
        PutCell(cells, cell.row, cell.column, cell.text);
    }
}

SheetData ReadSheet(const QString& path, const void* handle, unsigned short index,
                    const WorkbookScan& scan) {
    SheetData sheet;
    const char* name = nullptr;
    int rc = freexl_get_worksheet_name(handle, index, &name);
    if (rc != FREEXL_OK) throw SpreadsheetError(path, ReadFailure(path, Damaged(rc)));
    sheet.name = name ? QString::fromUtf8(name) : QString();

    rc = freexl_select_active_worksheet(handle, index);
    if (rc != FREEXL_OK) throw SpreadsheetError(path, ReadFailure(path, Damaged(rc)));
    unsigned int rows = 0;
    unsigned short columns = 0;
    rc = freexl_worksheet_dimensions(handle, &rows, &columns);
    if (rc != FREEXL_OK) throw SpreadsheetError(path, ReadFailure(path, Damaged(rc)));

    QVector<QStringList> cells;
    for (unsigned int r = 0; r < rows; ++r) {
        QStringList row;
        for (unsigned short c = 0; c < columns; ++c) {
            FreeXL_CellValue value;
            rc = freexl_get_cell_value(handle, r, c, &value);
            if (rc != FREEXL_OK) throw SpreadsheetError(path, ReadFailure(path, Damaged(rc)));
            row.append(CellText(value));
        }
        cells.append(std::move(row));
    }

    // The same sheet in the station's own pass: sheet names are unique in a workbook.
    const WorkbookScan::Sheet* scanned = nullptr;
    for (const WorkbookScan::Sheet& s : scan.sheets) {
        if (s.name == sheet.name) {
            scanned = &s;
            break;
        }
    }
    if (!scanned) throw SpreadsheetError(path, ReadFailure(path, Unreadable()));
    PutScannedCells(cells, *scanned, false);

    // The declared dimensions may include empty rows and columns at the end.
    sheet.rows = UsedPart(std::move(cells));
    return sheet;
}

// The sheets from the station's own pass alone, for workbooks libfreexl cannot open.
QVector<SheetData> SheetsFromScan(const WorkbookScan& scan, bool firstOnly) {
    QVector<SheetData> sheets;
    for (const WorkbookScan::Sheet& s : scan.sheets) {
        if (!s.worksheet) continue;
        QVector<QStringList> cells;
        PutScannedCells(cells, s, true);
        sheets.append({s.name, UsedPart(std::move(cells))});
        if (firstOnly) break;
    }
    return sheets;
}

QVector<SheetData> ReadSheets(const QString& path, bool firstOnly) {
    const QFileInfo info(path);
    if (!info.exists())
        throw SpreadsheetError(path, ReadFailure(path, QStringLiteral("文件不存在")));
    if (!info.isFile())
        throw SpreadsheetError(path, ReadFailure(path, QStringLiteral("它不是文件")));

    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly))
        throw SpreadsheetError(path, ReadFailure(path, probe.errorString()));
    const QByteArray head = probe.read(8);
    probe.close();
    if (head.startsWith("PK\x03\x04")) {
        throw SpreadsheetError(
            path, ReadFailure(path, QStringLiteral("它是 Excel 2007 及以后的 .xlsx 工作簿，"
                                                   "不是 Excel 97-2003 工作簿（.xls）")));
    }
    // Every Excel 97-2003 file is a compound file, which starts with this signature.
    if (head != QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)) {
        throw SpreadsheetError(path, ReadFailure(path, NotAWorkbook()));
    }

    const WorkbookScan scan = WorkbookScan::FromFile(path);
    if (scan.status == WorkbookScan::Status::OlderFormat)
        throw SpreadsheetError(path, ReadFailure(path, OlderFormat()));
    if (scan.status == WorkbookScan::Status::Protected)
        throw SpreadsheetError(path, ReadFailure(path, QStringLiteral("工作簿受密码保护")));

    // libfreexl reads past its own buffer on texts of the shared string table longer than it
    // can hold (about 8,000 characters; AddressSanitizer: heap-buffer-overflow in freexl_open).
    // Such a workbook is read by the station's own pass alone, which reads every cell.
    const bool longTexts =
        scan.status == WorkbookScan::Status::Ok &&
        std::any_of(scan.sheets.begin(), scan.sheets.end(), [](const WorkbookScan::Sheet& sh) {
            return std::any_of(sh.cells.begin(), sh.cells.end(), [](const WorkbookScan::Cell& c) {
                return c.text.size() > kLongestTextForLibrary;
            });
        });
    if (longTexts) {
        QVector<SheetData> sheets = SheetsFromScan(scan, firstOnly);
        if (sheets.isEmpty())
            throw SpreadsheetError(path, ReadFailure(path, QStringLiteral("工作簿没有工作表")));
        return sheets;
    }

    FreexlHandle handle;
    int rc = freexl_open(QFile::encodeName(path).constData(), handle.Out());
    if (rc != FREEXL_OK) throw SpreadsheetError(path, ReadFailure(path, OpenErrorText(rc)));
    // freexl gives up on some structures it does not follow (a text spread over more than two
    // records, for one) by reporting success without a workbook. The station's own pass
    // reads such a workbook whole, or it counts as damaged.
    if (!handle.Get()) {
        if (scan.status != WorkbookScan::Status::Ok || scan.sheets.isEmpty())
            throw SpreadsheetError(path, ReadFailure(path, Unreadable()));
        QVector<SheetData> sheets = SheetsFromScan(scan, firstOnly);
        if (sheets.isEmpty())
            throw SpreadsheetError(path, ReadFailure(path, QStringLiteral("工作簿没有工作表")));
        return sheets;
    }
    // Without the station's own pass, formula results and long texts would be lost.
    if (scan.status != WorkbookScan::Status::Ok)
        throw SpreadsheetError(path, ReadFailure(path, Unreadable()));

    unsigned int value = 0;
    rc = freexl_get_info(handle.Get(), FREEXL_BIFF_PASSWORD, &value);
    if (rc != FREEXL_OK) throw SpreadsheetError(path, ReadFailure(path, Damaged(rc)));
    if (value == FREEXL_BIFF_OBFUSCATED)
        throw SpreadsheetError(path, ReadFailure(path, QStringLiteral("工作簿受密码保护")));

    rc = freexl_get_info(handle.Get(), FREEXL_BIFF_SHEET_COUNT, &value);
    if (rc != FREEXL_OK) throw SpreadsheetError(path, ReadFailure(path, Damaged(rc)));
    if (value == 0)
        throw SpreadsheetError(path, ReadFailure(path, QStringLiteral("工作簿没有工作表")));

    const unsigned int count = firstOnly ? 1 : std::min(value, 0xFFFFu);
    QVector<SheetData> sheets;
    for (unsigned int i = 0; i < count; ++i) {
        sheets.append(ReadSheet(path, handle.Get(), static_cast<unsigned short>(i), scan));
    }
    return sheets;
}

}  // namespace

QVector<SheetData> ReadWorkbookInProcess(const QString& path, bool firstSheetOnly) {
    return ReadSheets(path, firstSheetOnly);
}

namespace {

constexpr quint32 kAnswerMagic = 0x584C5331;  // "XLS1"

QString ReaderProgram() {
    const QString beside =
        QCoreApplication::applicationDirPath() + QStringLiteral("/station-xls-reader");
    if (QFileInfo(beside).isExecutable()) return beside;
    return QStringLiteral(STATION_XLS_READER);  // the build's own, for tests and the demo
}

QVector<SheetData> ReadThroughReader(const QString& path, bool firstSheetOnly) {
    // The same checks as the reader makes, so that a missing file is reported as such even
    // when the reader program cannot be started.
    if (!QFileInfo::exists(path))
        throw SpreadsheetError(path, ReadFailure(path, QStringLiteral("文件不存在")));
    QProcess reader;
    reader.setProgram(ReaderProgram());
    reader.setArguments({firstSheetOnly ? QStringLiteral("--first") : QStringLiteral("--all"),
                         QFileInfo(path).absoluteFilePath()});
    reader.setProcessChannelMode(QProcess::SeparateChannels);
    reader.start();
    if (!reader.waitForStarted(10000))
        throw SpreadsheetError(path, ReadFailure(path, QStringLiteral("无法启动工作簿读取程序")));
    QByteArray answer;
    while (reader.state() != QProcess::NotRunning) {
        if (!reader.waitForReadyRead(30000) && reader.state() != QProcess::NotRunning) {
            reader.kill();
            reader.waitForFinished(2000);
            throw SpreadsheetError(path,
                                   ReadFailure(path, QStringLiteral("读取超时，工作簿可能已损坏")));
        }
        answer += reader.readAllStandardOutput();
    }
    answer += reader.readAllStandardOutput();
    if (reader.exitStatus() != QProcess::NormalExit)
        throw SpreadsheetError(path, ReadFailure(path, Unreadable()));
    return DecodeReadResult(path, answer);
}

}  // namespace

QByteArray EncodeReadResult(const QVector<SheetData>& sheets) {
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s << kAnswerMagic << quint8(0) << quint32(sheets.size());
    for (const SheetData& sheet : sheets) {
        s << sheet.name << quint32(sheet.rows.size());
        for (const QStringList& row : sheet.rows) s << row;
    }
    return out;
}

QByteArray EncodeReadError(const QString& message) {
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s << kAnswerMagic << quint8(1) << message;
    return out;
}

QVector<SheetData> DecodeReadResult(const QString& path, const QByteArray& answer) {
    QDataStream s(answer);
    quint32 magic = 0;
    quint8 kind = 0;
    s >> magic >> kind;
    auto damaged = [&] { return SpreadsheetError(path, ReadFailure(path, Unreadable())); };
    if (s.status() != QDataStream::Ok || magic != kAnswerMagic) throw damaged();
    if (kind == 1) {
        QString message;
        s >> message;
        if (s.status() != QDataStream::Ok) throw damaged();
        throw SpreadsheetError(path, message);
    }
    quint32 count = 0;
    s >> count;
    QVector<SheetData> sheets;
    for (quint32 i = 0; i < count && s.status() == QDataStream::Ok; ++i) {
        SheetData sheet;
        quint32 rows = 0;
        s >> sheet.name >> rows;
        for (quint32 r = 0; r < rows && s.status() == QDataStream::Ok; ++r) {
            QStringList row;
            s >> row;
            sheet.rows.append(std::move(row));
        }
        sheets.append(std::move(sheet));
    }
    if (s.status() != QDataStream::Ok || sheets.size() != static_cast<int>(count) || count == 0)
        throw damaged();
    return sheets;
}

QVector<SheetData> ReadWorkbook(const QString& path) {
    return ReadThroughReader(path, false);
}

QVector<QStringList> ReadFirstSheet(const QString& path) {
    return ReadThroughReader(path, true).first().rows;
}
