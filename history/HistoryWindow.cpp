#include "HistoryWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QChart>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <cmath>

#include "ColumnReduction.h"
#include "HistoryChartView.h"
#include "HistoryError.h"
#include "HistoryExport.h"
#include "HistoryReader.h"
#include "HistoryReport.h"
#include "HistoryVerifier.h"
#include "IniFile.h"
#include "MessageBoxes.h"

namespace history {

namespace {

constexpr qint64 kDay = 86400;

const QColor kCurveColors[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28),
                               QColor(0x2c, 0xa0, 0x2c), QColor(0xff, 0x7f, 0x0e),
                               QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b),
                               QColor(0xe3, 0x77, 0xc2), QColor(0x17, 0xbe, 0xcf)};

QString SensorLabel(int code, const QString& fix) {
    return QStringLiteral("%1号 %2").arg(code).arg(fix);
}

QString Celsius(double value) {
    return QString::number(value, 'f', 2);
}

double Msecs(qint64 seconds) {
    return static_cast<double>(seconds) * 1000.0;
}

void HideFromLegend(QChart* chart, QAbstractSeries* series) {
    for (QLegendMarker* marker : chart->legend()->markers(series)) marker->setVisible(false);
}

}  // namespace

HistoryWindow::HistoryWindow(const QString& historyPath, const QString& settingsPath,
                             QWidget* parent)
    : QWidget(parent, Qt::Window),
      settingsPath_(settingsPath),
      historyPath_(historyPath),
      reader_(std::make_shared<HistoryReader>(historyPath)) {
    setObjectName(QStringLiteral("historyWindow"));
    setWindowTitle(QStringLiteral("历史曲线"));
    resize(1100, 720);

    readerThread_.setObjectName(QStringLiteral("history reading"));
    readerContext_ = new QObject;
    readerContext_->moveToThread(&readerThread_);
    connect(&readerThread_, &QThread::finished, readerContext_, &QObject::deleteLater);
    readerThread_.start();

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("范围:"), this));
    rangeBox_ = new QComboBox(this);
    rangeBox_->setObjectName(QStringLiteral("rangeBox"));
    rangeBox_->addItems({QStringLiteral("最近24小时"), QStringLiteral("最近7天"),
                         QStringLiteral("最近30天"), QStringLiteral("自定义范围")});
    top->addWidget(rangeBox_);
    top->addWidget(new QLabel(QStringLiteral("从"), this));
    fromEdit_ = new QDateEdit(this);
    fromEdit_->setObjectName(QStringLiteral("fromDate"));
    toEdit_ = new QDateEdit(this);
    toEdit_->setObjectName(QStringLiteral("toDate"));
    for (QDateEdit* edit : {fromEdit_, toEdit_}) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("yyyy年MM月dd日"));
        edit->setDate(QDate::currentDate());
    }
    top->addWidget(fromEdit_);
    top->addWidget(new QLabel(QStringLiteral("至"), this));
    top->addWidget(toEdit_);
    top->addSpacing(12);
    resetButton_ = new QPushButton(QStringLiteral("复位"), this);
    resetButton_->setObjectName(QStringLiteral("resetButton"));
    resetButton_->setToolTip(QStringLiteral("回到整个范围（也可在曲线上点右键）"));
    top->addWidget(resetButton_);
    top->addStretch(1);
    xlsxButton_ = new QPushButton(QStringLiteral("导出Excel"), this);
    xlsxButton_->setObjectName(QStringLiteral("xlsxButton"));
    csvButton_ = new QPushButton(QStringLiteral("导出CSV"), this);
    csvButton_->setObjectName(QStringLiteral("csvButton"));
    pdfButton_ = new QPushButton(QStringLiteral("打印报告(PDF)"), this);
    pdfButton_->setObjectName(QStringLiteral("pdfButton"));
    verifyButton_ = new QPushButton(QStringLiteral("校验记录"), this);
    verifyButton_->setObjectName(QStringLiteral("verifyButton"));
    verifyButton_->setToolTip(QStringLiteral("检查封存后的每日记录有没有被改动、增加或删除"));
    top->addWidget(xlsxButton_);
    top->addWidget(csvButton_);
    top->addWidget(pdfButton_);
    top->addWidget(verifyButton_);

    sensorList_ = new QListWidget(this);
    sensorList_->setObjectName(QStringLiteral("sensorList"));
    sensorList_->setMinimumWidth(160);

    chart_ = new QChart;
    chart_->legend()->setAlignment(Qt::AlignBottom);
    chart_->setMargins(QMargins(4, 4, 4, 4));
    timeAxis_ = new QDateTimeAxis;
    timeAxis_->setTickCount(7);
    valueAxis_ = new QValueAxis;
    valueAxis_->setTitleText(QStringLiteral("温度(℃)"));
    chart_->addAxis(timeAxis_, Qt::AlignBottom);
    chart_->addAxis(valueAxis_, Qt::AlignLeft);
    view_ = new HistoryChartView(chart_, this);
    view_->setObjectName(QStringLiteral("chartView"));
    view_->setMinimumSize(600, 320);

    hoverLabel_ = new QLabel(this);
    hoverLabel_->setObjectName(QStringLiteral("hoverLabel"));
    hoverLabel_->setMinimumHeight(hoverLabel_->fontMetrics().height() + 4);

    auto* chartColumn = new QWidget(this);
    auto* chartLayout = new QVBoxLayout(chartColumn);
    chartLayout->setContentsMargins(0, 0, 0, 0);
    chartLayout->addWidget(view_, 1);
    chartLayout->addWidget(hoverLabel_);
    auto* splitter = new QSplitter(this);
    splitter->addWidget(sensorList_);
    splitter->addWidget(chartColumn);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({170, 930});

    statistics_ = new QTableWidget(0, 7, this);
    statistics_->setObjectName(QStringLiteral("statisticsTable"));
    statistics_->setHorizontalHeaderLabels({QStringLiteral("编号"), QStringLiteral("ID"),
                                            QStringLiteral("位置"), QStringLiteral("最低(℃)"),
                                            QStringLiteral("最高(℃)"), QStringLiteral("平均(℃)"),
                                            QStringLiteral("读数")});
    statistics_->verticalHeader()->hide();
    statistics_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    statistics_->setSelectionMode(QAbstractItemView::NoSelection);
    statistics_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    statistics_->setMaximumHeight(130);

    statusLabel_ = new QLabel(this);
    statusLabel_->setObjectName(QStringLiteral("statusLabel"));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(splitter, 1);
    layout->addWidget(statistics_);
    layout->addWidget(statusLabel_);

    connect(rangeBox_, &QComboBox::activated, this, &HistoryWindow::OnRangeChosen);
    connect(fromEdit_, &QDateEdit::dateChanged, this, &HistoryWindow::OnDateEdited);
    connect(toEdit_, &QDateEdit::dateChanged, this, &HistoryWindow::OnDateEdited);
    connect(resetButton_, &QPushButton::clicked, this, &HistoryWindow::ResetZoom);
    connect(view_, &HistoryChartView::ResetRequested, this, &HistoryWindow::ResetZoom);
    connect(view_, &HistoryChartView::Hovered, this, &HistoryWindow::ShowHover);
    connect(view_, &HistoryChartView::Left, hoverLabel_, &QLabel::clear);
    connect(sensorList_, &QListWidget::itemChanged, this, &HistoryWindow::OnSensorToggled);
    connect(xlsxButton_, &QPushButton::clicked, this, [this] { ExportSheet(true); });
    connect(csvButton_, &QPushButton::clicked, this, [this] { ExportSheet(false); });
    connect(pdfButton_, &QPushButton::clicked, this, &HistoryWindow::ExportPdf);
    connect(verifyButton_, &QPushButton::clicked, this, &HistoryWindow::VerifyFile);
    // After a zoom the curves are thinned again from the full readings, once per turn of the
    // event loop however many range changes the zoom made.
    // So is a change of the chart's width (the window resized, the axis labels grown).
    auto thinLater = [this] {
        if (building_ || thinPending_) return;
        thinPending_ = true;
        QTimer::singleShot(0, this, [this] {
            thinPending_ = false;
            ThinCurves();
        });
    };
    connect(timeAxis_, &QDateTimeAxis::rangeChanged, this, [this, thinLater] {
        UpdateTimeFormat();
        thinLater();
    });
    connect(chart_, &QChart::plotAreaChanged, this, [this, thinLater](const QRectF& area) {
        if (static_cast<int>(area.width()) != thinnedColumns_) thinLater();
    });
    OnRangeChosen(Last24Hours);
}

HistoryWindow::~HistoryWindow() {
    // A range or an export being read finishes first; its answer is dropped with the window.
    readerThread_.quit();
    readerThread_.wait();
}

void HistoryWindow::ShowSensor(int code) {
    if (code > 0) chosen_ = {code};
    Reload(true);
    if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void HistoryWindow::CurrentBounds(qint64* from, qint64* to) const {
    const int choice = rangeBox_->currentIndex();
    if (choice == Free) {
        QDate first = fromEdit_->date();
        QDate last = toEdit_->date();
        if (last < first) std::swap(first, last);
        *from = first.startOfDay().toSecsSinceEpoch();
        *to = last.addDays(1).startOfDay().toSecsSinceEpoch();
        return;
    }
    const qint64 days = choice == Last24Hours ? 1 : choice == Last7Days ? 7 : 30;
    *to = QDateTime::currentSecsSinceEpoch() + 1;
    *from = *to - days * kDay;
}

void HistoryWindow::OnRangeChosen(int index) {
    if (index != Free) {
        qint64 from = 0;
        qint64 to = 0;
        CurrentBounds(&from, &to);
        const QSignalBlocker a(fromEdit_);
        const QSignalBlocker b(toEdit_);
        fromEdit_->setDate(QDateTime::fromSecsSinceEpoch(from).date());
        toEdit_->setDate(QDateTime::fromSecsSinceEpoch(to).date());
    }
    if (isVisible()) Reload(range_ == nullptr);
}

void HistoryWindow::OnDateEdited() {
    if (rangeBox_->currentIndex() != Free) {
        const QSignalBlocker block(rangeBox_);
        rangeBox_->setCurrentIndex(Free);
    }
    if (isVisible()) Reload(range_ == nullptr);
}

void HistoryWindow::OnSensorToggled(QListWidgetItem* item) {
    const int code = item->data(Qt::UserRole).toInt();
    if (item->checkState() == Qt::Checked)
        chosen_.insert(code);
    else
        chosen_.erase(code);
    Reload();
}

void HistoryWindow::Reload(bool firstWhenNone) {
    qint64 from = 0;
    qint64 to = 0;
    CurrentBounds(&from, &to);
    const int request = ++request_;
    std::vector<int> codes(chosen_.begin(), chosen_.end());
    const bool none = codes.empty() && !firstWhenNone;
    statusLabel_->setText(QStringLiteral("正在读取..."));
    auto reader = reader_;
    QMetaObject::invokeMethod(readerContext_, [this, reader, request, codes, from, to, none] {
        std::shared_ptr<const HistoryRange> range;
        QString error;
        try {
            auto loaded = std::make_shared<HistoryRange>(
                reader->Load(none ? std::vector<int>{0} : codes, from, to));
            range = std::move(loaded);
        } catch (const HistoryError& e) {
            error = e.Message();
        }
        // Handed to the window's thread; dropped if the window has gone meanwhile.
        QMetaObject::invokeMethod(this,
                                  [this, request, range, error] { Apply(request, range, error); });
    });
}

void HistoryWindow::Apply(int request, std::shared_ptr<const HistoryRange> range,
                          const QString& error) {
    if (request != request_) return;  // a newer request is on its way
    if (!range) {
        statusLabel_->setText(QStringLiteral("历史记录无法读取（%1）").arg(error));
        emit Drawn();
        return;
    }
    range_ = std::move(range);
    QStringList missing;
    for (const int code : chosen_) {
        const bool found = std::any_of(range_->sensors.begin(), range_->sensors.end(),
                                       [code](const HistorySensor& s) { return s.code == code; });
        if (!found) missing << QStringLiteral("%1号").arg(code);
    }
    chosen_.clear();
    for (const SensorSeries& s : range_->series) chosen_.insert(s.code);
    FillSensorList();
    FillStatistics();
    BuildChart();
    if (range_->sensors.empty())
        statusLabel_->setText(QStringLiteral("尚无历史记录"));
    else if (!missing.isEmpty())
        statusLabel_->setText(
            QStringLiteral("%1传感器尚无历史记录").arg(missing.join(QStringLiteral("、"))));
    else
        statusLabel_->setText(
            QStringLiteral("%1 至 %2，%3 个读数，%4 次报警与中断")
                .arg(HistoryExport::TimeText(range_->from), HistoryExport::TimeText(range_->to))
                .arg(range_->Readings())
                .arg(range_->episodes.size()));
    emit Drawn();
}

void HistoryWindow::FillSensorList() {
    const QSignalBlocker block(sensorList_);
    sensorList_->clear();
    for (const HistorySensor& s : range_->sensors) {
        auto* item = new QListWidgetItem(SensorLabel(s.code, s.fix), sensorList_);
        item->setData(Qt::UserRole, s.code);
        item->setToolTip(QStringLiteral("ID %1").arg(s.codeid));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(chosen_.count(s.code) ? Qt::Checked : Qt::Unchecked);
    }
}

void HistoryWindow::FillStatistics() {
    statistics_->setRowCount(static_cast<int>(range_->series.size()));
    int row = 0;
    for (const SensorSeries& s : range_->series) {
        const bool any = !s.points.empty();
        const QStringList cells = {QString::number(s.code),
                                   s.codeid,
                                   s.fix,
                                   any ? Celsius(s.min) : QStringLiteral("-"),
                                   any ? Celsius(s.max) : QStringLiteral("-"),
                                   any ? Celsius(s.mean) : QStringLiteral("-"),
                                   QString::number(s.points.size())};
        for (int c = 0; c < cells.size(); ++c)
            statistics_->setItem(row, c, new QTableWidgetItem(cells[c]));
        ++row;
    }
}

void HistoryWindow::BuildChart() {
    building_ = true;
    chart_->removeAllSeries();
    curves_.clear();
    const HistoryRange& r = *range_;

    // The value axis covers every reading and every limit shown, with a little room.
    double low = 0;
    double high = 0;
    bool any = false;
    auto take = [&](double v) {
        low = any ? std::min(low, v) : v;
        high = any ? std::max(high, v) : v;
        any = true;
    };
    for (const SensorSeries& s : r.series) {
        if (!s.points.empty()) {
            take(s.min);
            take(s.max);
        }
        if (s.high != 0) take(s.high);
        if (s.low != 0) take(s.low);
    }
    if (!any) {
        low = 0;
        high = 40;
    }
    const double pad = std::max(1.0, (high - low) * 0.08);
    valueMin_ = std::floor(low - pad);
    valueMax_ = std::ceil(high + pad);

    // Episodes first, so that the curves are drawn over the shading: one shaded series per
    // kind, its upper edge stepping up over each episode.
    struct Shade {
        QString name;
        QColor color;
        std::vector<EpisodeKind> kinds;
    };
    const Shade shades[] = {
        {QStringLiteral("报警时段"),
         QColor(230, 40, 40, 55),
         {EpisodeKind::AlarmHigh, EpisodeKind::AlarmLow}},
        {QStringLiteral("无响应时段"), QColor(120, 120, 120, 60), {EpisodeKind::SensorSilent}},
        {QStringLiteral("总线中断时段"), QColor(60, 60, 160, 50), {EpisodeKind::BusLost}},
    };
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    // Far beyond any temperature, so that the shading fills the height at every zoom.
    const double floorLevel = valueMin_ - 1e4;
    const double roofLevel = valueMax_ + 1e4;
    for (const Shade& shade : shades) {
        std::vector<std::pair<qint64, qint64>> spans;
        for (const HistoryEpisode& e : r.episodes) {
            if (std::find(shade.kinds.begin(), shade.kinds.end(), e.kind) == shade.kinds.end())
                continue;
            const qint64 end = e.ended != 0 ? e.ended : std::min(now, r.to);
            spans.emplace_back(std::max(e.started, r.from),
                               std::max(std::min(end, r.to), e.started));
        }
        if (spans.empty()) continue;
        std::sort(spans.begin(), spans.end());
        auto* upper = new QLineSeries;
        auto* lower = new QLineSeries;
        lower->append(Msecs(r.from), floorLevel);
        lower->append(Msecs(r.to), floorLevel);
        qint64 openStart = spans.front().first;
        qint64 openEnd = spans.front().second;
        auto close = [&] {
            // An episode of a few seconds still gets a visible band of a minute.
            const qint64 end = std::max(openEnd, openStart + 60);
            upper->append(Msecs(openStart), floorLevel);
            upper->append(Msecs(openStart), roofLevel);
            upper->append(Msecs(end), roofLevel);
            upper->append(Msecs(end), floorLevel);
        };
        upper->append(Msecs(r.from), floorLevel);
        for (const auto& [start, end] : spans) {
            if (start <= openEnd) {
                openEnd = std::max(openEnd, end);
                continue;
            }
            close();
            openStart = start;
            openEnd = end;
        }
        close();
        upper->append(Msecs(r.to), floorLevel);
        auto* area = new QAreaSeries(upper, lower);
        area->setName(shade.name);
        area->setColor(shade.color);
        area->setBorderColor(Qt::transparent);
        area->setPen(Qt::NoPen);
        chart_->addSeries(area);
        area->attachAxis(timeAxis_);
        area->attachAxis(valueAxis_);
    }

    int index = 0;
    for (const SensorSeries& s : r.series) {
        const QColor color = kCurveColors[index % std::size(kCurveColors)];
        ++index;
        auto* curve = new QLineSeries;
        curve->setName(SensorLabel(s.code, s.fix));
        QPen pen(color);
        pen.setWidthF(1.5);
        curve->setPen(pen);
        chart_->addSeries(curve);
        curve->attachAxis(timeAxis_);
        curve->attachAxis(valueAxis_);
        curves_.push_back(curve);
        for (const auto& [limit, name] : {std::pair{s.high, QStringLiteral("上限")},
                                          std::pair{s.low, QStringLiteral("下限")}}) {
            if (limit == 0) continue;  // no limit
            auto* line = new QLineSeries;
            line->setName(SensorLabel(s.code, s.fix) + QLatin1Char(' ') + name);
            QPen dashed(color);
            dashed.setStyle(Qt::DashLine);
            dashed.setWidthF(1.2);
            line->setPen(dashed);
            line->append(Msecs(r.from), limit);
            line->append(Msecs(r.to), limit);
            chart_->addSeries(line);
            line->attachAxis(timeAxis_);
            line->attachAxis(valueAxis_);
            HideFromLegend(chart_, line);
        }
    }
    valueAxis_->setRange(valueMin_, valueMax_);
    valueAxis_->applyNiceNumbers();  // labels at round degrees
    valueMin_ = valueAxis_->min();
    valueMax_ = valueAxis_->max();
    timeAxis_->setRange(QDateTime::fromSecsSinceEpoch(r.from), QDateTime::fromSecsSinceEpoch(r.to));
    building_ = false;
    UpdateTimeFormat();
    ThinCurves();
}

void HistoryWindow::ThinCurves() {
    if (!range_) return;
    const qint64 from = timeAxis_->min().toSecsSinceEpoch();
    const qint64 to = timeAxis_->max().toSecsSinceEpoch() + 1;
    int columns = static_cast<int>(chart_->plotArea().width());
    thinnedColumns_ = columns;
    if (columns < 50) columns = 1000;  // not laid out yet
    for (std::size_t i = 0; i < curves_.size() && i < range_->series.size(); ++i) {
        const std::vector<HistoryPoint> kept =
            ReduceToColumns(range_->series[i].points, from, to, columns);
        QList<QPointF> points;
        points.reserve(static_cast<qsizetype>(kept.size()));
        for (const HistoryPoint& p : kept) points.append(QPointF(Msecs(p.time), p.celsius));
        curves_[i]->replace(points);
    }
}

void HistoryWindow::UpdateTimeFormat() {
    const qint64 span = timeAxis_->min().secsTo(timeAxis_->max());
    timeAxis_->setFormat(span <= 2 * kDay ? QStringLiteral("M月d日 HH:mm")
                                          : QStringLiteral("yyyy年M月d日"));
}

void HistoryWindow::ResetZoom() {
    if (!range_) return;
    chart_->zoomReset();
    valueAxis_->setRange(valueMin_, valueMax_);
    timeAxis_->setRange(QDateTime::fromSecsSinceEpoch(range_->from),
                        QDateTime::fromSecsSinceEpoch(range_->to));
}

void HistoryWindow::ShowHover(const QPointF& position) {
    if (!range_ || curves_.empty() || !chart_->plotArea().contains(position)) {
        hoverLabel_->clear();
        return;
    }
    // The reading nearest to the pointer on screen, of every curve shown.
    const QPointF value = chart_->mapToValue(position, curves_.front());
    const qint64 at = static_cast<qint64>(std::llround(value.x() / 1000.0));
    double best = 1e18;
    const SensorSeries* bestSeries = nullptr;
    HistoryPoint bestPoint;
    for (std::size_t i = 0; i < curves_.size(); ++i) {
        const auto& points = range_->series[i].points;
        auto it = std::lower_bound(points.begin(), points.end(), at,
                                   [](const HistoryPoint& p, qint64 t) { return p.time < t; });
        for (auto c : {it - 1, it}) {
            if (c < points.begin() || c >= points.end()) continue;
            const QPointF spot =
                chart_->mapToPosition(QPointF(Msecs(c->time), c->celsius), curves_[i]);
            const double d = std::hypot(spot.x() - position.x(), spot.y() - position.y());
            if (d < best) {
                best = d;
                bestSeries = &range_->series[i];
                bestPoint = *c;
            }
        }
    }
    if (!bestSeries || best > 40) {
        hoverLabel_->clear();
        return;
    }
    const QString text = QStringLiteral("%1  %2  %3℃")
                             .arg(HistoryExport::TimeText(bestPoint.time),
                                  SensorLabel(bestSeries->code, bestSeries->fix),
                                  QString::number(bestPoint.celsius, 'g', 10));
    hoverLabel_->setText(text);
    QToolTip::showText(view_->mapToGlobal(position.toPoint()), text, view_);
}

QString HistoryWindow::AskSavePath(const QString& filter, const QString& extension) {
    QFileDialog dialog(this);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setWindowTitle(QStringLiteral("另存为"));
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(extension);
    QString name = QStringLiteral("历史记录");
    if (range_)
        name += QStringLiteral("_%1-%2").arg(
            QDateTime::fromSecsSinceEpoch(range_->from).toString(QStringLiteral("yyyyMMdd")),
            QDateTime::fromSecsSinceEpoch(range_->to - 1).toString(QStringLiteral("yyyyMMdd")));
    dialog.selectFile(name + QLatin1Char('.') + extension);
    if (dialog.exec() != QDialog::Accepted) return QString();
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return QString();
    QString path = chosen.first();
    if (!path.endsWith(QLatin1Char('.') + extension, Qt::CaseInsensitive))
        path += QLatin1Char('.') + extension;
    return path;
}

void HistoryWindow::ExportSheet(bool xlsx) {
    if (!range_) return;
    const QString path =
        xlsx ? AskSavePath(QStringLiteral("Excel 工作簿 (*.xlsx)"), QStringLiteral("xlsx"))
             : AskSavePath(QStringLiteral("CSV 文件 (*.csv)"), QStringLiteral("csv"));
    if (path.isEmpty()) return;
    statusLabel_->setText(QStringLiteral("正在导出..."));
    xlsxButton_->setEnabled(false);
    csvButton_->setEnabled(false);
    // Written on the reading thread: a year of readings takes seconds, and the station's
    // screen keeps going meanwhile.
    auto range = range_;
    QMetaObject::invokeMethod(readerContext_, [this, range, path, xlsx] {
        bool ok = true;
        QString text;
        try {
            const qint64 rows = xlsx ? HistoryExport::WriteXlsx(*range, path)
                                     : HistoryExport::WriteCsv(*range, path);
            text = QStringLiteral("已导出 %1 个读数到 %2").arg(rows).arg(path);
        } catch (const HistoryError& e) {
            ok = false;
            text = QStringLiteral("导出失败（%1）").arg(e.Message());
        }
        QMetaObject::invokeMethod(this, [this, ok, text] {
            xlsxButton_->setEnabled(true);
            csvButton_->setEnabled(true);
            statusLabel_->setText(text);
            emit Exported(ok, text);
            ShowMessage(this, text);
        });
    });
}

void HistoryWindow::ExportPdf() {
    if (!range_) return;
    const QString path = AskSavePath(QStringLiteral("PDF 文件 (*.pdf)"), QStringLiteral("pdf"));
    if (path.isEmpty()) return;
    bool ok = true;
    QString text;
    try {
        HistoryReport::WritePdf(path, StationTitle(), *range_, *view_,
                                QDateTime::currentDateTime());
        text = QStringLiteral("报告已保存到 %1").arg(path);
    } catch (const HistoryError& e) {
        ok = false;
        text = QStringLiteral("报告无法保存（%1）").arg(e.Message());
    }
    statusLabel_->setText(text);
    emit Exported(ok, text);
    ShowMessage(this, text);
}

void HistoryWindow::VerifyFile() {
    // A whole file takes seconds: it is read on the window's reading thread, and the window
    // stays usable meanwhile.
    verifyButton_->setEnabled(false);
    statusLabel_->setText(QStringLiteral("正在校验历史记录..."));
    QPointer<HistoryWindow> self(this);
    const QString path = historyPath_;
    QMetaObject::invokeMethod(readerContext_, [self, path] {
        const HistoryVerifier::Result result = HistoryVerifier::Verify(path);
        QMetaObject::invokeMethod(qApp, [self, result] {
            if (self) self->ShowVerification(result);
        });
    });
}

void HistoryWindow::ShowVerification(const HistoryVerifier::Result& result) {
    verifyButton_->setEnabled(true);
    QString text;
    bool clean = false;
    if (!result.error.isEmpty()) {
        text = QStringLiteral("无法校验历史记录（%1）").arg(result.error);
    } else if (result.daysChecked == 0) {
        clean = true;
        text = QStringLiteral("还没有封存的日子：每天的读数在第二天封存。");
    } else if (result.findings.isEmpty()) {
        clean = true;
        text = QStringLiteral("历史记录完好：%1 个封存日的 %2 条读数在封存后没有改动。")
                   .arg(result.daysChecked)
                   .arg(result.readings);
    } else {
        text = QStringLiteral("历史记录在封存后被改动（检查了 %1 个封存日）：\n%2")
                   .arg(result.daysChecked)
                   .arg(result.findings.join(QLatin1Char('\n')));
    }
    statusLabel_->setText(text.section(QLatin1Char('\n'), 0, 0));
    emit Verified(clean, text);
    if (clean)
        ShowMessage(this, text);
    else
        ShowErrorBox(text);
}

QString HistoryWindow::StationTitle() const {
    return ini::Read(settingsPath_, QStringLiteral("seting"), QStringLiteral("title")).trimmed();
}

}  // namespace history
