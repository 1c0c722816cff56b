#include "XlsWriter.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-utils.h>

#include <QDir>
#include <QSaveFile>
#include <mutex>
#include <stdexcept>

#include "SpreadsheetError.h"
#include "WorkbookStream.h"

namespace {

void EnsureGsfInitialised() {
    static std::once_flag once;
    std::call_once(once, [] { gsf_init(); });
}

QString GsfErrorText(GsfOutput* output) {
    const GError* error = output ? gsf_output_error(output) : nullptr;
    return error && error->message ? QString::fromUtf8(error->message) : QString();
}

QString WriteFailure(const QString& path, const QString& detail) {
    return QStringLiteral("无法写入文件“%1”：%2").arg(QDir::toNativeSeparators(path), detail);
}

}  // namespace

QByteArray PackIntoCompoundFile(const QByteArray& workbookStream) {
    EnsureGsfInitialised();
    GsfOutput* memory = gsf_output_memory_new();
    GsfOutfile* ole = gsf_outfile_msole_new(memory);
    if (!ole) {
        g_object_unref(memory);
        throw std::runtime_error("libgsf could not start a compound file");
    }
    GsfOutput* child = gsf_outfile_new_child(ole, "Workbook", FALSE);
    QString error;
    bool ok = child != nullptr;
    if (ok) {
        ok = gsf_output_write(child, static_cast<size_t>(workbookStream.size()),
                              reinterpret_cast<const guint8*>(workbookStream.constData()));
        if (!ok) error = GsfErrorText(child);
        if (!gsf_output_close(child) && ok) {
            ok = false;
            error = GsfErrorText(child);
        }
        g_object_unref(child);
    }
    if (!gsf_output_close(GSF_OUTPUT(ole)) && ok) {
        ok = false;
        error = GsfErrorText(GSF_OUTPUT(ole));
    }
    g_object_unref(ole);
    if (!gsf_output_is_closed(memory)) gsf_output_close(memory);

    QByteArray bytes;
    if (ok) {
        const gsf_off_t size = gsf_output_size(memory);
        const guint8* data = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(memory));
        if (data && size > 0) {
            bytes = QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
        } else {
            ok = false;
        }
    }
    g_object_unref(memory);
    if (!ok) {
        throw std::runtime_error(
            ("libgsf could not build the compound file" + (error.isEmpty() ? "" : ": " + error))
                .toStdString());
    }
    return bytes;
}

void WriteWorkbook(const QString& path, const QVector<SheetData>& sheets) {
    const QString problem = CheckWorkbookLimits(sheets);
    if (!problem.isEmpty()) throw SpreadsheetError(path, WriteFailure(path, problem));

    QByteArray container;
    try {
        container = PackIntoCompoundFile(BuildWorkbookStream(sheets));
    } catch (const std::exception& e) {
        throw SpreadsheetError(path, WriteFailure(path, QString::fromUtf8(e.what())));
    }

    // QSaveFile writes to a temporary file beside path and renames it over path on commit;
    // without a commit, or when the commit fails, it removes the temporary file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        throw SpreadsheetError(path, WriteFailure(path, file.errorString()));
    }
    if (file.write(container) != container.size()) {
        const QString detail = file.errorString();
        file.cancelWriting();
        throw SpreadsheetError(path, WriteFailure(path, detail));
    }
    if (!file.commit()) {
        throw SpreadsheetError(path, WriteFailure(path, file.errorString()));
    }
}
