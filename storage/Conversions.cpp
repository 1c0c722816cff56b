#include "Conversions.h"

#include <QLocale>
#include <cmath>

#include "StationError.h"

int32_t StrToInt(const QString& text) {
    const QString body = [&] {
        int i = 0;
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        return text.mid(i);
    }();
    bool ok = false;
    qint64 v = 0;
    // Only an optional sign followed by decimal digits is an integer here.
    bool shapeOk = !body.isEmpty();
    for (int i = 0; i < body.size() && shapeOk; ++i) {
        const QChar c = body[i];
        if (c.isDigit() && c.unicode() < 128) continue;
        if (i == 0 && (c == '+' || c == '-') && body.size() > 1) continue;
        shapeOk = false;
    }
    if (shapeOk) v = body.toLongLong(&ok);
    if (!shapeOk || !ok || v < INT32_MIN || v > INT32_MAX)
        throw ConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return static_cast<int32_t>(v);
}

double StrToFloat(const QString& text) {
    QString t = text.trimmed();
    const QString sep = QLocale().decimalPoint();
    if (sep != QStringLiteral(".")) t.replace(sep, QStringLiteral("."));
    // Digits in groups ("1,000") are not a number here, as the edit checks have it.
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    double v = t.isEmpty() ? 0.0 : c.toDouble(t, &ok);
    if (!ok || !std::isfinite(v))
        throw ConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return v;
}

QString TrimControl(const QString& text) {
    int b = 0;
    int e = text.size();
    while (b < e && text[b].unicode() <= 32) ++b;
    while (e > b && text[e - 1].unicode() <= 32) --e;
    return text.mid(b, e - b);
}
