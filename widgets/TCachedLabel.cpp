#include "TCachedLabel.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>
#include <QTextDocument>

TCachedLabel::TCachedLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}

bool TCachedLabel::Keepable() const {
    const QString& t = text();
    if (t.isEmpty() || t.contains(QLatin1Char('\n')) || t.isRightToLeft()) return false;
    switch (textFormat()) {
        case Qt::PlainText:
            break;
        case Qt::AutoText:
            if (Qt::mightBeRichText(t)) return false;
            break;
        default:
            return false;
    }
    if (wordWrap() || margin() != 0 || indent() > 0 || frameWidth() != 0 || buddy() ||
        layoutDirection() != Qt::LeftToRight || !autoFillBackground() ||
        testAttribute(Qt::WA_StyleSheet) || textInteractionFlags() & ~Qt::LinksAccessibleByMouse)
        return false;
    // The picture's background stands for the one the widget fills in before painting.
    const QBrush& background = palette().brush(backgroundRole());
    return background.style() == Qt::SolidPattern && background.color().alpha() == 255;
}

TCachedLabel::Form TCachedLabel::CurrentForm() const {
    return {contentsRect(), static_cast<int>(alignment()),
            static_cast<int>(palette().currentColorGroup()), devicePixelRatioF()};
}

QPixmap TCachedLabel::Picture(const QString& text) {
    const Form form = CurrentForm();
    if (!(form == form_)) {
        pictures_.clear();
        form_ = form;
    }
    const qreal ratio = form.ratio;
    if (const auto kept = pictures_.constFind(text); kept != pictures_.constEnd()) return *kept;
    if (pictures_.size() >= kMaxPictures) pictures_.clear();
    QPixmap picture(size() * ratio);
    picture.setDevicePixelRatio(ratio);
    picture.fill(palette().color(backgroundRole()));
    {
        // What a label draws for a plain text: the text aligned in its contents, through the
        // style, in the label's colours.
        QPainter painter(&picture);
        painter.setFont(font());
        painter.setLayoutDirection(layoutDirection());
        const int flags = static_cast<int>(QStyle::visualAlignment(Qt::LeftToRight, alignment())) |
                          Qt::TextForceLeftToRight;
        style()->drawItemText(&painter, contentsRect(), flags, palette(), isEnabled(), text,
                              foregroundRole());
    }
    pictures_.insert(text, picture);
    return picture;
}

void TCachedLabel::paintEvent(QPaintEvent* event) {
    if (!Keepable()) {
        QLabel::paintEvent(event);
        return;
    }
    const QPixmap picture = Picture(text());
    QPainter painter(this);
    painter.drawPixmap(0, 0, picture);
}

void TCachedLabel::changeEvent(QEvent* event) {
    switch (event->type()) {
        // The state (enabled, active window) and the size are part of the form the pictures
        // were made in, and a right-to-left label keeps none.
        case QEvent::FontChange:
        case QEvent::PaletteChange:
        case QEvent::StyleChange:
            pictures_.clear();
            break;
        default:
            break;
    }
    QLabel::changeEvent(event);
}
