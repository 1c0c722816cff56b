// A whole-number field with up and down buttons whose text is kept exactly as it stands.
//
// Unlike QSpinBox it never rewrites the text on its own: the field may be blank or hold a number
// outside its range while the operator types, and the window that owns it decides when and how
// to repair it (on leaving the field) and writes the text as it is. The buttons, the arrow keys
// and the wheel step the number and keep it within the range.
#pragma once

#include <QAbstractSpinBox>
#include <QString>

class TSpinField : public QAbstractSpinBox {
    Q_OBJECT
  public:
    explicit TSpinField(QWidget* parent = nullptr);

    QString Text() const;
    // Sets the text as given (no range check); TextChanged follows only when it differs.
    void SetText(const QString& text);

    void SetRange(int minimum, int maximum);
    int Minimum() const { return minimum_; }
    int Maximum() const { return maximum_; }
    void SetIncrement(int step) { increment_ = step; }

    // Steps from the number in the field (a text that is no number counts as the minimum) and
    // keeps the result within the range.
    void stepBy(int steps) override;

  signals:
    void TextChanged(const QString& text);
    // The focus moved from this field to another control of the window (not merely to another
    // window, such as a message box that came up).
    void Exited();

  protected:
    StepEnabled stepEnabled() const override;
    // Digits and a sign may be typed; anything else is refused. Blank is allowed.
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;

  private:
    void FocusChanged(QWidget* old, QWidget* now);

    int minimum_ = 0;
    int maximum_ = 100;
    int increment_ = 1;
};
