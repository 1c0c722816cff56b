// The history of a running station on the simulated bus, attached as the program entry does.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

#include "BusSimulator.h"
#include "HistoryAttach.h"
#include "HistoryFile.h"
#include "StationFixture.h"
#include "TestSupport.h"

namespace {

struct Ports {
    explicit Ports(const QString& list) { qputenv("SENSORBUS_PORTS", list.toLocal8Bit()); }
    ~Ports() { qunsetenv("SENSORBUS_PORTS"); }
};

int BoardCount(const Station& s, const QString& line) {
    return s.Board().count(line);
}

// Press, release, double-click, release: what the window system delivers for a double-click.
void DoubleClick(QWidget* w, const QPoint& at) {
    const QPointF global = w->mapToGlobal(QPointF(at));
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                                    QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        const Qt::MouseButtons held =
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, QPointF(at), global, Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(w, &event);
    }
}

void AttachHistory(Station& s, const StationFolder& folder) {
    TFmain* m = s.Fmain.get();
    history::Attach(m->Events(), folder.Path(),
                    [m](const QString& line) { m->AddBoardLine(line); });
}

}  // namespace

TEST(StationHistory, StartedWithoutAFileItMakesOneAndRecordsEveryReadingOfTheBus) {
    BusSimulator bus({"--sensor", "0A1B2C=20.5", "--sensor", "0A1B2D=31.25"});
    Ports env(bus.Path());
    StationFolder folder;
    folder.AddSensors({{3, "0A1B2C ", "hall ", 30, -10}, {5, "0A1B2D ", "server ", 30, 0}});
    // Every 2 s; a request may still bring two readings of one sensor within one second, and
    // both are recorded.
    folder.WriteIni(DefaultIni("2"));
    const QString db = folder.Path() + "history.db";
    ASSERT_FALSE(QFile::exists(db));
    const QDateTime begin = QDateTime::currentDateTime();
    int hallLines = 0;
    int serverLines = 0;
    {
        Station s(folder);
        AttachHistory(s, folder);
        ASSERT_TRUE(testsupport::WaitFor([&] { return BoardCount(s, "ID:0A1B2C 温度:20.5℃") >= 4; },
                                         20000));
        hallLines = BoardCount(s, "ID:0A1B2C 温度:20.5℃");
        serverLines = BoardCount(s, "ID:0A1B2D 温度:31.25℃");
        s.Fmain->TimerB()->stop();
        QTest::qWait(300);  // the replies of a request already sent
        hallLines = BoardCount(s, "ID:0A1B2C 温度:20.5℃");
        serverLines = BoardCount(s, "ID:0A1B2D 温度:31.25℃");
        EXPECT_FALSE(s.Board().join('\n').contains("history.db"));
    }  // the station ends: what it announced is written
    const QDateTime end = QDateTime::currentDateTime();
    ASSERT_TRUE(QFile::exists(db));
    HistoryFile file(db);
    const auto hall = file.Rows(
        "select time, codeid, fix, celsius from readings where code = 3 "
        "order by time");
    ASSERT_EQ(hall.size(), hallLines);
    QString previous;
    for (const auto& row : hall) {
        const QString time = row[0].toString();
        EXPECT_GE(time, begin.toString("yyyy-MM-dd HH:mm:ss"));
        EXPECT_LE(time, end.toString("yyyy-MM-dd HH:mm:ss"));
        EXPECT_GT(time, previous);  // one every 2 s, the station's interval
        previous = time;
        EXPECT_EQ(row[1].toString(), "0A1B2C");
        EXPECT_EQ(row[2].toString(), "hall ");
        EXPECT_DOUBLE_EQ(row[3].toDouble(), 20.5);
    }
    EXPECT_EQ(
        file.Value("select count(*) from readings where code = 5 and celsius = 31.25").toInt(),
        serverLines);
    // The server room was above its high limit the whole time: one excursion, still lasting.
    const auto episodes = file.Rows("select code, kind, ended, extreme from episodes");
    ASSERT_EQ(episodes.size(), 1);
    EXPECT_EQ(episodes[0][0].toInt(), 5);
    EXPECT_EQ(episodes[0][1].toString(), "超上限");
    EXPECT_TRUE(episodes[0][2].isNull());
    EXPECT_DOUBLE_EQ(episodes[0][3].toDouble(), 31.25);
}

// A sensor that falls silent and comes back keeps the one identity its readings have: its
// silence is recorded under its ID and limits, so the history window still shows them.
TEST(StationHistory, ASilentSensorsEpisodeKeepsItsIdAndLimits) {
    BusSimulator bus({"--sensor", "0A1B01=20", "--sensor", "0A1B02=21", "--gap", "120"});
    Ports env(bus.Path());
    StationFolder folder;
    folder.AddSensors({{1, "0A1B01 ", "hall ", 30, 0}, {2, "0A1B02 ", "cold room ", 25, 5}});
    folder.WriteIni(DefaultIni("1"));
    {
        Station s(folder);
        AttachHistory(s, folder);
        TStringGrid* g = s.Fmain->RzStringGrid1;
        ASSERT_TRUE(testsupport::WaitFor([&] { return g->Cell(1, 2) == "21"; }, 5000));
        bus.Control("mute 0A1B02 on");
        ASSERT_TRUE(testsupport::WaitFor([&] { return g->Cell(1, 2) == "无数据"; }, 10000))
            << s.Board().join('\n').toStdString();
        bus.Control("mute 0A1B02 off");
        ASSERT_TRUE(testsupport::WaitFor([&] { return g->Cell(1, 2) == "21"; }, 5000));
    }
    HistoryFile file(folder.Path() + "history.db");
    EXPECT_EQ(file.Value("select count(*) from episodes where code = 2").toInt(), 1);
    const auto identities = file.Rows("select codeid, fix, high, low from sensor where code = 2");
    ASSERT_EQ(identities.size(), 1);
    EXPECT_EQ(identities[0][0].toString(), "0A1B02");
    EXPECT_EQ(identities[0][1].toString(), "cold room ");
    EXPECT_DOUBLE_EQ(identities[0][2].toDouble(), 25);
    EXPECT_DOUBLE_EQ(identities[0][3].toDouble(), 5);
}

TEST(StationHistory, ADamagedFileIsNamedOnceOnTheBoardAndMonitoringGoesOn) {
    BusSimulator bus({"--sensor", "0A1B2C=20.5"});
    Ports env(bus.Path());
    StationFolder folder;
    folder.AddSensors({{3, "0A1B2C ", "hall ", 30, -10}});
    folder.WriteIni(DefaultIni("1"));
    QFile f(folder.Path() + "history.db");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(8192, '\x5a'));
    f.close();
    Station s(folder);
    AttachHistory(s, folder);
    ASSERT_TRUE(
        testsupport::WaitFor([&] { return BoardCount(s, "ID:0A1B2C 温度:20.5℃") >= 3; }, 15000));
    int named = 0;
    for (const QString& line : s.Board()) named += line.contains("history.db") ? 1 : 0;
    EXPECT_EQ(named, 1) << s.Board().join('\n').toStdString();
    EXPECT_EQ(s.Fmain->RzStringGrid1->Cell(1, 1), "20.5");
}

TEST(StationHistory, ADoubleClickOnASensorsRowOrTheButtonOpensItsHistory) {
    BusSimulator bus({"--sensor", "0A1B2C=20.5", "--sensor", "0A1B2D=31.25"});
    Ports env(bus.Path());
    StationFolder folder;
    folder.AddSensors({{3, "0A1B2C ", "hall ", 30, -10}, {5, "0A1B2D ", "server ", 30, 0}});
    folder.WriteIni(DefaultIni("1"));
    Station s(folder);
    AttachHistory(s, folder);
    ASSERT_TRUE(
        testsupport::WaitFor([&] { return BoardCount(s, "ID:0A1B2D 温度:31.25℃") >= 3; }, 15000));
    QTest::qWait(1500);  // the recorder writes at most a second after a reading
    TStringGrid* grid = s.Fmain->RzStringGrid1;
    int serverRow = 0;
    int hallRow = 0;
    for (int row = 1; row < grid->RowCount(); ++row) {
        if (grid->Cell(0, row).trimmed() == "5") serverRow = row;
        if (grid->Cell(0, row).trimmed() == "3") hallRow = row;
    }
    ASSERT_GT(serverRow, 0);
    ASSERT_GT(hallRow, 0);
    auto window = [] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->objectName() == "historyWindow" && top->isVisible()) return top;
        return static_cast<QWidget*>(nullptr);
    };
    auto ticked = [](QWidget* w) {
        QStringList out;
        auto* list = w->findChild<QListWidget*>("sensorList");
        for (int i = 0; list && i < list->count(); ++i)
            if (list->item(i)->checkState() == Qt::Checked) out << list->item(i)->text();
        return out;
    };
    auto statistics = [](QWidget* w) { return w->findChild<QTableWidget*>("statisticsTable"); };
    ASSERT_EQ(window(), nullptr);

    DoubleClick(grid->viewport(), grid->CellRect(1, serverRow).center());
    ASSERT_TRUE(
        testsupport::WaitFor([&] { return window() && statistics(window())->rowCount() == 1; }));
    QWidget* w = window();
    EXPECT_EQ(ticked(w), QStringList{"5号 server"});
    EXPECT_EQ(statistics(w)->item(0, 0)->text(), "5");
    EXPECT_DOUBLE_EQ(statistics(w)->item(0, 4)->text().toDouble(), 31.25);
    EXPECT_GE(statistics(w)->item(0, 6)->text().toInt(), 3);
    // Monitoring goes on behind the window.
    const int before = BoardCount(s, "ID:0A1B2D 温度:31.25℃");
    ASSERT_TRUE(testsupport::WaitFor(
        [&] { return BoardCount(s, "ID:0A1B2D 温度:31.25℃") > before; }, 5000));

    // The hall's row chosen, then the button: the same window, on the hall.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->CellRect(1, hallRow).center());
    s.Fmain->findChild<QToolButton*>("historyButton")->click();
    ASSERT_TRUE(testsupport::WaitFor([&] { return ticked(w) == QStringList{"3号 hall"}; }));
    EXPECT_EQ(window(), w);
    ASSERT_TRUE(testsupport::WaitFor([&] { return statistics(w)->item(0, 0)->text() == "3"; }));
    EXPECT_DOUBLE_EQ(statistics(w)->item(0, 3)->text().toDouble(), 20.5);
}
