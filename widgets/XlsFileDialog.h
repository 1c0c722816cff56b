// The file dialogs in which the operator picks a spreadsheet file (.xls) to write or to read.
// Both are the toolkit's own dialogs (the same on every desktop, and drivable in tests), modal
// over the window that asks.
#pragma once

#include <QString>

class QWidget;

namespace xlsfiledialog {

// The single filter both dialogs offer.
QString NameFilter();

// name with ".xls" at its end, unless it already ends so in any mix of case: "a" gives
// "a.xls", "a.xls" and "a.XLS" stay as they are, "a.csv" gives "a.csv.xls".
QString WithXlsExtension(const QString& name);

// Save dialog with the file name preset to presetName. Returns the path to write, always
// ending in ".xls" (see WithXlsExtension), or an empty text when the operator cancels. An
// existing file of that name is replaced without a further question.
QString AskSavePath(QWidget* parent, const QString& presetName);

// Open dialog for an existing file. Returns its path, or an empty text when the operator
// cancels.
QString AskOpenPath(QWidget* parent);

}  // namespace xlsfiledialog
