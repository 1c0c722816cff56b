#include "TElidedLabel.h"

#include <QPainter>
#include <QStyle>

TElidedLabel::TElidedLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

QSize TElidedLabel::minimumSizeHint() const {
    return {0, QLabel::minimumSizeHint().height()};
}

QSize TElidedLabel::sizeHint() const {
    return {0, QLabel::sizeHint().height()};
}

void TElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = contentsRect();
    const QString shown =
        fontMetrics().elidedText(text(), Qt::ElideRight, area.width(), Qt::TextSingleLine);
    style()->drawItemText(&painter, area, static_cast<int>(alignment()) | Qt::TextSingleLine,
                          palette(), isEnabled(), shown, foregroundRole());
}
