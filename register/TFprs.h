// The search progress window: a borderless bar that fills while the sensors answer a search.
// Shown modally by the register window's search; it closes by itself when the bar is full
// (99 steps of 100 ms from 1 %) or at once when the operator clicks the bar.
#pragma once

#include <QDialog>
#include <QProgressBar>
#include <QTimer>

class TFprs : public QDialog {
    Q_OBJECT
  public:
    explicit TFprs(QWidget* parent = nullptr);

    QProgressBar* RzProgressBar1;  // gradient bar, no text, 100 parts

    // The bar's step timer (100 ms, running only while the window shows).
    QTimer* Timer1() { return &Timer1_; }

    void Timer1Timer();
    void RzProgressBar1Change(int percent);
    void RzProgressBar1Click();

  protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void FormShow();
    QTimer Timer1_;
};
