#include "AlarmLogText.h"

#include "Conversions.h"

namespace alarmlog {

QString DateText(int dates) {
    const QString d = QString::number(dates);
    return d.mid(0, 4) + QStringLiteral("年") + d.mid(4, 2) + QStringLiteral("月") + d.mid(6, 2) +
           QStringLiteral("日");
}

QString TimeText(int times) {
    // Six digits at least; a stored value beyond 23:59:59 keeps all its digits in the hours so
    // that the row can still be found again by its time.
    const QString t = QStringLiteral("%1").arg(times, 6, 10, QLatin1Char('0'));
    const int h = t.size() - 4;
    return t.left(h) + QLatin1Char(':') + t.mid(h, 2) + QLatin1Char(':') + t.mid(h + 2, 2);
}

QString DigitsOf(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text)
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) out += c;
    return out;
}

int DateEditNumber(const QString& editText) {
    return StrToInt(editText.mid(0, 4) + editText.mid(5, 2) + editText.mid(8, 2));
}

}  // namespace alarmlog
