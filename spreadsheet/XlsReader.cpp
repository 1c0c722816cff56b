#include "XlsReader.h"

#include <freexl.h>

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "NumberText.h"
#include "SpreadsheetError.h"

namespace {

QString ReadFailure(const QString& path, const QString& detail) {
    return QStringLiteral("无法读取文件“%1”：%2").arg(QDir::toNativeSeparators(path), detail);
}

QString NotAWorkbook() {
    return QStringLiteral("它不是 Excel 97-2003 工作簿（.xls）");
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

SheetData ReadSheet(const QString& path, const void* handle, unsigned short index) {
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

    // The declared dimensions may include empty rows and columns at the end; keep only the
    // part that reaches the last value.
    QVector<QStringList> cells;
    int usedColumns = 0;
    int usedRows = 0;
    for (unsigned int r = 0; r < rows; ++r) {
        QStringList row;
        int rowEnd = 0;
        for (unsigned short c = 0; c < columns; ++c) {
            FreeXL_CellValue value;
            rc = freexl_get_cell_value(handle, r, c, &value);
            if (rc != FREEXL_OK) throw SpreadsheetError(path, ReadFailure(path, Damaged(rc)));
            QString text = CellText(value);
            if (!text.isEmpty()) rowEnd = c + 1;
            row.append(std::move(text));
        }
        if (rowEnd > 0) usedRows = static_cast<int>(r) + 1;
        usedColumns = std::max(usedColumns, rowEnd);
        cells.append(std::move(row));
    }
    cells.resize(usedRows);
    for (QStringList& row : cells) row.resize(usedColumns);
    sheet.rows = std::move(cells);
    return sheet;
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

    FreexlHandle handle;
    int rc = freexl_open(QFile::encodeName(path).constData(), handle.Out());
    if (rc != FREEXL_OK) throw SpreadsheetError(path, ReadFailure(path, OpenErrorText(rc)));
    // freexl gives up on some structures it does not follow (a text spread over more than two
    // records, for one) by reporting success without a workbook.
    if (!handle.Get()) {
        throw SpreadsheetError(
            path, ReadFailure(path, QStringLiteral("工作簿已损坏或含有无法读取的结构")));
    }

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
        sheets.append(ReadSheet(path, handle.Get(), static_cast<unsigned short>(i)));
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
        throw SpreadsheetError(
            path, ReadFailure(path, QStringLiteral("工作簿已损坏或含有无法读取的结构")));
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
    auto damaged = [&] {
        return SpreadsheetError(
            path, ReadFailure(path, QStringLiteral("工作簿已损坏或含有无法读取的结构")));
    };
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
