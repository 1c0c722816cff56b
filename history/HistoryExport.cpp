#include "HistoryExport.h"

#include <xlsxwriter.h>

#include <QDateTime>
#include <QFile>
#include <QStringList>

#include "HistoryError.h"

namespace history {

namespace {

// Days since 1899-12-30 of a local time: the spreadsheet's date-time number.
double SpreadsheetTime(qint64 time) {
    const QDateTime local = QDateTime::fromSecsSinceEpoch(time);
    const qint64 localSeconds = time + local.offsetFromUtc();
    return static_cast<double>(localSeconds) / 86400.0 + 25569.0;
}

QString Temperature(double celsius) {
    return QString::number(celsius, 'g', 10);
}

QString CsvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

void Check(lxw_error error, const QString& path) {
    if (error != LXW_NO_ERROR)
        throw HistoryError(
            QStringLiteral("%1: %2").arg(path, QString::fromUtf8(lxw_strerror(error))));
}

}  // namespace

QStringList HistoryExport::Headings() {
    return {QStringLiteral("时间"), QStringLiteral("编号"), QStringLiteral("ID"),
            QStringLiteral("位置"), QStringLiteral("温度(℃)")};
}

QString HistoryExport::TimeText(qint64 time) {
    return QDateTime::fromSecsSinceEpoch(time).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

qint64 HistoryExport::WriteXlsx(const HistoryRange& range, const QString& path) {
    const QByteArray file = QFile::encodeName(path);
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;  // rows go to the file as they are written
    lxw_workbook* book = workbook_new_opt(file.constData(), &options);
    if (!book) throw HistoryError(QStringLiteral("%1: cannot be created").arg(path));
    lxw_format* timeFormat = workbook_add_format(book);
    format_set_num_format(timeFormat, "yyyy-mm-dd hh:mm:ss");
    lxw_format* headFormat = workbook_add_format(book);
    format_set_bold(headFormat);

    const QStringList headings = Headings();
    lxw_worksheet* sheet = nullptr;
    int sheets = 0;
    lxw_row_t row = 0;
    auto newSheet = [&] {
        ++sheets;
        const QByteArray name =
            (sheets == 1 ? QStringLiteral("历史数据") : QStringLiteral("历史数据%1").arg(sheets))
                .toUtf8();
        sheet = workbook_add_worksheet(book, name.constData());
        worksheet_set_column(sheet, 0, 0, 20, nullptr);
        worksheet_set_column(sheet, 2, 3, 14, nullptr);
        worksheet_set_column(sheet, 4, 4, 10, nullptr);
        for (int c = 0; c < headings.size(); ++c)
            worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c),
                                   headings[c].toUtf8().constData(), headFormat);
        row = 0;
    };
    newSheet();
    qint64 written = 0;
    for (const SensorSeries& s : range.series) {
        const QByteArray codeid = s.codeid.toUtf8();
        const QByteArray fix = s.fix.toUtf8();
        for (const HistoryPoint& p : s.points) {
            if (row == kRowsPerSheet) newSheet();
            ++row;
            worksheet_write_number(sheet, row, 0, SpreadsheetTime(p.time), timeFormat);
            worksheet_write_number(sheet, row, 1, s.code, nullptr);
            worksheet_write_string(sheet, row, 2, codeid.constData(), nullptr);
            worksheet_write_string(sheet, row, 3, fix.constData(), nullptr);
            worksheet_write_number(sheet, row, 4, p.celsius, nullptr);
            ++written;
        }
    }
    Check(workbook_close(book), path);
    return written;
}

qint64 HistoryExport::WriteCsv(const HistoryRange& range, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw HistoryError(QStringLiteral("%1: %2").arg(path, file.errorString()));
    QByteArray chunk("\xEF\xBB\xBF");
    chunk += Headings().join(QLatin1Char(',')).toUtf8() + "\r\n";
    qint64 written = 0;
    for (const SensorSeries& s : range.series) {
        const QByteArray tail =
            (QLatin1Char(',') + QString::number(s.code) + QLatin1Char(',') + CsvField(s.codeid) +
             QLatin1Char(',') + CsvField(s.fix) + QLatin1Char(','))
                .toUtf8();
        for (const HistoryPoint& p : s.points) {
            chunk += TimeText(p.time).toLatin1();
            chunk += tail;
            chunk += Temperature(p.celsius).toLatin1();
            chunk += "\r\n";
            ++written;
            if (chunk.size() > (1 << 20)) {
                if (file.write(chunk) != chunk.size())
                    throw HistoryError(QStringLiteral("%1: %2").arg(path, file.errorString()));
                chunk.clear();
            }
        }
    }
    if (file.write(chunk) != chunk.size() || !file.flush())
        throw HistoryError(QStringLiteral("%1: %2").arg(path, file.errorString()));
    return written;
}

}  // namespace history
