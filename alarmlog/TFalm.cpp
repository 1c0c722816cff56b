#include "TFalm.h"

#include <QDate>
#include <QDateEdit>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "AlarmLogText.h"
#include "BusyCursor.h"
#include "Conversions.h"
#include "MessageBoxes.h"
#include "SheetSplitter.h"
#include "StatementCatalogue.h"
#include "StationDatabase.h"
#include "StationLink.h"
#include "TStringGrid.h"
#include "WorkbookStream.h"
#include "XlsFileDialog.h"
#include "XlsWriter.h"

namespace {

constexpr int kColumns = 5;
constexpr int kFixedWidth = 120;  // columns 0 to 3
constexpr int kPanelWidth = 192;

const QString kDateFormat = QStringLiteral("yyyy-MM-dd");

int Today() {
    const QDate d = QDate::currentDate();
    return d.year() * 10000 + d.month() * 100 + d.day();
}

}  // namespace

TFalm::TFalm(StationLink& main, QWidget* parent)
    : QDialog(parent),
      Bao_Query(QString::fromLatin1(StationDatabase::kConnectionName)),
      main_(main) {
    setObjectName(QStringLiteral("TFalm"));
    BuildLayout();
    FormCreate();
}

void TFalm::BuildLayout() {
    setWindowTitle(QStringLiteral("报警记录查询"));
    resize(905, 582);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    // Title band.
    titleLabel = new QLabel(QStringLiteral("报  警  信  息"), this);
    titleLabel->setObjectName(QStringLiteral("titleLabel"));
    titleLabel->setAlignment(Qt::AlignCenter);
    titleLabel->setFixedHeight(46);
    titleLabel->setStyleSheet(QStringLiteral("font-weight: bold; font-size: 22px;"));
    outer->addWidget(titleLabel);

    auto* body = new QHBoxLayout();
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    outer->addLayout(body, 1);

    // The log grid fills the left side.
    RzStringGrid1 = new TStringGrid(this);
    RzStringGrid1->setObjectName(QStringLiteral("RzStringGrid1"));
    RzStringGrid1->SetFixedCols(0);
    RzStringGrid1->SetRowSelect(true);
    RzStringGrid1->SetDefaultRowHeight(25);
    body->addWidget(RzStringGrid1, 1);

    // Button panel on the right.
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("buttonPanel"));
    panel->setFixedWidth(kPanelWidth);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(8, 8, 8, 8);
    panelLayout->setSpacing(10);

    queryBox = new QGroupBox(QStringLiteral("信息查询"), panel);
    queryBox->setObjectName(QStringLiteral("queryBox"));
    auto* boxLayout = new QVBoxLayout(queryBox);
    auto addDateRow = [&](const QString& caption, const QString& name) {
        auto* row = new QHBoxLayout();
        row->addWidget(new QLabel(caption, queryBox));
        auto* edit = new QDateEdit(QDate::currentDate(), queryBox);
        edit->setObjectName(name);
        edit->setDisplayFormat(kDateFormat);
        edit->setCalendarPopup(true);
        row->addWidget(edit, 1);
        boxLayout->addLayout(row);
        return edit;
    };
    DateEdit1 = addDateRow(QStringLiteral("从："), QStringLiteral("DateEdit1"));
    DateEdit2 = addDateRow(QStringLiteral("到："), QStringLiteral("DateEdit2"));
    auto makeButton = [&](QWidget* owner, const QString& caption, const QString& name) {
        auto* b = new QPushButton(caption, owner);
        b->setObjectName(name);
        b->setAutoDefault(false);
        b->setMinimumHeight(30);
        return b;
    };
    RzBitBtn1 = makeButton(queryBox, QStringLiteral("查    询"), QStringLiteral("RzBitBtn1"));
    boxLayout->addWidget(RzBitBtn1);
    panelLayout->addWidget(queryBox);

    RzBitBtn2 = makeButton(panel, QStringLiteral("删    除"), QStringLiteral("RzBitBtn2"));
    RzBitBtn3 = makeButton(panel, QStringLiteral("清    空"), QStringLiteral("RzBitBtn3"));
    RzBitBtn5 = makeButton(panel, QStringLiteral("导出数据"), QStringLiteral("RzBitBtn5"));
    RzBitBtn7 = makeButton(panel, QStringLiteral("退    出"), QStringLiteral("RzBitBtn7"));
    for (QPushButton* b : {RzBitBtn2, RzBitBtn3, RzBitBtn5, RzBitBtn7}) panelLayout->addWidget(b);
    panelLayout->addStretch(1);
    body->addWidget(panel);

    connect(RzBitBtn1, &QPushButton::clicked, this,
            [this] { RunHandler([this] { RzBitBtn1Click(); }); });
    connect(RzBitBtn2, &QPushButton::clicked, this,
            [this] { RunHandler([this] { RzBitBtn2Click(); }); });
    connect(RzBitBtn3, &QPushButton::clicked, this,
            [this] { RunHandler([this] { RzBitBtn3Click(); }); });
    connect(RzBitBtn5, &QPushButton::clicked, this,
            [this] { RunHandler([this] { RzBitBtn5Click(); }); });
    connect(RzBitBtn7, &QPushButton::clicked, this, [this] { RzBitBtn7Click(); });
    connect(RzStringGrid1, &TStringGrid::Resized, this, [this] { RzStringGrid1Resize(); });
}

void TFalm::FormCreate() {
    TStringGrid* g = RzStringGrid1;
    g->SetColCount(kColumns);
    g->SetRowCount(2);
    g->SetCell(0, 0, QStringLiteral("  日  期"));
    g->SetCell(1, 0, QStringLiteral("  时 间"));
    g->SetCell(2, 0, QStringLiteral(" 编  号"));
    g->SetCell(3, 0, QStringLiteral(" 方 位"));
    g->SetCell(4, 0, QStringLiteral(" 报警值"));
    for (int c = 0; c < 4; ++c) g->SetColWidth(c, kFixedWidth);
    RzStringGrid1Resize();
}

void TFalm::setVisible(bool visible) {
    // Centred on the main window at every showing.
    if (visible && !isVisible()) {
        if (QWidget* m = main_.MainWindow()) {
            const QRect mg = m->frameGeometry();
            move(mg.center() - QPoint(width() / 2, height() / 2));
        }
    }
    QDialog::setVisible(visible);
}

void TFalm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) RunHandler([this] { FormShow(); });
}

void TFalm::FormShow() {
    DateEdit1->setDate(QDate::currentDate());
    DateEdit2->setDate(QDate::currentDate());
    currentLogQuery = LogQuery::Day(Today());
    FillLogGrid(currentLogQuery);
}

void TFalm::FillLogGrid(const LogQuery& query) {
    if (!query.Valid()) return;
    BusyCursor busy;
    query.PrepareOn(Bao_Query);
    Bao_Query.Open();

    // Every row is made before the grid is touched: a failing query leaves the grid as it was,
    // and the grid takes all rows in one go however many there are.
    QVector<QStringList> rows;
    rows.reserve(qMax(1, Bao_Query.RecordCount()));
    for (Bao_Query.First(); !Bao_Query.Eof(); Bao_Query.Next()) {
        rows.append({alarmlog::DateText(Bao_Query.AsInteger(QStringLiteral("dates"))),
                     alarmlog::TimeText(Bao_Query.AsInteger(QStringLiteral("times"))),
                     QString::number(Bao_Query.AsInteger(QStringLiteral("code"))),
                     Bao_Query.AsString(QStringLiteral("fix")),
                     Bao_Query.AsString(QStringLiteral("almtemp"))});
    }
    Bao_Query.Close();
    if (rows.isEmpty()) rows.append(QStringList());  // one blank row

    RzStringGrid1->SetAllRows(std::move(rows));
    RzStringGrid1->SetRow(1);
}

void TFalm::RzBitBtn1Click() {
    const int first = alarmlog::DateEditNumber(DateEdit1->text());
    const int last = alarmlog::DateEditNumber(DateEdit2->text());
    currentLogQuery = LogQuery::Between(first, last);
    FillLogGrid(currentLogQuery);
}

void TFalm::RzBitBtn2Click() {
    TStringGrid* g = RzStringGrid1;
    const int r = g->Row();
    const QString dateCell = r >= 1 ? g->Cell(0, r) : QString();
    // A blank date cell is the blank row of an empty list: there is no record to delete.
    if (!dateCell.trimmed().isEmpty()) {
        const int dates = StrToInt(alarmlog::DigitsOf(dateCell));
        const int times = StrToInt(alarmlog::DigitsOf(g->Cell(1, r)));
        const int code = StrToInt(g->Cell(2, r).trimmed());
        Bao_Query.Prepare(catalogue::DeleteAlarm);
        Bao_Query.SetParam(QStringLiteral("dates"), dates);
        Bao_Query.SetParam(QStringLiteral("times"), times);
        Bao_Query.SetParam(QStringLiteral("code"), code);
        Bao_Query.ExecSQL();
    }
    FillLogGrid(currentLogQuery);
    if (r >= 1) g->SetRow(r < g->RowCount() ? r : g->RowCount() - 1);
}

void TFalm::RzBitBtn3Click() {
    if (!ConfirmYesNo(this, QStringLiteral("确定要清空记录吗?"))) return;
    Bao_Query.Prepare(catalogue::DeleteAllAlarms);
    Bao_Query.ExecSQL();
    FillLogGrid(LogQuery::All());
}

void TFalm::RzBitBtn5Click() {
    const QString path = xlsfiledialog::AskSavePath(this, QStringLiteral("报警信息表"));
    if (path.isEmpty()) return;
    // The records as listed, in the grid's order; the log itself is not read again.
    TStringGrid* g = RzStringGrid1;
    QVector<QStringList> rows;
    rows.reserve(g->RowCount() - 1);
    for (int r = 1; r < g->RowCount(); ++r) rows.append(g->RowCells(r));
    int cut = 0;
    {
        BusyCursor busy;
        // A long list goes on over further sheets, each starting with the header row.
        QVector<SheetData> sheets = SplitIntoSheets(g->RowCells(0), rows, QStringLiteral("Sheet1"));
        // A location may be longer than a cell of the file holds; the day is exported all the
        // same, with such texts cut, and the message says how many.
        cut = CutToCellLimit(sheets);
        WriteWorkbook(path, sheets);
    }
    QString message = QStringLiteral("成功导出 %1 条数据!").arg(rows.size());
    if (cut > 0) {
        message += QStringLiteral("（%1 个单元格的文字超过 %2 个字符，已截断为 %2 个字符）")
                       .arg(cut)
                       .arg(workbooklimits::kMaxCellChars);
    }
    ShowMessage(this, message);
}

void TFalm::RzBitBtn7Click() {
    close();
}

void TFalm::RzStringGrid1Resize() {
    TStringGrid* g = RzStringGrid1;
    if (g->ColCount() < kColumns) return;
    g->SetColWidth(
        4, g->width() - g->ColWidth(0) - g->ColWidth(1) - g->ColWidth(2) - g->ColWidth(3) - 8);
}

void TFalm::done(int result) {
    QDialog::done(result);
    main_.RestartCountdown();
}
