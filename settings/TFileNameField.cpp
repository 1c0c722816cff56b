#include "TFileNameField.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QStyle>

TFileNameField::TFileNameField(QWidget* parent) : QLineEdit(parent) {
    // Read-only keeps paste, cut, drops and the context menu's edits out as well; selecting and
    // copying the path still work.
    setReadOnly(true);
    browse_ = addAction(style()->standardIcon(QStyle::SP_DirOpenIcon), QLineEdit::TrailingPosition);
    browse_->setObjectName(QStringLiteral("browse"));
    browse_->setToolTip(QStringLiteral("浏览..."));
    connect(browse_, &QAction::triggered, this, [this] { Browse(); });
}

void TFileNameField::Browse() {
    QString folder;
    if (!text().isEmpty()) folder = QFileInfo(text()).absolutePath();
    QFileDialog dialog(this, dialogTitle_, folder, filter_);
    dialog.setObjectName(QStringLiteral("fileNameFieldDialog"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!text().isEmpty()) dialog.selectFile(text());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString path = QDir::toNativeSeparators(dialog.selectedFiles().first());
    if (path.size() > maxLength_) {
        // Cutting the path would name another file; refuse it instead.
        QApplication::beep();
        return;
    }
    setText(path);
}

void TFileNameField::keyPressEvent(QKeyEvent* event) {
    const bool command =
        event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const QString t = event->text();
    const bool character =
        !command && !t.isEmpty() && (t[0].isPrint() || t[0] == QLatin1Char('\b'));
    if (character || event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete) {
        QApplication::beep();
        emit KeyRefused();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}
