#include "TSpinField.h"

#include <QApplication>
#include <QLineEdit>
#include <algorithm>

namespace {

// The field's text as a number, when it is one (blanks around it allowed).
bool ParseNumber(const QString& text, qint64& value) {
    bool ok = false;
    value = text.trimmed().toLongLong(&ok);
    return ok;
}

}  // namespace

TSpinField::TSpinField(QWidget* parent) : QAbstractSpinBox(parent) {
    setAccelerated(false);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    connect(lineEdit(), &QLineEdit::textChanged, this, &TSpinField::TextChanged);
    connect(lineEdit(), &QLineEdit::textChanged, this, [this] { update(); });
    connect(qApp, &QApplication::focusChanged, this, &TSpinField::FocusChanged);
}

QString TSpinField::Text() const {
    return lineEdit()->text();
}

void TSpinField::SetText(const QString& text) {
    lineEdit()->setText(text);
}

void TSpinField::SetRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
}

void TSpinField::stepBy(int steps) {
    qint64 v = 0;
    if (!ParseNumber(Text(), v)) v = minimum_;
    v += static_cast<qint64>(steps) * increment_;
    v = std::clamp<qint64>(v, minimum_, maximum_);
    SetText(QString::number(v));
    lineEdit()->selectAll();
}

QAbstractSpinBox::StepEnabled TSpinField::stepEnabled() const {
    if (isReadOnly()) return StepNone;
    qint64 v = 0;
    if (!ParseNumber(Text(), v)) return StepUpEnabled | StepDownEnabled;
    StepEnabled out = StepNone;
    if (v < maximum_) out |= StepUpEnabled;
    if (v > minimum_) out |= StepDownEnabled;
    return out;
}

QValidator::State TSpinField::validate(QString& input, int&) const {
    for (const QChar c : input) {
        if ((c.isDigit() && c.unicode() < 128) || c == QLatin1Char('-') || c == QLatin1Char('+'))
            continue;
        return QValidator::Invalid;
    }
    return QValidator::Acceptable;
}

void TSpinField::fixup(QString&) const {
    // The text is repaired by the window that owns the field, never here.
}

void TSpinField::FocusChanged(QWidget* old, QWidget* now) {
    // The field or its inner line edit holds the focus; leaving means it went from them to another
    // control of the same window. A window that comes up over it (a message box) is no leaving.
    const auto inside = [this](QWidget* w) { return w && (w == this || isAncestorOf(w)); };
    if (!inside(old) || inside(now) || !now || now->window() != window()) return;
    emit Exited();
}
