#include "TFprs.h"

#include <QMouseEvent>
#include <QVBoxLayout>

#include "MessageBoxes.h"

TFprs::TFprs(QWidget* parent) : QDialog(parent, Qt::FramelessWindowHint | Qt::Dialog) {
    setObjectName(QStringLiteral("TFprs"));
    setFixedSize(202, 36);
    setWindowOpacity(200.0 / 255.0);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    RzProgressBar1 = new QProgressBar(this);
    RzProgressBar1->setObjectName(QStringLiteral("RzProgressBar1"));
    RzProgressBar1->setRange(0, 100);
    RzProgressBar1->setValue(0);
    RzProgressBar1->setTextVisible(false);
    RzProgressBar1->setStyleSheet(QStringLiteral(
        "QProgressBar { border: 1px solid rgb(0,64,64); background: rgb(224,224,224); }"
        "QProgressBar::chunk { background: qlineargradient(x1:0, y1:0, x2:1, y2:0,"
        " stop:0 rgb(0,64,160), stop:1 rgb(64,192,255)); }"));
    RzProgressBar1->installEventFilter(this);
    layout->addWidget(RzProgressBar1);

    Timer1_.setInterval(100);
    connect(&Timer1_, &QTimer::timeout, this, [this] { RunHandler([this] { Timer1Timer(); }); });
    connect(RzProgressBar1, &QProgressBar::valueChanged, this,
            [this](int v) { RunHandler([this, v] { RzProgressBar1Change(v); }); });
}

void TFprs::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Brought back from minimised, the bar goes on where it was; only a showing by the
    // search starts it again.
    if (event->spontaneous()) return;
    if (QWidget* p = parentWidget()) {
        const QRect owner = p->window()->frameGeometry();
        move(owner.center() - QPoint(width() / 2, height() / 2));
    }
    FormShow();
}

void TFprs::FormShow() {
    RzProgressBar1->setValue(1);
    Timer1_.start();
}

void TFprs::Timer1Timer() {
    if (RzProgressBar1->value() < 100) RzProgressBar1->setValue(RzProgressBar1->value() + 1);
}

void TFprs::RzProgressBar1Change(int percent) {
    if (percent != 100) return;
    Timer1_.stop();
    close();
}

void TFprs::RzProgressBar1Click() {
    Timer1_.stop();
    close();
}

bool TFprs::eventFilter(QObject* watched, QEvent* event) {
    if (watched == RzProgressBar1 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        RunHandler([this] { RzProgressBar1Click(); });
    return QDialog::eventFilter(watched, event);
}

// FormCloseQuery: the wait may always end; the bar stops stepping.
void TFprs::done(int result) {
    Timer1_.stop();
    QDialog::done(result);
}
