// The alarm log window: lists the recorded alarms of today or of a chosen range of days,
// newest first, and lets the operator delete one record, clear the whole log or export the
// listed records to a spreadsheet file. Modal; when it closes, timed acquisition resumes with
// a full interval.
#pragma once

#include <QDialog>

#include "LogQuery.h"
#include "TQuery.h"

class QDateEdit;
class QGroupBox;
class QLabel;
class QPushButton;
class StationLink;
class TStringGrid;

class TFalm : public QDialog {
    Q_OBJECT
  public:
    explicit TFalm(StationLink& main, QWidget* parent = nullptr);

    // Runs query on the log and refills the grid with its records; one blank row when there
    // are none. The grid keeps its contents when the query fails (DatabaseError).
    void FillLogGrid(const LogQuery& query);

    // The last date query the window ran (today's at each showing, or the chosen range). A
    // delete lists its records again; clearing the log does not replace it.
    LogQuery currentLogQuery;

    // Widgets, named as the station's code refers to them.
    QLabel* titleLabel;          // "报  警  信  息"
    TStringGrid* RzStringGrid1;  // the log grid
    QGroupBox* queryBox;         // "信息查询"
    QDateEdit* DateEdit1;        // from
    QDateEdit* DateEdit2;        // to
    QPushButton* RzBitBtn1;      // query
    QPushButton* RzBitBtn2;      // delete
    QPushButton* RzBitBtn3;      // clear
    QPushButton* RzBitBtn5;      // export
    QPushButton* RzBitBtn7;      // exit

    TQuery Bao_Query;

    // Centres the window on the main window as it comes up.
    void setVisible(bool visible) override;

  protected:
    void showEvent(QShowEvent* event) override;
    // FormClose: timed acquisition resumes with a full interval however the window closes.
    void done(int result) override;

  private:
    void BuildLayout();
    void FormCreate();
    void FormShow();
    void RzBitBtn1Click();
    void RzBitBtn2Click();
    void RzBitBtn3Click();
    void RzBitBtn5Click();
    void RzBitBtn7Click();
    void RzStringGrid1Resize();

    StationLink& main_;
};
