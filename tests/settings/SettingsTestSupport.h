// Shared set-up of the settings window tests: no real serial device is ever listed (the port
// list comes from SENSORBUS_PORTS, empty unless a test names simulator ports), sounds play
// into a silent sink, and the sound alias is free when a test begins.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <functional>

#include "SoundPlayer.h"
#include "StationFixture.h"
#include "TestSupport.h"

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qputenv("SENSORBUS_PORTS", "");
        SoundPlayer::Shared().SetAudioSink(QStringLiteral("fakesink"));
        CloseSound(QStringLiteral("mywave"));
    }
    void TearDown() override { CloseSound(QStringLiteral("mywave")); }

    static QByteArray Ini(const QByteArray& icon, const QByteArray& title,
                          const QByteArray& addhigh, const QByteArray& interval,
                          const QByteArray& media) {
        return "[seting]\nstart=1\nicon=" + icon + "\ntitle=" + title + "\naddhigh=" + addhigh +
               "\ninterval=" + interval + "\nmedia=" + media + "\n";
    }

    static QString AlarmWav() { return testsupport::BinDir() + QStringLiteral("/Alarm.wav"); }

    // Opens the settings window without blocking, as a window-modal dialog, and waits until it
    // is active so that focus moves between its fields as they do for the operator.
    static void Open(TFset2* w) {
        w->open();
        w->activateWindow();
        ASSERT_TRUE(testsupport::WaitFor([w] { return QApplication::activeWindow() == w; }, 3000));
    }

    // Replaces a spin field's text by typing, as the operator does (select all, type).
    static void TypeInto(QWidget* field, const QString& text) {
        field->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        if (text.isEmpty())
            QTest::keyClick(field, Qt::Key_Delete);
        else
            QTest::keyClicks(field, text);
    }

    // Types text into the focused field: ASCII as key presses, other characters as an input
    // method commits them (Chinese is entered through one).
    static void TypeText(QWidget* field, const QString& text) {
        for (const QChar c : text) {
            if (c.unicode() < 128) {
                QTest::keyClicks(field, QString(c));
            } else {
                QInputMethodEvent commit;
                commit.setCommitString(QString(c));
                QApplication::sendEvent(field, &commit);
            }
        }
    }

    // Moves the focus on to another field of the window, as the Tab key does.
    static void Leave(QWidget* field) { QTest::keyClick(field, Qt::Key_Tab); }

    // Answers the file-open dialog of a file-name field with path once it shows.
    static void ChooseFileWhenAsked(const QString& path) {
        QTimer::singleShot(0, [path] {
            QFileDialog* dialog = nullptr;
            testsupport::WaitFor(
                [&] {
                    for (QWidget* w : QApplication::topLevelWidgets())
                        if (auto* d = qobject_cast<QFileDialog*>(w); d && d->isVisible())
                            dialog = d;
                    return dialog != nullptr;
                },
                5000);
            if (!dialog) return;
            dialog->selectFile(path);
            static_cast<QDialog*>(dialog)->accept();  // the Open button
        });
    }
};
