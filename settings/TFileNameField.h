// A file-name field: the path is chosen with the browse button at its right end, never typed.
//
// Character keys, Backspace and Delete are refused with a beep; the text changes only through
// the browse button's file-open dialog or SetText. Paths longer than MaxLength() characters are
// not taken from the dialog. A text set from outside is kept whole.
#pragma once

#include <QLineEdit>
#include <QString>

class QAction;

class TFileNameField : public QLineEdit {
    Q_OBJECT
  public:
    static constexpr int kDefaultMaxLength = 255;

    explicit TFileNameField(QWidget* parent = nullptr);

    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int length) { maxLength_ = length; }
    // Name filters of the file-open dialog, e.g. "Sounds (*.wav);;All files (*)".
    void SetFilter(const QString& filter) { filter_ = filter; }
    void SetDialogTitle(const QString& title) { dialogTitle_ = title; }

    QAction* BrowseAction() const { return browse_; }

    // Opens the file-open dialog; the chosen file's path becomes the text.
    void Browse();

  signals:
    // A key that would have changed the text was refused (and the beep sounded).
    void KeyRefused();

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QAction* browse_;
    int maxLength_ = kDefaultMaxLength;
    QString filter_;
    QString dialogTitle_;
};
