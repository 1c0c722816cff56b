#include "TFset.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPointer>
#include <QVBoxLayout>

#include "BusProtocol.h"
#include "BusyCursor.h"
#include "GridFont.h"
#include "MessageBoxes.h"
#include "RegisterBackup.h"
#include "RegisterStore.h"
#include "StationDatabase.h"
#include "StationEvents.h"
#include "StationLink.h"
#include "TFprs.h"
#include "XlsFileDialog.h"
#include "XlsReader.h"
#include "XlsWriter.h"

using namespace registerrules;

namespace {

const char* const kHeaders[kColumns] = {"编号",    " 设备ID", " 方 位",
                                        "高温(℃)", "低温(℃)", "  备  注 "};
constexpr int kWidths[kColumns] = {80, 120, 120, 80, 80, 300};
constexpr int kRowHeight = 25;

QPushButton* MakeButton(const QString& caption, const char* name, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    // Enter in an edit must not press a button behind the operator's back.
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

QLabel* MakeLabel(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
}

}  // namespace

TFset::TFset(StationLink& main, QWidget* parent)
    : QDialog(parent),
      ADOQuery1(QString::fromLatin1(StationDatabase::kConnectionName)),
      main_(main) {
    setObjectName(QStringLiteral("TFset"));
    setWindowTitle(QStringLiteral("设备管理"));
    resize(929, 592);
    BuildLayout();
}

void TFset::BuildLayout() {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    // Title band.
    auto* band = new QWidget(this);
    band->setFixedHeight(46);
    band->setAutoFillBackground(true);
    QPalette bandPal = band->palette();
    bandPal.setColor(QPalette::Window, QColor(0, 128, 128));
    band->setPalette(bandPal);
    auto* bandLayout = new QHBoxLayout(band);
    LabelTitle = new QLabel(QStringLiteral("设 备 管 理"), band);
    LabelTitle->setObjectName(QStringLiteral("LabelTitle"));
    LabelTitle->setAlignment(Qt::AlignCenter);
    LabelTitle->setStyleSheet(QStringLiteral("color: white; font-weight: bold; font-size: 22px;"));
    bandLayout->addWidget(LabelTitle);
    outer->addWidget(band);

    auto* body = new QHBoxLayout();
    body->setContentsMargins(4, 4, 4, 4);
    body->setSpacing(4);
    outer->addLayout(body, 1);

    // The grid on the left.
    RzStringGrid1 = new TStringGrid(this);
    RzStringGrid1->setObjectName(QStringLiteral("RzStringGrid1"));
    RzStringGrid1->SetColCount(kColumns);
    RzStringGrid1->SetRowSelect(true);
    RzStringGrid1->SetDefaultRowHeight(kRowHeight);
    body->addWidget(RzStringGrid1, 1);

    // The edit panel on the right: fields above, buttons below.
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("EditPanel"));
    panel->setFixedWidth(191);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(2, 2, 2, 2);
    auto* fields = new QGridLayout();
    fields->setHorizontalSpacing(3);
    fields->setVerticalSpacing(8);
    auto makeEdit = [&](const char* name) {
        auto* e = new QLineEdit(panel);
        e->setObjectName(QLatin1String(name));
        return e;
    };
    RzEdit1 = makeEdit("RzEdit1");
    RzEdit2 = makeEdit("RzEdit2");
    RzEdit3 = makeEdit("RzEdit3");
    RzEdit4 = makeEdit("RzEdit4");
    RzEdit5 = makeEdit("RzEdit5");
    RzEdit6 = makeEdit("RzEdit6");
    // The ID is what identifies a sensor on the bus: its edit stands out.
    QPalette idPal = RzEdit2->palette();
    idPal.setColor(QPalette::Base, QColor(255, 255, 204));
    RzEdit2->setPalette(idPal);

    SpeedButton8 = MakeButton(QStringLiteral("默认"), "SpeedButton8", panel);
    SpeedButton9 = MakeButton(QStringLiteral("默认"), "SpeedButton9", panel);
    SpeedButton8->setFixedWidth(40);
    SpeedButton9->setFixedWidth(40);

    fields->addWidget(MakeLabel(QStringLiteral("编号:"), panel), 0, 0);
    fields->addWidget(RzEdit1, 0, 1, 1, 3);
    fields->addWidget(MakeLabel(QStringLiteral("设备ID:"), panel), 1, 0);
    fields->addWidget(RzEdit2, 1, 1, 1, 3);
    fields->addWidget(MakeLabel(QStringLiteral("方位:"), panel), 2, 0);
    fields->addWidget(RzEdit3, 2, 1, 1, 3);
    fields->addWidget(MakeLabel(QStringLiteral("高温报警:"), panel), 3, 0);
    fields->addWidget(RzEdit4, 3, 1);
    fields->addWidget(new QLabel(QStringLiteral("℃"), panel), 3, 2);
    fields->addWidget(SpeedButton8, 3, 3);
    fields->addWidget(MakeLabel(QStringLiteral("低温报警:"), panel), 4, 0);
    fields->addWidget(RzEdit5, 4, 1);
    fields->addWidget(new QLabel(QStringLiteral("℃"), panel), 4, 2);
    fields->addWidget(SpeedButton9, 4, 3);
    fields->addWidget(MakeLabel(QStringLiteral("备注:"), panel), 5, 0);
    fields->addWidget(RzEdit6, 5, 1, 1, 3);
    fields->setColumnStretch(1, 1);
    panelLayout->addLayout(fields);
    panelLayout->addSpacing(12);

    SpeedButton2 = MakeButton(QStringLiteral("删 除"), "SpeedButton2", panel);
    SpeedButton1 = MakeButton(QStringLiteral("添 加"), "SpeedButton1", panel);
    SpeedButton3 = MakeButton(QStringLiteral("更  新"), "SpeedButton3", panel);
    SpeedButton6 = MakeButton(QStringLiteral("自动搜索"), "SpeedButton6", panel);
    SpeedButton5 = MakeButton(QStringLiteral("还  原"), "SpeedButton5", panel);
    SpeedButton4 = MakeButton(QStringLiteral("保  存"), "SpeedButton4", panel);
    SpeedButton7 = MakeButton(QStringLiteral("退  出"), "SpeedButton7", panel);
    for (QPushButton* b : {SpeedButton2, SpeedButton1, SpeedButton3, SpeedButton6, SpeedButton5,
                           SpeedButton4, SpeedButton7}) {
        b->setFixedHeight(30);
        panelLayout->addWidget(b);
    }
    panelLayout->addStretch(1);
    body->addWidget(panel);

    // The spreadsheet band at the bottom.
    auto* bottom = new QHBoxLayout();
    bottom->setContentsMargins(4, 0, 4, 4);
    GroupBox1 = new QGroupBox(QStringLiteral("EXCEL数据表"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    auto* groupLayout = new QHBoxLayout(GroupBox1);
    SaveSBtn = MakeButton(QStringLiteral("表单备份"), "SaveSBtn", GroupBox1);
    SortSBtn = MakeButton(QStringLiteral("导入备份"), "SortSBtn", GroupBox1);
    groupLayout->addWidget(SaveSBtn);
    groupLayout->addWidget(SortSBtn);
    groupLayout->addStretch(1);
    bottom->addWidget(GroupBox1, 1);
    outer->addLayout(bottom);

    setTabOrder(RzEdit1, RzEdit2);
    setTabOrder(RzEdit2, RzEdit3);
    setTabOrder(RzEdit3, RzEdit4);
    setTabOrder(RzEdit4, RzEdit5);
    setTabOrder(RzEdit5, RzEdit6);

    auto on = [this](QPushButton* b, void (TFset::*handler)()) {
        connect(b, &QPushButton::clicked, this,
                [this, handler] { RunHandler([this, handler] { (this->*handler)(); }); });
    };
    on(SpeedButton1, &TFset::SpeedButton1Click);
    on(SpeedButton2, &TFset::SpeedButton2Click);
    on(SpeedButton3, &TFset::SpeedButton3Click);
    on(SpeedButton4, &TFset::SpeedButton4Click);
    on(SpeedButton5, &TFset::SpeedButton5Click);
    on(SpeedButton6, &TFset::SpeedButton6Click);
    on(SpeedButton7, &TFset::SpeedButton7Click);
    on(SpeedButton8, &TFset::SpeedButton8Click);
    on(SpeedButton9, &TFset::SpeedButton9Click);
    on(SaveSBtn, &TFset::SaveSBtnClick);
    on(SortSBtn, &TFset::SortSBtnClick);

    // A row clicked, or the selection moved with the keyboard or by an operation.
    connect(RzStringGrid1, &TStringGrid::RowChanged, this, [this](int) {
        if (!quietSelection_) RunHandler([this] { RzStringGrid1Click(); });
    });
    connect(RzStringGrid1, &TStringGrid::CellClicked, this,
            [this](int, int) { RunHandler([this] { RzStringGrid1Click(); }); });
    connect(RzStringGrid1, &TStringGrid::Resized, this,
            [this] { RunHandler([this] { RzStringGrid1Resize(); }); });

    // Keys typed by the operator (programmatic changes of the texts do not count).
    connect(RzEdit2, &QLineEdit::textEdited, this, [this] { RunHandler([this] { IdEdited(); }); });
    for (QLineEdit* e : {RzEdit1, RzEdit3, RzEdit4, RzEdit5, RzEdit6})
        connect(e, &QLineEdit::textEdited, this, [this] { RunHandler([this] { OtherEdited(); }); });
    RzEdit1->installEventFilter(this);
}

void TFset::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A window brought back from minimised (it goes down with the main window) is told so by
    // the window system; that is no new showing, and the working copy with its unsaved
    // changes stays. Only the showing by the program, from the register button, loads.
    if (event->spontaneous()) return;
    if (QWidget* owner = main_.MainWindow()) {
        const QRect r = owner->frameGeometry();
        move(r.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    }
    RunHandler([this] { FormShow(); });
}

void TFset::FormShow() {
    TStringGrid* g = RzStringGrid1;
    g->SetColCount(kColumns);
    for (int c = 0; c < kColumns; ++c) {
        g->SetCell(c, 0, QString::fromUtf8(kHeaders[c]));
        g->SetColWidth(c, kWidths[c]);
    }
    // The text follows the row height.
    g->setFont(FontWithCellHeight(g->font(), g->DefaultRowHeight() - 2));
    LoadRegister();
}

void TFset::reject() {
    if (FormCloseQuery()) QDialog::reject();
}

bool TFset::FormCloseQuery() {
    if (!SpeedButton4->isEnabled()) return true;
    return ConfirmYesNo(this, QStringLiteral("数据未保存，确定退出吗?"));
}

void TFset::done(int result) {
    QDialog::done(result);
    main_.RestartCountdown();
}

bool TFset::eventFilter(QObject* watched, QEvent* event) {
    if (watched == RzEdit1 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        RunHandler([this] { RzEdit1Click(); });
    return QDialog::eventFilter(watched, event);
}

// ---- edit panel --------------------------------------------------------------------------

QLineEdit* TFset::Edit(Column column) const {
    switch (column) {
        case ColNumber:
            return RzEdit1;
        case ColId:
            return RzEdit2;
        case ColLocation:
            return RzEdit3;
        case ColHigh:
            return RzEdit4;
        case ColLow:
            return RzEdit5;
        case ColRemark:
            return RzEdit6;
    }
    return RzEdit1;
}

EditTexts TFset::ReadEdits() const {
    return {RzEdit1->text(), RzEdit2->text(), RzEdit3->text(),
            RzEdit4->text(), RzEdit5->text(), RzEdit6->text()};
}

void TFset::WriteEdits(const EditTexts& e) {
    auto put = [](QLineEdit* edit, const QString& text) {
        if (edit->text() != text) edit->setText(text);
    };
    put(RzEdit1, e.number);
    put(RzEdit2, e.id);
    put(RzEdit3, e.location);
    put(RzEdit4, e.high);
    put(RzEdit5, e.low);
    put(RzEdit6, e.remark);
}

QStringList TFset::TrimmedEditTexts() const {
    QStringList out;
    for (int c = 0; c < kColumns; ++c) out << Edit(static_cast<Column>(c))->text().trimmed();
    return out;
}

void TFset::ClearEdits() {
    for (int c = 0; c < kColumns; ++c) Edit(static_cast<Column>(c))->clear();
}

void TFset::SetNumberPromptColour(bool dim) {
    QPalette p = RzEdit1->palette();
    p.setColor(QPalette::Text, dim ? QApplication::palette().color(QPalette::Dark)
                                   : QApplication::palette().color(QPalette::Text));
    RzEdit1->setPalette(p);
}

void TFset::RzEdit1Click() {
    if (RzEdit1->text() == NumberPrompt()) RzEdit1->clear();
}

void TFset::IdEdited() {
    // A new ID is taken as a new device.
    SpeedButton1->setEnabled(true);
    SpeedButton3->setEnabled(false);
}

void TFset::OtherEdited() {
    if (sender() == RzEdit1) SetNumberPromptColour(false);
    if (!SpeedButton1->isEnabled()) SpeedButton3->setEnabled(true);
}

bool TFset::ValidateEdits() {
    EditTexts e = ReadEdits();
    EditCheck check;
    try {
        check = CheckEdits(e);
    } catch (...) {
        WriteEdits(e);
        throw;
    }
    WriteEdits(e);
    if (check.ok) return true;
    ShowMessage(this, check.message);
    QLineEdit* edit = Edit(check.field);
    edit->setFocus();
    edit->selectAll();
    return false;
}

void TFset::ShowSelectedRow() {
    const int r = RzStringGrid1->Row();
    if (r < 1) return;
    for (int c = 0; c < kColumns; ++c)
        Edit(static_cast<Column>(c))->setText(RzStringGrid1->Cell(c, r).trimmed());
    if (RzEdit1->text().isEmpty()) {
        RzEdit1->setText(NumberPrompt());
        SetNumberPromptColour(true);
        RzEdit1->setFocus();
        RzEdit1->selectAll();
    } else {
        SetNumberPromptColour(false);
    }
    SpeedButton3->setEnabled(true);
    SpeedButton1->setEnabled(false);
}

void TFset::SpeedButton8Click() {
    RzEdit4->clear();
    if (!SpeedButton1->isEnabled()) SpeedButton3->setEnabled(true);
}

void TFset::SpeedButton9Click() {
    RzEdit5->clear();
    if (!SpeedButton1->isEnabled()) SpeedButton3->setEnabled(true);
}

// ---- grid --------------------------------------------------------------------------------

void TFset::RzStringGrid1Click() {
    ShowSelectedRow();
}

void TFset::RzStringGrid1Resize() {
    TStringGrid* g = RzStringGrid1;
    if (g->ColCount() < kColumns) return;
    int used = 0;
    for (int c = 0; c < kColumns - 1; ++c) used += g->ColWidth(c);
    g->SetColWidth(kColumns - 1, g->width() - used - 8);
}

void TFset::SelectQuietly(int row) {
    const bool was = quietSelection_;
    quietSelection_ = true;
    RzStringGrid1->SetRow(row);
    quietSelection_ = was;
}

int TFset::RowForNewEntry() {
    TStringGrid* g = RzStringGrid1;
    // Row 1 is taken only while it is the empty grid's blank row: a row that holds anything
    // (an imported row without an ID, say) is never overwritten.
    if (g->RowCount() <= 2 && RowIsBlank(g->RowCells(1))) return 1;
    g->SetRowCount(g->RowCount() + 1);
    return g->RowCount() - 1;
}

void TFset::LoadRegister() {
    ClearEdits();
    SpeedButton3->setEnabled(false);
    SpeedButton1->setEnabled(false);
    SpeedButton4->setEnabled(false);

    TStringGrid* g = RzStringGrid1;
    const QVector<RegisterRecord> records = registerstore::LoadAll(ADOQuery1);
    QVector<QStringList> rows;
    rows.reserve(records.size());
    for (const RegisterRecord& r : records) rows.append(RowFromRecord(r));
    if (rows.isEmpty()) rows.append(QStringList(kColumns, QString()));
    quietSelection_ = true;
    g->SetAllRows(std::move(rows));
    g->SetRow(1);
    quietSelection_ = false;
}

// ---- operations --------------------------------------------------------------------------

void TFset::SpeedButton1Click() {
    if (!ValidateEdits()) return;
    const int r = RowForNewEntry();
    RzStringGrid1->SetRowCells(r, TrimmedEditTexts());
    RzStringGrid1->SetRow(r);
    SpeedButton1->setEnabled(false);
    SpeedButton4->setEnabled(true);
}

void TFset::SpeedButton3Click() {
    if (!ValidateEdits()) return;
    const int r = RzStringGrid1->Row();
    if (r < 1) return;
    RzStringGrid1->SetRowCells(r, TrimmedEditTexts());
    SpeedButton1->setEnabled(false);
    SpeedButton4->setEnabled(true);
}

void TFset::SpeedButton2Click() {
    TStringGrid* g = RzStringGrid1;
    const int r = g->Row();
    if (r < 1) return;
    const int n = g->RowCount();
    quietSelection_ = true;
    for (int i = r; i < n - 1; ++i) g->SetRowCells(i, g->RowCells(i + 1));
    if (n < 3) {
        g->SetRowCells(1, QStringList(kColumns, QString()));
    } else {
        g->SetRowCount(n - 1);
    }
    g->SetRow(qMin(r, g->RowCount() - 1));
    quietSelection_ = false;
    ShowSelectedRow();
    SpeedButton4->setEnabled(true);
}

void TFset::SpeedButton4Click() {
    TStringGrid* g = RzStringGrid1;
    QVector<QStringList> rows;
    rows.reserve(g->RowCount() - 1);
    for (int r = 1; r < g->RowCount(); ++r) {
        g->SetCell(ColNumber, r, g->Cell(ColNumber, r).trimmed());
        g->SetCell(ColId, r, g->Cell(ColId, r).trimmed());
        rows.append(g->RowCells(r));
    }
    if (const auto dup = FindDuplicate(rows)) {
        ShowMessage(this, dup->message);
        g->SetRow(dup->index + 1);
        return;
    }
    // Every row is converted before anything is written: a bad row ends the save with the
    // stored register untouched.
    QVector<RegisterRecord> records;
    records.reserve(rows.size());
    for (int i = 0; i < rows.size(); ++i) records.append(RecordFromRow(rows[i], i + 1));
    registerstore::ReplaceAll(ADOQuery1, records);
    SpeedButton3->setEnabled(false);
    SpeedButton1->setEnabled(false);
    SpeedButton4->setEnabled(false);
    main_.LoadMonitorRows(true);
    emit main_.Events().RegisterChanged();
}

void TFset::SpeedButton5Click() {
    LoadRegister();
}

void TFset::SpeedButton7Click() {
    close();
}

// ---- automatic search --------------------------------------------------------------------

TFprs* TFset::ProgressWindow() {
    if (!Fprs_ && main_.MainWindow())
        Fprs_ = main_.MainWindow()->findChild<TFprs*>(QString(), Qt::FindDirectChildrenOnly);
    if (!Fprs_) Fprs_ = new TFprs(main_.MainWindow() ? main_.MainWindow() : this);
    return Fprs_;
}

void TFset::SpeedButton6Click() {
    TStringGrid* g = RzStringGrid1;
    quietSelection_ = true;
    g->SetRowCount(2);
    g->SetRowCells(1, QStringList(kColumns, QString()));
    g->SetRow(1);
    quietSelection_ = false;
    ClearEdits();
    SpeedButton3->setEnabled(false);
    SpeedButton1->setEnabled(false);
    SpeedButton4->setEnabled(true);
    main_.SendCommand(QByteArray(busprotocol::kSearchCommand));

    // The sensors answer while the bar fills; their replies arrive through the event loop
    // that keeps running under the modal progress window.
    TFprs* fprs = ProgressWindow();
    fprs->Timer1()->setInterval(100);
    QPointer<TFset> self(this);
    fprs->exec();
    if (!self) return;
    main_.AddBoardLine(QStringLiteral("搜索设备..."));
}

void TFset::HandleSearchReply(const QByteArray& reply) {
    if (reply.size() != busprotocol::kSearchReplyLength) return;
    const QString id = busprotocol::BytesToHex(reply);
    const std::optional<RegisterRecord> stored = registerstore::FindById(ADOQuery1, id);
    QStringList cells(kColumns, QString());
    if (stored) cells = RowFromRecord(*stored);
    cells[ColId] = id;
    const int r = RowForNewEntry();
    RzStringGrid1->SetRowCells(r, cells);
    RzStringGrid1->SetRow(r);
}

// ---- spreadsheet backup and import ------------------------------------------------------

void TFset::SaveSBtnClick() {
    const QString path = xlsfiledialog::AskSavePath(this, QStringLiteral("配置表单备份"));
    if (path.isEmpty()) return;
    TStringGrid* g = RzStringGrid1;
    // The grid as it stands, unsaved changes included.
    QVector<QStringList> rows;
    rows.reserve(g->RowCount() - 1);
    for (int r = 1; r < g->RowCount(); ++r) rows.append(g->RowCells(r));
    {
        BusyCursor busy;
        WriteWorkbook(path, registerbackup::BackupSheets(g->RowCells(0), rows));
    }
    ShowMessage(this, QStringLiteral("成功导出 %1 条数据!").arg(rows.size()));
}

void TFset::SortSBtnClick() {
    const QString path = xlsfiledialog::AskOpenPath(this);
    if (path.isEmpty()) return;
    registerbackup::ImportedGrid imported;
    {
        BusyCursor busy;
        // The whole sheet is read before the grid changes: a file that cannot be read leaves
        // the grid as it was.
        imported = registerbackup::GridFromSheet(ReadFirstSheet(path), kColumns);
    }
    // Only the grid changes; the edit panel and its buttons keep their state.
    TStringGrid* g = RzStringGrid1;
    quietSelection_ = true;
    g->SetAllRows(std::move(imported.rows));
    g->SetRowCells(0, imported.header);
    g->SetRow(1);
    quietSelection_ = false;
    SpeedButton4->setEnabled(true);
}
