// The device register window: the operator's working copy of the sensor register. Everything
// is edited in the grid; the stored register changes only when the operator saves, and the
// save replaces it as a whole. The automatic search fills the grid with the sensors that answer
// on the bus; the spreadsheet import fills it from a backup file.
#pragma once

#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "RegisterRules.h"
#include "TQuery.h"
#include "TStringGrid.h"

class StationLink;
class TFprs;

class TFset : public QDialog {
    Q_OBJECT
  public:
    explicit TFset(StationLink& main, QWidget* parent = nullptr);

    // A search reply (3 bytes) that arrived while the window is showing.
    void HandleSearchReply(const QByteArray& reply);

    // Refills the grid from the stored register and resets the edit panel.
    void LoadRegister();
    // Copies the selected grid row into the edit fields.
    void ShowSelectedRow();
    // Checks and normalises the edit fields; false (after telling the operator) when the add
    // or update may not go ahead.
    bool ValidateEdits();

    // The progress window the search shows; found among the main window's windows when not
    // set.
    void SetProgressWindow(TFprs* fprs) { Fprs_ = fprs; }
    TFprs* ProgressWindow();

    QLabel* LabelTitle;
    TStringGrid* RzStringGrid1;
    QLineEdit* RzEdit1;         // number
    QLineEdit* RzEdit2;         // ID
    QLineEdit* RzEdit3;         // location
    QLineEdit* RzEdit4;         // high limit
    QLineEdit* RzEdit5;         // low limit
    QLineEdit* RzEdit6;         // remark
    QPushButton* SpeedButton1;  // add
    QPushButton* SpeedButton2;  // delete
    QPushButton* SpeedButton3;  // update
    QPushButton* SpeedButton4;  // save
    QPushButton* SpeedButton5;  // restore
    QPushButton* SpeedButton6;  // search
    QPushButton* SpeedButton7;  // exit
    QPushButton* SpeedButton8;  // high limit default
    QPushButton* SpeedButton9;  // low limit default
    QGroupBox* GroupBox1;       // "EXCEL数据表"
    QPushButton* SaveSBtn;      // backup to a spreadsheet file
    QPushButton* SortSBtn;      // import a backup

    TQuery ADOQuery1;

    // Event handlers, as the operator's actions reach them.
    void SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void SpeedButton4Click();
    void SpeedButton5Click();
    void SpeedButton6Click();
    void SpeedButton7Click();
    void SpeedButton8Click();
    void SpeedButton9Click();
    // Backup: writes the grid as it stands to an .xls file the operator names.
    void SaveSBtnClick();
    // Import: fills the grid from the first sheet of an .xls file and enables save; nothing
    // is checked or stored until the operator saves.
    void SortSBtnClick();

  public slots:
    // FormCloseQuery on every way of closing: the exit button, the close box and Esc.
    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;
    // FormClose: timed acquisition resumes with a full interval however the window closes.
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildLayout();
    void FormShow();
    bool FormCloseQuery();
    void RzStringGrid1Click();
    void RzStringGrid1Resize();
    void RzEdit1Click();
    void IdEdited();     // RzEdit2KeyPress
    void OtherEdited();  // the number, location, limit and remark edits
    void SetNumberPromptColour(bool dim);
    QLineEdit* Edit(registerrules::Column column) const;
    registerrules::EditTexts ReadEdits() const;
    void WriteEdits(const registerrules::EditTexts& edits);
    QStringList TrimmedEditTexts() const;
    void ClearEdits();
    // The row an add or a search reply fills: the blank row 1 of an empty grid, else a new
    // last row.
    int RowForNewEntry();
    // Moves the selection without running ShowSelectedRow.
    void SelectQuietly(int row);

    StationLink& main_;
    TFprs* Fprs_ = nullptr;
    bool quietSelection_ = false;
};
