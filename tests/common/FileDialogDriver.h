// Answers the station's file dialogs the way an operator does, for widget tests: when a file
// dialog comes up it records what the dialog offers (title, preset file name, filters, mode),
// then types the next queued path into the file name field and presses Enter, or presses
// Escape for a queued cancel (also when nothing is queued). A dialog that does not take the
// typed name is noted and cancelled, so a test never hangs on it.
#pragma once

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <deque>
#include <optional>

class FileDialogDriver {
  public:
    struct Seen {
        QString title;
        QString presetName;  // the file name field's text as the dialog came up
        QStringList filters;
        QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
        bool nativeDialog = true;
        bool refused = false;  // the typed name was not taken; the dialog was cancelled
    };

    FileDialogDriver() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start(10);
    }

    // Queue the answer for the next dialog: a path typed into the name field, or a cancel.
    void Type(const QString& path) { answers_.push_back(path); }
    void Cancel() { answers_.push_back(std::nullopt); }

    const QVector<Seen>& Dialogs() const { return seen_; }

    // Types text into widget key by key. Each key carries its character, so Chinese names
    // are typed like any other (QTest's own key clicks take Latin-1 only).
    static void TypeText(QWidget* widget, const QString& text) {
        for (const QChar ch : text) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
            QApplication::sendEvent(widget, &press);
            QApplication::sendEvent(widget, &release);
        }
    }

  private:
    void Poll() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            if (!dialog || !dialog->isVisible()) continue;
            const int polls = dialog->property("driverPolls").toInt();
            dialog->setProperty("driverPolls", polls + 1);
            if (dialog->property("driverAnswered").toBool()) {
                // Still up: the name field's list, which fills in the background, may have
                // opened after the path was typed and taken the Enter. Enter once more.
                if (polls == 70 || polls == 100) PressEnter(dialog);
                if (polls == 150) {  // a second after the answer and still up
                    seen_[dialog->property("driverIndex").toInt()].refused = true;
                    dialog->reject();
                }
            } else if (QApplication::activeWindow() == dialog || polls >= 50) {
                // The operator types once the dialog has come up and has the keyboard.
                dialog->setProperty("driverAnswered", true);
                dialog->setProperty("driverPolls", 50);
                Answer(dialog);
            } else if (polls == 0) {
                dialog->activateWindow();
            }
        }
    }

    void Answer(QFileDialog* dialog) {
        auto* nameEdit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        Seen seen;
        seen.title = dialog->windowTitle();
        seen.presetName = nameEdit ? nameEdit->text() : QString();
        seen.filters = dialog->nameFilters();
        seen.mode = dialog->acceptMode();
        seen.nativeDialog = !dialog->testOption(QFileDialog::DontUseNativeDialog);
        dialog->setProperty("driverIndex", static_cast<int>(seen_.size()));
        seen_.append(seen);

        std::optional<QString> answer;
        if (!answers_.empty()) {
            answer = answers_.front();
            answers_.pop_front();
        }
        if (!answer || !nameEdit) {
            QTest::keyClick(dialog, Qt::Key_Escape);
            return;
        }
        // Typed as one quick entry: without the name list that the field would otherwise
        // open while the folder's listing loads, and which could take the Enter meant for
        // the dialog (a folder whose name starts with the typed one would then be entered).
        nameEdit->setCompleter(nullptr);
        nameEdit->setFocus();
        QTest::keyClick(nameEdit, Qt::Key_A, Qt::ControlModifier);
        TypeText(nameEdit, *answer);
        PressEnter(dialog);
    }

    // Enter in the file name field, after closing the list of names the field may have
    // opened while the path was typed, as the operator would.
    static void PressEnter(QFileDialog* dialog) {
        auto* nameEdit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!nameEdit) return;
        if (QCompleter* completer = nameEdit->completer(); completer && completer->popup())
            completer->popup()->hide();
        QTest::keyClick(nameEdit, Qt::Key_Return);
    }

    QTimer timer_;
    std::deque<std::optional<QString>> answers_;
    QVector<Seen> seen_;
};
