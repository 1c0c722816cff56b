// The history window (历史曲线): the readings of one or several sensors over a range as
// curves, with each sensor's limits as dashed lines and the alarm, silence and bus episodes
// shaded; minimum, maximum and mean per sensor below; export of the range to .xlsx, CSV and a
// one-page PDF report. Not modal: monitoring goes on while it is open.
//
// The file is read on a thread of the window's own, on a read-only connection, so that
// neither the station's screen nor the recorder waits for a long range. Each curve is thinned
// to the lowest and highest reading per pixel column of what is on screen, and thinned again
// from the full readings whenever the operator zooms.
#pragma once

#include <QDateTime>
#include <QThread>
#include <QWidget>
#include <memory>
#include <set>
#include <vector>

#include "HistoryRange.h"
#include "HistoryVerifier.h"

class QComboBox;
class QDateEdit;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTableWidget;
class QChart;
class QDateTimeAxis;
class QLineSeries;
class QValueAxis;

namespace history {

class HistoryChartView;
class HistoryReader;

class HistoryWindow : public QWidget {
    Q_OBJECT
  public:
    // The preset ranges in the order the range box lists them; Free takes the two dates.
    enum RangeChoice { Last24Hours = 0, Last7Days = 1, Last30Days = 2, Free = 3 };

    HistoryWindow(const QString& historyPath, const QString& settingsPath,
                  QWidget* parent = nullptr);
    ~HistoryWindow() override;

    // Shows the window (raised when it is already open) on the sensor of that number alone;
    // 0 keeps the sensors chosen before (the first sensor when none was).
    void ShowSensor(int code);

    // What is on the chart; empty until the first range has been read.
    std::shared_ptr<const HistoryRange> Range() const { return range_; }
    QChart* Chart() const { return chart_; }
    HistoryChartView* View() const { return view_; }

  signals:
    // The chart shows the range last asked for (or the reason it cannot).
    void Drawn();
    // An export ended; ok false with the reason in text.
    void Exported(bool ok, const QString& text);
    // A check of the sealed days ended; clean false when a day was changed afterwards or the
    // file could not be read, with what was found in text.
    void Verified(bool clean, const QString& text);

  private:
    // Reads the chosen sensors over the range in the controls. With nothing chosen the first
    // sensor is shown when firstWhenNone, an empty chart otherwise.
    void Reload(bool firstWhenNone = false);
    void CurrentBounds(qint64* from, qint64* to) const;
    void Apply(int request, std::shared_ptr<const HistoryRange> range, const QString& error);
    void FillSensorList();
    void FillStatistics();
    void BuildChart();
    void ThinCurves();
    void ResetZoom();
    void ShowHover(const QPointF& position);
    void UpdateTimeFormat();
    void OnRangeChosen(int index);
    void OnDateEdited();
    void OnSensorToggled(QListWidgetItem* item);
    void ExportSheet(bool xlsx);
    void ExportPdf();
    void VerifyFile();
    void ShowVerification(const HistoryVerifier::Result& result);
    QString AskSavePath(const QString& filter, const QString& extension);
    QString StationTitle() const;

    QString settingsPath_;
    QString historyPath_;
    std::shared_ptr<HistoryReader> reader_;
    QThread readerThread_;
    QObject* readerContext_ = nullptr;  // lives on readerThread_
    int request_ = 0;
    std::set<int> chosen_;  // sensor numbers on the chart
    std::shared_ptr<const HistoryRange> range_;

    QComboBox* rangeBox_ = nullptr;
    QDateEdit* fromEdit_ = nullptr;
    QDateEdit* toEdit_ = nullptr;
    QPushButton* resetButton_ = nullptr;
    QPushButton* xlsxButton_ = nullptr;
    QPushButton* csvButton_ = nullptr;
    QPushButton* pdfButton_ = nullptr;
    QPushButton* verifyButton_ = nullptr;
    QListWidget* sensorList_ = nullptr;
    QChart* chart_ = nullptr;
    HistoryChartView* view_ = nullptr;
    QDateTimeAxis* timeAxis_ = nullptr;
    QValueAxis* valueAxis_ = nullptr;
    std::vector<QLineSeries*> curves_;  // one per series of range_, same order
    double valueMin_ = 0;
    double valueMax_ = 0;
    bool building_ = false;
    bool thinPending_ = false;
    int thinnedColumns_ = 0;  // the plot's width in pixels when the curves were last thinned
    QLabel* hoverLabel_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QTableWidget* statistics_ = nullptr;
};

}  // namespace history
