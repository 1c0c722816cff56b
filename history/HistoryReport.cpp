#include "HistoryReport.h"

#include <QFontMetrics>
#include <QGraphicsView>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include "HistoryError.h"
#include "HistoryExport.h"

namespace history {

namespace {

QString Celsius(double value) {
    return QString::number(value, 'f', 2) + QStringLiteral("℃");
}

QString SensorName(int code, const HistoryRange& range) {
    for (const HistorySensor& s : range.sensors)
        if (s.code == code) return QStringLiteral("%1号 %2").arg(code).arg(s.fix);
    return QStringLiteral("%1号").arg(code);
}

}  // namespace

QString HistoryReport::KindText(EpisodeKind kind) {
    switch (kind) {
        case EpisodeKind::BusLost:
            return QStringLiteral("总线中断");
        case EpisodeKind::SensorSilent:
            return QStringLiteral("传感器无响应");
        case EpisodeKind::AlarmHigh:
            return QStringLiteral("超上限");
        case EpisodeKind::AlarmLow:
            return QStringLiteral("超下限");
    }
    return QString();
}

QString HistoryReport::EpisodeText(const HistoryEpisode& e, const HistoryRange& range) {
    QString text = KindText(e.kind);
    if (e.code != 0) text += QLatin1Char(' ') + SensorName(e.code, range);
    text += QLatin1Char(' ') + HistoryExport::TimeText(e.started) + QStringLiteral(" 至 ") +
            (e.ended != 0 ? HistoryExport::TimeText(e.ended) : QStringLiteral("仍在持续"));
    if (e.hasExtreme) text += QStringLiteral(" 极值 ") + Celsius(e.extreme);
    return text;
}

void HistoryReport::WritePdf(const QString& path, const QString& stationTitle,
                             const HistoryRange& range, QGraphicsView& chart,
                             const QDateTime& printedAt) {
    QPdfWriter writer(path);
    writer.setTitle(stationTitle);
    writer.setCreator(QStringLiteral("历史曲线"));
    writer.setResolution(150);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                     QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter));
    QPainter painter;
    if (!painter.begin(&writer))
        throw HistoryError(QStringLiteral("%1: cannot be written").arg(path));
    const QRect page = painter.viewport();
    const int w = page.width();
    const int h = page.height();

    QFont titleFont = painter.font();
    titleFont.setPointSizeF(16);
    titleFont.setBold(true);
    QFont textFont = painter.font();
    textFont.setPointSizeF(8.5);
    QFont headFont = textFont;
    headFont.setBold(true);

    int y = 0;
    painter.setFont(titleFont);
    const int titleHeight = QFontMetrics(titleFont, &writer).height();
    painter.drawText(QRect(0, y, w, titleHeight), Qt::AlignHCenter | Qt::AlignVCenter,
                     stationTitle.isEmpty() ? QStringLiteral("历史曲线") : stationTitle);
    y += titleHeight;
    painter.setFont(textFont);
    const int line = QFontMetrics(textFont, &writer).height();
    painter.drawText(
        QRect(0, y, w, line), Qt::AlignHCenter | Qt::AlignVCenter,
        QStringLiteral("历史曲线  %1 至 %2")
            .arg(HistoryExport::TimeText(range.from), HistoryExport::TimeText(range.to)));
    y += line + line / 2;

    // The chart keeps the proportions it has on screen, as wide as the page allows within
    // the upper part of it.
    const QSize shown = chart.viewport()->size();
    const int chartHeightMax = h * 55 / 100;
    QRect target(0, y, w, chartHeightMax);
    if (shown.width() > 0 && shown.height() > 0) {
        const QSize fitted = shown.scaled(target.size(), Qt::KeepAspectRatio);
        target = QRect(QPoint((w - fitted.width()) / 2, y), fitted);
    }
    chart.render(&painter, target, chart.viewport()->rect());
    y = target.bottom() + line;

    const int footerTop = h - line;
    // Left half: the statistics; right half: the episodes.
    const int half = w / 2 - line;
    int ys = y;
    const QStringList statHeads = {QStringLiteral("传感器"), QStringLiteral("最低"),
                                   QStringLiteral("最高"), QStringLiteral("平均"),
                                   QStringLiteral("读数")};
    const int cols[] = {0, half * 45 / 100, half * 59 / 100, half * 73 / 100, half * 87 / 100};
    painter.setFont(headFont);
    for (int c = 0; c < statHeads.size(); ++c)
        painter.drawText(QRect(cols[c], ys, half, line), Qt::AlignLeft | Qt::AlignVCenter,
                         statHeads[c]);
    ys += line;
    painter.setFont(textFont);
    painter.drawLine(0, ys, half, ys);
    for (const SensorSeries& s : range.series) {
        if (ys + line > footerTop - line) break;
        const bool any = !s.points.empty();
        const QStringList cells = {
            QStringLiteral("%1号 %2 (%3)").arg(s.code).arg(s.fix, s.codeid),
            any ? Celsius(s.min) : QStringLiteral("-"), any ? Celsius(s.max) : QStringLiteral("-"),
            any ? Celsius(s.mean) : QStringLiteral("-"), QString::number(s.points.size())};
        for (int c = 0; c < cells.size(); ++c)
            painter.drawText(QRect(cols[c], ys, (c + 1 < 5 ? cols[c + 1] : half) - cols[c], line),
                             Qt::AlignLeft | Qt::AlignVCenter, cells[c]);
        ys += line;
    }

    const int left = w / 2 + line;
    int ye = y;
    painter.setFont(headFont);
    painter.drawText(QRect(left, ye, w - left, line), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("报警与中断（%1 次）").arg(range.episodes.size()));
    ye += line;
    painter.setFont(textFont);
    painter.drawLine(left, ye, w, ye);
    const int room = std::max(0, (footerTop - line - ye) / line);
    const int count = static_cast<int>(range.episodes.size());
    const int listed = count <= room ? count : std::max(0, room - 1);
    for (int i = 0; i < listed; ++i) {
        painter.drawText(QRect(left, ye, w - left, line), Qt::AlignLeft | Qt::AlignVCenter,
                         EpisodeText(range.episodes[i], range));
        ye += line;
    }
    if (listed < count)
        painter.drawText(QRect(left, ye, w - left, line), Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("……另有 %1 次").arg(count - listed));
    if (count == 0)
        painter.drawText(QRect(left, ye, w - left, line), Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("无"));

    painter.drawText(QRect(0, footerTop, w, line), Qt::AlignRight | Qt::AlignVCenter,
                     QStringLiteral("打印时间：%1")
                         .arg(printedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
    if (!painter.end()) throw HistoryError(QStringLiteral("%1: cannot be written").arg(path));
}

}  // namespace history
