// Writes Excel 97-2003 workbooks (.xls): the BIFF8 stream from WorkbookStream inside an OLE2
// compound file made by libgsf.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include "SheetData.h"

// Writes the sheets to path, replacing any file of that name. The file appears only complete:
// it is written to a temporary file in the same folder and renamed over path at the end; on
// any failure the temporary file is removed, an existing file at path stays as it was, and a
// SpreadsheetError naming path is thrown. Sheets that do not fit the format (see
// CheckWorkbookLimits) are refused the same way before anything is written.
void WriteWorkbook(const QString& path, const QVector<SheetData>& sheets);

// The bytes of a compound file holding workbookStream as its "Workbook" stream. Throws
// std::runtime_error when libgsf fails.
QByteArray PackIntoCompoundFile(const QByteArray& workbookStream);
