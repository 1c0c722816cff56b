// The history window on a real history file, driven as the operator drives it: opened by the
// station's announcement, ranges chosen, sensors ticked, zoomed with the mouse, exported to
// files that outside readers (openpyxl, Python's csv module, pdfinfo) read back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QChart>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <cmath>
#include <memory>

#include "FileDialogDriver.h"
#include "HistoryAttach.h"
#include "HistoryChartView.h"
#include "HistoryFile.h"
#include "HistoryStore.h"
#include "HistoryWindow.h"
#include "MessageBoxWatcher.h"
#include "StationEvents.h"
#include "TestSupport.h"

using history::HistoryStore;
using history::HistoryWindow;

namespace {

constexpr qint64 kStep = 600;  // a reading every ten minutes
constexpr qint64 kDay = 86400;

struct Reading {
    qint64 time;
    double celsius;
};

struct Sensor {
    int code;
    QString codeid;
    QString fix;
    double high;
    double low;
    std::vector<Reading> readings;
};

double Sixteenths(double c) {
    return std::round(c * 16.0) / 16.0;
}

// Forty days of two sensors, with one excursion of the server room three days ago.
class HistoryWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        now = QDateTime::currentSecsSinceEpoch();
        const qint64 first = (now - 40 * kDay) / kStep * kStep;
        cold = {3, QStringLiteral("0A1B2C"), QStringLiteral("冷库"), 8, 1, {}};
        server = {5, QStringLiteral("0A1B2D"), QStringLiteral("服务器机房"), 30, 10, {}};
        excursionStart = (now - 3 * kDay) / kStep * kStep;
        excursionEnd = excursionStart + 2 * 3600;
        for (qint64 t = first; t <= now - 60; t += kStep) {
            const double x = static_cast<double>(t - first);
            cold.readings.push_back({t, Sixteenths(4.0 + 2.0 * std::sin(x / 7200.0))});
            double s = 22.0 + 3.0 * std::sin(x / 20000.0);
            if (t >= excursionStart && t < excursionEnd)
                s = 30.5 + static_cast<double>(t - excursionStart) / 3600.0;
            server.readings.push_back({t, Sixteenths(s)});
        }
        for (const Reading& r : server.readings)
            if (r.time >= excursionStart && r.time < excursionEnd)
                excursionPeak = std::max(excursionPeak, r.celsius);

        HistoryStore store;
        store.Open(Db());
        std::vector<HistoryStore::Sample> samples;
        for (const Sensor* s : {&cold, &server}) {
            const qint64 id = store.SensorId(s->code, s->codeid, s->fix, s->high, s->low);
            for (const Reading& r : s->readings)
                samples.push_back({id, r.time, HistoryStore::ToSixteenths(r.celsius)});
            if (s == &server) {
                HistoryStore::Episode e;
                e.kind = history::EpisodeKind::AlarmHigh;
                e.sensor = id;
                e.started = excursionStart;
                e.ended = excursionEnd;
                e.hasExtreme = true;
                e.extreme = HistoryStore::ToSixteenths(excursionPeak);
                episode = e;
            }
        }
        store.Write(samples, {&episode});
        store.Close();
        QFile ini(Folder() + "peizhi.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[seting]\nstart=1\ntitle=冷链温度记录\ninterval=5\n");
        ini.close();

        events = std::make_unique<StationEvents>();
        history::Attach(*events, Folder(), [](const QString&) {});
    }
    void TearDown() override { events.reset(); }

    QString Folder() const { return dir.path() + '/'; }
    QString Db() const { return Folder() + "history.db"; }

    // Announces the request as the main window does and waits for the chart.
    HistoryWindow* Request(int code) {
        emit events->HistoryRequested(code);
        HistoryWindow* w = Window();
        if (w) WaitDrawn(w);
        return w;
    }
    static HistoryWindow* Window() {
        HistoryWindow* found = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* w = qobject_cast<HistoryWindow*>(top)) {
                EXPECT_EQ(found, nullptr) << "more than one history window";
                found = w;
            }
        return found;
    }
    static int Windows() {
        int n = 0;
        for (QWidget* top : QApplication::topLevelWidgets())
            n += qobject_cast<HistoryWindow*>(top) ? 1 : 0;
        return n;
    }
    // Waits for the chart of what was last asked for; true when it came.
    static bool WaitDrawn(HistoryWindow* w) {
        auto* status = w->findChild<QLabel*>("statusLabel");
        return testsupport::WaitFor([&] { return status->text() != QStringLiteral("正在读取..."); },
                                    10000);
    }
    template <class T>
    static T* Child(HistoryWindow* w, const char* name) {
        T* child = w->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    static QDateTimeAxis* TimeAxis(HistoryWindow* w) {
        return qobject_cast<QDateTimeAxis*>(w->Chart()->axes(Qt::Horizontal).value(0));
    }
    static qint64 AxisFrom(HistoryWindow* w) { return TimeAxis(w)->min().toSecsSinceEpoch(); }
    static qint64 AxisTo(HistoryWindow* w) { return TimeAxis(w)->max().toSecsSinceEpoch(); }

    // The solid curves on the chart, by name.
    static std::map<QString, QLineSeries*> Curves(HistoryWindow* w) {
        std::map<QString, QLineSeries*> out;
        for (QAbstractSeries* s : w->Chart()->series()) {
            auto* line = qobject_cast<QLineSeries*>(s);
            if (line && line->pen().style() == Qt::SolidLine) out[line->name()] = line;
        }
        return out;
    }
    static QStringList DashedLines(HistoryWindow* w) {
        QStringList out;
        for (QAbstractSeries* s : w->Chart()->series()) {
            auto* line = qobject_cast<QLineSeries*>(s);
            if (line && line->pen().style() == Qt::DashLine)
                out << QStringLiteral("%1=%2").arg(line->name()).arg(line->at(0).y());
        }
        out.sort();
        return out;
    }
    static QStringList Checked(HistoryWindow* w) {
        QStringList out;
        auto* list = Child<QListWidget>(w, "sensorList");
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->checkState() == Qt::Checked) out << list->item(i)->text();
        return out;
    }

    // The readings of a sensor in [from, to).
    static std::vector<Reading> Within(const Sensor& s, qint64 from, qint64 to) {
        std::vector<Reading> out;
        for (const Reading& r : s.readings)
            if (r.time >= from && r.time < to) out.push_back(r);
        return out;
    }

    // The statistics row of a sensor agrees with its readings over the chart's range.
    void ExpectStatistics(HistoryWindow* w, int row, const Sensor& s) {
        auto* table = Child<QTableWidget>(w, "statisticsTable");
        ASSERT_GT(table->rowCount(), row);
        const auto readings = Within(s, AxisFrom(w), AxisTo(w));
        ASSERT_FALSE(readings.empty());
        double low = 1e9, high = -1e9, sum = 0;
        for (const Reading& r : readings) {
            low = std::min(low, r.celsius);
            high = std::max(high, r.celsius);
            sum += r.celsius;
        }
        EXPECT_EQ(table->item(row, 0)->text().toInt(), s.code);
        EXPECT_EQ(table->item(row, 1)->text(), s.codeid);
        EXPECT_EQ(table->item(row, 2)->text(), s.fix);
        EXPECT_NEAR(table->item(row, 3)->text().toDouble(), low, 0.005);
        EXPECT_NEAR(table->item(row, 4)->text().toDouble(), high, 0.005);
        EXPECT_NEAR(table->item(row, 5)->text().toDouble(), sum / readings.size(), 0.005);
        EXPECT_EQ(table->item(row, 6)->text().toInt(), static_cast<int>(readings.size()));
    }

    static void ChooseRange(HistoryWindow* w, int index) {
        auto* box = Child<QComboBox>(w, "rangeBox");
        box->setFocus();
        while (box->currentIndex() < index) QTest::keyClick(box, Qt::Key_Down);
        while (box->currentIndex() > index) QTest::keyClick(box, Qt::Key_Up);
        WaitDrawn(w);
    }

    static QString Run(const QString& program, const QStringList& args) {
        QProcess p;
        p.start(program, args);
        EXPECT_TRUE(p.waitForFinished(120000)) << program.toStdString();
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    // The rows an export should hold: sensor by sensor, each in time order.
    QStringList ExpectedRows(HistoryWindow* w, const std::vector<const Sensor*>& sensors) const {
        QStringList rows;
        for (const Sensor* s : sensors)
            for (const Reading& r : Within(*s, AxisFrom(w), AxisTo(w)))
                rows << QStringLiteral("%1|%2|%3|%4|%5")
                            .arg(QDateTime::fromSecsSinceEpoch(r.time).toString(
                                QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                            .arg(s->code)
                            .arg(s->codeid, s->fix)
                            .arg(r.celsius, 0, 'f', 4);
        return rows;
    }

    QTemporaryDir dir;
    std::unique_ptr<StationEvents> events;
    qint64 now = 0;
    Sensor cold;
    Sensor server;
    qint64 excursionStart = 0;
    qint64 excursionEnd = 0;
    double excursionPeak = -1e9;
    HistoryStore::Episode episode;
};

}  // namespace

TEST_F(HistoryWindowTest, OpensOnTheAnnouncedSensorOnceAndSwitchesOnTheNextRequest) {
    ASSERT_EQ(Windows(), 0);
    HistoryWindow* w = Request(5);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->windowTitle(), "历史曲线");
    // Not modal: the station's windows go on taking input.
    EXPECT_EQ(w->windowModality(), Qt::NonModal);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // Every sensor of the file is listed; the one asked for alone is ticked and drawn.
    auto* list = Child<QListWidget>(w, "sensorList");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), "3号 冷库");
    EXPECT_EQ(list->item(1)->text(), "5号 服务器机房");
    EXPECT_EQ(Checked(w), QStringList{"5号 服务器机房"});
    const auto curves = Curves(w);
    ASSERT_EQ(curves.size(), 1u);
    EXPECT_EQ(curves.begin()->first, "5号 服务器机房");
    EXPECT_EQ(DashedLines(w), (QStringList{"5号 服务器机房 上限=30", "5号 服务器机房 下限=10"}));
    // The last 24 hours, unless the operator chooses otherwise.
    EXPECT_NEAR(AxisTo(w), QDateTime::currentSecsSinceEpoch(), 10);
    EXPECT_EQ(AxisTo(w) - AxisFrom(w), kDay);
    EXPECT_EQ(Child<QTableWidget>(w, "statisticsTable")->rowCount(), 1);
    ExpectStatistics(w, 0, server);
    // The chart's labels read as Chinese dates.
    EXPECT_TRUE(TimeAxis(w)->format().contains("月")) << TimeAxis(w)->format().toStdString();

    // Asked again for another sensor: the same window, switched over and raised.
    w->showMinimized();
    EXPECT_EQ(Request(3), w);
    EXPECT_EQ(Windows(), 1);
    EXPECT_FALSE(w->isMinimized());
    EXPECT_EQ(Checked(w), QStringList{"3号 冷库"});
    ExpectStatistics(w, 0, cold);
    EXPECT_EQ(DashedLines(w), (QStringList{"3号 冷库 上限=8", "3号 冷库 下限=1"}));
    // The button with no row chosen: the sensor shown stays.
    EXPECT_EQ(Request(0), w);
    EXPECT_EQ(Checked(w), QStringList{"3号 冷库"});
    // A sensor the file has not seen yet: named in the window, the chart left empty of it.
    Request(9);
    EXPECT_TRUE(Child<QLabel>(w, "statusLabel")->text().contains("9号"))
        << Child<QLabel>(w, "statusLabel")->text().toStdString();
    EXPECT_TRUE(Checked(w).isEmpty());
}

// Files written before silent sensors were named in full hold a later identity of the server
// room with neither ID nor limits, from its silence; the window keeps showing both.
TEST_F(HistoryWindowTest, AnIdentityWithoutIdDoesNotHideTheSensorsIdAndLimits) {
    {
        HistoryStore store;
        store.Open(Db());
        HistoryStore::Episode silence;
        silence.kind = history::EpisodeKind::SensorSilent;
        silence.sensor = store.SensorId(server.code, QString(), server.fix, 0, 0);
        silence.started = now - 3600;
        silence.ended = now - 3000;
        store.Write({}, {&silence});
        store.Close();
    }
    HistoryWindow* w = Request(5);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(DashedLines(w), (QStringList{"5号 服务器机房 上限=30", "5号 服务器机房 下限=10"}));
    auto* table = Child<QTableWidget>(w, "statisticsTable");
    ASSERT_EQ(table->rowCount(), 1);
    EXPECT_EQ(table->item(0, 1)->text(), server.codeid);
}

TEST_F(HistoryWindowTest, TheRangesCoverTheLastDayWeekMonthAndTheChosenDates) {
    HistoryWindow* w = Request(3);
    ASSERT_NE(w, nullptr);
    auto* box = Child<QComboBox>(w, "rangeBox");
    ASSERT_EQ(box->count(), 4);
    EXPECT_EQ(box->itemText(0), "最近24小时");
    EXPECT_EQ(box->itemText(1), "最近7天");
    EXPECT_EQ(box->itemText(2), "最近30天");
    const qint64 days[] = {1, 7, 30};
    for (int i : {1, 2, 0}) {
        SCOPED_TRACE(box->itemText(i).toStdString());
        ChooseRange(w, i);
        EXPECT_EQ(box->currentIndex(), i);
        EXPECT_NEAR(AxisTo(w), QDateTime::currentSecsSinceEpoch(), 10);
        EXPECT_EQ(AxisTo(w) - AxisFrom(w), days[i] * kDay);
        ExpectStatistics(w, 0, cold);
    }
    // A free range: whole days from the first date to the last.
    const QDate first = QDate::currentDate().addDays(-20);
    const QDate last = QDate::currentDate().addDays(-12);
    Child<QDateEdit>(w, "fromDate")->setDate(first);
    WaitDrawn(w);
    Child<QDateEdit>(w, "toDate")->setDate(last);
    WaitDrawn(w);
    EXPECT_EQ(box->currentText(), "自定义范围");
    EXPECT_EQ(AxisFrom(w), first.startOfDay().toSecsSinceEpoch());
    EXPECT_EQ(AxisTo(w), last.addDays(1).startOfDay().toSecsSinceEpoch());
    ExpectStatistics(w, 0, cold);
    EXPECT_EQ(Child<QTableWidget>(w, "statisticsTable")->item(0, 6)->text().toInt(),
              static_cast<int>(Within(cold, first.startOfDay().toSecsSinceEpoch(),
                                      last.addDays(1).startOfDay().toSecsSinceEpoch())
                                   .size()));
}

TEST_F(HistoryWindowTest, TwoSensorsAreDrawnTogetherWithTheirLimitsAndTheExcursionShaded) {
    HistoryWindow* w = Request(3);
    ASSERT_NE(w, nullptr);
    ChooseRange(w, HistoryWindow::Last7Days);
    auto* list = Child<QListWidget>(w, "sensorList");
    list->item(1)->setCheckState(Qt::Checked);  // the operator ticks the server room
    WaitDrawn(w);
    EXPECT_EQ(Checked(w), (QStringList{"3号 冷库", "5号 服务器机房"}));
    const auto curves = Curves(w);
    ASSERT_EQ(curves.size(), 2u);
    EXPECT_EQ(DashedLines(w).size(), 4);
    ASSERT_EQ(Child<QTableWidget>(w, "statisticsTable")->rowCount(), 2);
    ExpectStatistics(w, 0, cold);
    ExpectStatistics(w, 1, server);
    // The excursion's peak is on the server room's curve, however thin the curve is drawn.
    const QLineSeries* serverCurve = curves.at("5号 服务器机房");
    bool peak = false;
    for (const QPointF& p : serverCurve->points()) peak = peak || p.y() == excursionPeak;
    EXPECT_TRUE(peak);
    // The alarm is shaded over exactly its time: the shading's upper edge is raised from its
    // start to its end and nowhere else.
    QAreaSeries* shade = nullptr;
    for (QAbstractSeries* s : w->Chart()->series())
        if (auto* a = qobject_cast<QAreaSeries*>(s); a && a->name() == "报警时段") shade = a;
    ASSERT_NE(shade, nullptr);
    const QList<QPointF> edge = shade->upperSeries()->points();
    double raisedFrom = 0, raisedTo = 0;
    for (int i = 1; i < edge.size(); ++i)
        if (edge[i].y() > edge[i - 1].y())
            raisedFrom = edge[i].x() / 1000;
        else if (edge[i].y() < edge[i - 1].y())
            raisedTo = edge[i].x() / 1000;
    EXPECT_EQ(raisedFrom, excursionStart);
    EXPECT_EQ(raisedTo, excursionEnd);

    // Unticking the cold room leaves the server room alone.
    list->item(0)->setCheckState(Qt::Unchecked);
    WaitDrawn(w);
    EXPECT_EQ(Checked(w), QStringList{"5号 服务器机房"});
    ASSERT_EQ(Curves(w).size(), 1u);
    ExpectStatistics(w, 0, server);
}

TEST_F(HistoryWindowTest, ZoomsByBoxAndWheelGoesBackAndNamesTheReadingUnderThePointer) {
    HistoryWindow* w = Request(3);
    ASSERT_NE(w, nullptr);
    ChooseRange(w, HistoryWindow::Last30Days);
    w->resize(1100, 720);
    QTest::qWait(50);
    auto* view = w->View();
    QLineSeries* curve = Curves(w).begin()->second;
    const qint64 from = AxisFrom(w);
    const qint64 to = AxisTo(w);
    // A month of ten-minute readings is far more than the chart's width: thinned to at most
    // two readings per pixel column (and the two neighbours at the edges).
    const int columns = static_cast<int>(w->Chart()->plotArea().width());
    EXPECT_LE(curve->count(), 2 * columns + 2);
    EXPECT_GT(Within(cold, from, to).size(), static_cast<std::size_t>(2 * columns + 2));

    // A box dragged over the middle fifth of the plot.
    const QRectF plot = w->Chart()->plotArea();
    const QPoint a(static_cast<int>(plot.left() + plot.width() * 0.4),
                   static_cast<int>(plot.top() + 10));
    const QPoint b(static_cast<int>(plot.left() + plot.width() * 0.6),
                   static_cast<int>(plot.bottom() - 10));
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, a);
    QTest::mouseMove(view->viewport(), (a + b) / 2);
    QTest::mouseMove(view->viewport(), b);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, b);
    QTest::qWait(50);
    const qint64 boxFrom = AxisFrom(w);
    const qint64 boxTo = AxisTo(w);
    EXPECT_NEAR(static_cast<double>(boxTo - boxFrom), (to - from) * 0.2, (to - from) * 0.02);
    EXPECT_NEAR(static_cast<double>(boxFrom), from + (to - from) * 0.4, (to - from) * 0.02);

    // The wheel zooms further in around the pointer, until the readings are few enough to be
    // drawn every one.
    for (int i = 0; i < 12; ++i) {
        const QPointF centre = w->Chart()->plotArea().center();
        QWheelEvent wheel(centre, view->viewport()->mapToGlobal(centre), QPoint(), QPoint(0, 120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view->viewport(), &wheel);
    }
    QTest::qWait(50);
    const qint64 zoomFrom = AxisFrom(w);
    const qint64 zoomTo = AxisTo(w);
    EXPECT_LT(zoomTo - zoomFrom, (boxTo - boxFrom) / 10);
    const auto shown = Within(cold, zoomFrom, zoomTo + 1);
    ASSERT_FALSE(shown.empty());
    ASSERT_LT(shown.size(), static_cast<std::size_t>(columns));
    int found = 0;
    for (const Reading& r : shown)
        for (const QPointF& p : curve->points())
            found += p.x() / 1000 == r.time && p.y() == r.celsius ? 1 : 0;
    EXPECT_EQ(found, static_cast<int>(shown.size()));

    // The pointer over one of those readings names its time and value.
    const Reading& target = shown[shown.size() / 2];
    const QPointF spot = w->Chart()->mapToPosition(
        QPointF(static_cast<double>(target.time) * 1000.0, target.celsius), curve);
    const QPoint at = view->mapFromScene(w->Chart()->mapToScene(spot));
    QMouseEvent move(QEvent::MouseMove, at, view->viewport()->mapToGlobal(at), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &move);
    const QString hover = Child<QLabel>(w, "hoverLabel")->text();
    EXPECT_TRUE(
        hover.contains(QDateTime::fromSecsSinceEpoch(target.time).toString("yyyy-MM-dd HH:mm:ss")))
        << hover.toStdString();
    EXPECT_TRUE(hover.contains(QString::number(target.celsius) + "℃")) << hover.toStdString();
    EXPECT_TRUE(hover.contains("3号 冷库")) << hover.toStdString();

    // Right click: back to the whole month.
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, at);
    QTest::qWait(50);
    EXPECT_EQ(AxisFrom(w), from);
    EXPECT_EQ(AxisTo(w), to);
    EXPECT_LE(curve->count(), 2 * columns + 2);
    // And the button does the same after another box.
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, a);
    QTest::mouseMove(view->viewport(), b);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, b);
    QTest::qWait(50);
    EXPECT_LT(AxisTo(w) - AxisFrom(w), (to - from) / 2);
    Child<QPushButton>(w, "resetButton")->click();
    EXPECT_EQ(AxisFrom(w), from);
    EXPECT_EQ(AxisTo(w), to);
}

TEST_F(HistoryWindowTest, ExportsTheRangeToAWorkbookAndACsvFileThatOutsideReadersRead) {
    HistoryWindow* w = Request(3);
    ASSERT_NE(w, nullptr);
    ChooseRange(w, HistoryWindow::Last7Days);
    Child<QListWidget>(w, "sensorList")->item(1)->setCheckState(Qt::Checked);
    WaitDrawn(w);
    const QStringList expected = ExpectedRows(w, {&cold, &server});
    ASSERT_GT(expected.size(), 1500);

    FileDialogDriver dialogs;
    MessageBoxWatcher boxes;
    const QString xlsx = Folder() + "导出/七天";
    QDir().mkpath(Folder() + "导出");
    dialogs.Type(xlsx);  // without the extension: the window adds it
    Child<QPushButton>(w, "xlsxButton")->click();
    ASSERT_TRUE(testsupport::WaitFor([&] { return !boxes.Texts().isEmpty(); }, 30000));
    ASSERT_EQ(dialogs.Dialogs().size(), 1);
    EXPECT_EQ(dialogs.Dialogs()[0].title, "另存为");
    EXPECT_TRUE(boxes.Texts()[0].contains(QString::number(expected.size())))
        << boxes.Texts()[0].toStdString();
    ASSERT_TRUE(QFile::exists(xlsx + ".xlsx"));
    const QString script = QStringLiteral(
        "import sys, openpyxl, datetime\n"
        "wb = openpyxl.load_workbook(sys.argv[1], read_only=True)\n"
        "ws = wb.worksheets[0]\n"
        "rows = ws.iter_rows(values_only=True)\n"
        "print('|'.join(next(rows)))\n"
        "for t, code, codeid, fix, c in rows:\n"
        "    assert isinstance(t, datetime.datetime), type(t)\n"
        "    assert isinstance(c, float) or isinstance(c, int), type(c)\n"
        "    print('%s|%d|%s|%s|%.4f' % (t.strftime('%Y-%m-%d %H:%M:%S'), code, codeid, fix, "
        "c))\n");
    QStringList lines =
        Run("/usr/bin/python3", {"-c", script, xlsx + ".xlsx"}).split('\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.takeFirst(), "时间|编号|ID|位置|温度(℃)");
    EXPECT_EQ(lines, expected);

    boxes.Clear();
    const QString csv = Folder() + "七天.csv";
    dialogs.Type(csv);
    Child<QPushButton>(w, "csvButton")->click();
    ASSERT_TRUE(testsupport::WaitFor([&] { return !boxes.Texts().isEmpty(); }, 30000));
    ASSERT_EQ(dialogs.Dialogs().size(), 2);
    EXPECT_EQ(dialogs.Dialogs()[1].title, "另存为");
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(3) == QByteArray("\xEF\xBB\xBF"));  // spreadsheet programs read UTF-8
    const QString csvScript = QStringLiteral(
        "import sys, csv\n"
        "with open(sys.argv[1], newline='', encoding='utf-8-sig') as f:\n"
        "    for i, (t, code, codeid, fix, c) in enumerate(csv.reader(f)):\n"
        "        print('|'.join([t, code, codeid, fix, c if i == 0 else '%.4f' % float(c)]))\n");
    lines = Run("/usr/bin/python3", {"-c", csvScript, csv}).split('\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.takeFirst(), "时间|编号|ID|位置|温度(℃)");
    EXPECT_EQ(lines, expected);
}

TEST_F(HistoryWindowTest, PrintsAOnePageReportWithTheTitleStatisticsAndEpisodes) {
    HistoryWindow* w = Request(5);
    ASSERT_NE(w, nullptr);
    ChooseRange(w, HistoryWindow::Last7Days);
    FileDialogDriver dialogs;
    MessageBoxWatcher boxes;
    const QString pdf = Folder() + "报告.pdf";
    dialogs.Type(pdf);
    const QDateTime before = QDateTime::currentDateTime();
    Child<QPushButton>(w, "pdfButton")->click();
    ASSERT_TRUE(testsupport::WaitFor([&] { return !boxes.Texts().isEmpty(); }, 30000));
    ASSERT_EQ(dialogs.Dialogs().size(), 1);
    EXPECT_EQ(dialogs.Dialogs()[0].title, "另存为");
    ASSERT_TRUE(QFile::exists(pdf));
    const QString info = Run("pdfinfo", {pdf});
    EXPECT_TRUE(info.contains(QRegularExpression("Pages:\\s+1\\n"))) << info.toStdString();
    const QString text = Run("pdftotext", {"-layout", pdf, "-"});
    EXPECT_TRUE(text.contains("冷链温度记录")) << text.toStdString();
    EXPECT_TRUE(text.contains("服务器机房")) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::number(excursionPeak, 'f', 2))) << text.toStdString();
    EXPECT_TRUE(text.contains("超上限")) << text.toStdString();
    EXPECT_TRUE(text.contains(
        QDateTime::fromSecsSinceEpoch(excursionStart).toString("yyyy-MM-dd HH:mm:ss")))
        << text.toStdString();
    EXPECT_TRUE(
        text.contains("打印时间：" + before.toString("yyyy-MM-dd HH:mm")) ||
        text.contains("打印时间：" + QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm")))
        << text.toStdString();
}

// The window's check of the sealed days: clean on the file as sealed, and naming the day of a
// reading changed afterwards, as station-history verify does.
TEST_F(HistoryWindowTest, ChecksTheSealedDaysAndNamesTheDayOfAReadingChangedAfterwards) {
    // The recorder attached in SetUp seals the closed days as it starts, as at the station's
    // start; sealing them here as well would race it for the same days.
    int sealed = 0;
    ASSERT_TRUE(testsupport::WaitFor(
        [&] {
            sealed = HistoryFile(Db()).Value("select count(*) from seal").toInt();
            return sealed > 0;
        },
        10000));
    ASSERT_GE(sealed, 39);
    HistoryWindow* w = Request(3);
    ASSERT_NE(w, nullptr);
    MessageBoxWatcher boxes;
    QSignalSpy verified(w, &HistoryWindow::Verified);
    Child<QPushButton>(w, "verifyButton")->click();
    ASSERT_TRUE(verified.wait(60000));
    EXPECT_TRUE(verified.at(0).at(0).toBool()) << verified.at(0).at(1).toString().toStdString();
    EXPECT_TRUE(verified.at(0).at(1).toString().contains(QString::number(sealed)));
    ASSERT_TRUE(testsupport::WaitFor([&] { return boxes.Texts().size() == 1; }, 5000));

    const qint64 changed = cold.readings[200].time;
    HistoryFile(Db()).Exec(QString("update sample set temp = temp + 16 where time = %1 and "
                                   "sensor = (select id from sensor where code = 3)")
                               .arg(changed));
    Child<QPushButton>(w, "verifyButton")->click();
    ASSERT_TRUE(verified.wait(60000));
    const QString text = verified.at(1).at(1).toString();
    EXPECT_FALSE(verified.at(1).at(0).toBool());
    EXPECT_TRUE(text.contains(QDateTime::fromSecsSinceEpoch(changed).toString("yyyy-MM-dd")))
        << text.toStdString();
    ASSERT_TRUE(testsupport::WaitFor([&] { return boxes.Texts().size() == 2; }, 5000));
    EXPECT_EQ(boxes.Texts().at(1), text);
}
