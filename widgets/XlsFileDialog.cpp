#include "XlsFileDialog.h"

#include <QFileDialog>
#include <QStringList>

namespace xlsfiledialog {

namespace {

const QString kExtension = QStringLiteral(".xls");

// The dialog both questions share; its result is the one file the operator chose.
QString Run(QWidget* parent, QFileDialog::AcceptMode mode, const QString& presetName) {
    QFileDialog dialog(parent);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(mode);
    dialog.setNameFilter(NameFilter());
    if (mode == QFileDialog::AcceptSave) {
        dialog.setWindowTitle(QStringLiteral("另存为"));
        dialog.setFileMode(QFileDialog::AnyFile);
        // The name the operator confirms is not the name written when ".xls" gets added, so
        // the dialog's own question about an existing file would ask about the wrong one.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        dialog.selectFile(presetName);
    } else {
        dialog.setWindowTitle(QStringLiteral("打开"));
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted) return QString();
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.first();
}

}  // namespace

QString NameFilter() {
    return QStringLiteral("Excel 97-2003 (*.xls)");
}

QString WithXlsExtension(const QString& name) {
    if (name.endsWith(kExtension, Qt::CaseInsensitive)) return name;
    return name + kExtension;
}

QString AskSavePath(QWidget* parent, const QString& presetName) {
    const QString chosen = Run(parent, QFileDialog::AcceptSave, presetName);
    return chosen.isEmpty() ? QString() : WithXlsExtension(chosen);
}

QString AskOpenPath(QWidget* parent) {
    return Run(parent, QFileDialog::AcceptOpen, QString());
}

}  // namespace xlsfiledialog
