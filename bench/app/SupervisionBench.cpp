// How quickly the station notices a bus that goes away and takes it up again, measured on the
// real station against the bus simulator:
//   DropToShown        : from the simulator closing its port to "通信中断" on the board
//   ReturnToReadings   : from a new simulator behind the same port name to the first reading
//                        in the grid (the station searches every 30 s, so this depends on
//                        where in that cycle the bus returns: reported for a return right
//                        after the loss, the longest case)
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include "BusSimulator.h"
#include "SoundPlayer.h"
#include "StationFixture.h"
#include "TestSupport.h"

namespace {

bool WaitUntil(const std::function<bool()>& pred, int ms) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms) return false;
        QTest::qWait(2);
    }
    return true;
}

void BusLossAndReturn(benchmark::State& state) {
    SoundPlayer::Shared().SetAudioSink("fakesink");
    for (auto _ : state) {
        auto bus =
            std::make_unique<BusSimulator>(QStringList{"--sensor", "0A1B2C=20", "--gap", "120"});
        PortLinks links({bus->Path()});
        qputenv("SENSORBUS_PORTS", links.List().toLocal8Bit());
        StationFolder folder;
        folder.AddSensors({{1, "0A1B2C ", "cold room ", 30, 0}});
        folder.WriteIni("[seting]\nstart=1\nicon=0\ntitle=t\naddhigh=25\ninterval=1\nmedia=\n");
        Station s(folder);
        TStringGrid* g = s.Fmain->RzStringGrid1;
        if (!WaitUntil([&] { return g->Cell(1, 1) == "20"; }, 10000)) {
            state.SkipWithError("no reading");
            break;
        }
        QElapsedTimer clock;
        clock.start();
        bus->Control("drop");
        WaitUntil([&] { return s.Board().contains("通信中断"); }, 10000);
        state.counters["DropToShown_ms"] = static_cast<double>(clock.elapsed());
        bus = std::make_unique<BusSimulator>(QStringList{"--sensor", "0A1B2C=21", "--gap", "120"});
        QFile::remove(links.Link(0));
        QFile::link(bus->Path(), links.Link(0));
        clock.restart();
        WaitUntil([&] { return g->Cell(1, 1) == "21"; }, 60000);
        state.counters["ReturnToReadings_s"] = static_cast<double>(clock.elapsed()) / 1000.0;
        qunsetenv("SENSORBUS_PORTS");
    }
}
BENCHMARK(BusLossAndReturn)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
