// The station speaks Chinese whatever the system's locale: every standard button, dialog,
// context menu and calendar the operator meets is walked as the operator meets it, and any
// text of Latin letters the station did not put there itself fails the test.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>

#include "ChineseInterface.h"
#include "FileDialogDriver.h"
#include "MessageBoxes.h"
#include "StationError.h"
#include "StationFixture.h"
#include "TestSupport.h"
#include "XlsFileDialog.h"

namespace {

class ChineseEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { loaded = SetUpChineseInterface(*qApp); }
    bool loaded = false;
};
ChineseEnvironment* const environment =
    static_cast<ChineseEnvironment*>(::testing::AddGlobalTestEnvironment(new ChineseEnvironment));

// Latin words the station itself puts into its Chinese texts ("设备ID:", "EXCEL数据表", the
// filter "Excel 97-2003 (*.xls)"); the format keeps its name in Chinese ("Excel 电子表格").
const QStringList kStationsOwn = {QStringLiteral("ID"), QStringLiteral("EXCEL"),
                                  QStringLiteral("Excel 97-2003"), QStringLiteral("Excel")};

// What is left of a text once the parts the station writes itself are taken out: mnemonic
// markers ("保存(&S)", in tool tips "保存(S)"), shortcut keys of menu entries ("\tCtrl+V"), file
// name patterns of its filters ("(*.xls)"), and texts it names.
QString Foreign(QString text, const QStringList& own) {
    for (const QString& o : own + kStationsOwn) text.remove(o);
    text.remove(QRegularExpression(QStringLiteral("\t.*$")));
    text.remove(QRegularExpression(QStringLiteral("\\(&?[A-Za-z]\\)")));
    text.remove(QRegularExpression(QStringLiteral("\\*\\.[A-Za-z0-9]+")));
    text.remove(QLatin1Char('&'));
    return text.contains(QRegularExpression(QStringLiteral("[A-Za-z]"))) ? text : QString();
}

// Every text a widget and its children show the operator: captions, labels, buttons, group
// titles, tool tips, combo entries, item view headers and menu entries. Views of the file
// system (names of folders and files) are skipped: those texts are the operator's.
QStringList ShownTexts(QWidget* top) {
    QStringList out;
    QList<QWidget*> widgets = top->findChildren<QWidget*>();
    widgets.prepend(top);
    for (QWidget* w : widgets) {
        const QString name = w->objectName();
        if (name == "lookInCombo" || name == "sidebar" || name == "listView" ||
            name == "treeView" || name == "fileNameEdit")
            continue;
        if (w->isWindow()) out << w->windowTitle();
        out << w->toolTip();
        if (auto* b = qobject_cast<QAbstractButton*>(w)) out << b->text();
        if (auto* l = qobject_cast<QLabel*>(w)) out << l->text();
        if (auto* g = qobject_cast<QGroupBox*>(w)) out << g->title();
        if (auto* e = qobject_cast<QLineEdit*>(w)) out << e->placeholderText();
        if (auto* c = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < c->count(); ++i) out << c->itemText(i);
        if (auto* v = qobject_cast<QAbstractItemView*>(w); v && v->model()) {
            for (int c = 0; c < v->model()->columnCount(); ++c)
                out << v->model()->headerData(c, Qt::Horizontal).toString();
        }
        if (auto* m = qobject_cast<QMenu*>(w))
            for (QAction* a : m->actions()) out << a->text();
        for (QAction* a : w->actions()) out << a->text() << a->toolTip();
    }
    out.removeAll(QString());
    return out;
}

QStringList ForeignTexts(QWidget* top, const QStringList& own = {}) {
    QStringList bad;
    for (const QString& t : ShownTexts(top)) {
        const QString f = Foreign(t, own);
        if (!f.isEmpty()) bad << (top->metaObject()->className() + QStringLiteral(": ") + t);
    }
    return bad;
}

// Inspects every window of a given kind that comes up modally, then dismisses it.
class ModalInspector {
  public:
    ModalInspector(std::function<bool(QWidget*)> isOne, std::function<void(QWidget*)> inspect)
        : isOne_(std::move(isOne)), inspect_(std::move(inspect)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start(20);
    }
    int Seen() const { return seen_; }

  private:
    void Poll() {
        QWidget* w = QApplication::activePopupWidget();
        if (!w || !isOne_(w)) w = QApplication::activeModalWidget();
        if (!w || !isOne_(w) || w->property("inspected").toBool()) return;
        w->setProperty("inspected", true);
        ++seen_;
        inspect_(w);
    }
    std::function<bool(QWidget*)> isOne_;
    std::function<void(QWidget*)> inspect_;
    QTimer timer_;
    int seen_ = 0;
};

// Records the foreign texts of each message box that comes up, answers it with No where it
// has one (so that nothing is closed or deleted), else with its default button.
struct BoxWalk {
    QStringList bad;
    QStringList own;
    QStringList buttons;
    ModalInspector inspector{[](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
                             [this](QWidget* w) {
                                 auto* box = static_cast<QMessageBox*>(w);
                                 bad << ForeignTexts(box, own);
                                 for (QAbstractButton* b : box->buttons()) buttons << b->text();
                                 QAbstractButton* answer = box->button(QMessageBox::No);
                                 if (!answer) answer = box->defaultButton();
                                 if (!answer) answer = box->buttons().value(0);
                                 QTimer::singleShot(0, answer, [answer] { answer->click(); });
                             }};
};

// Opens the context menu of a field as a right click does, returns its entries' foreign
// texts and the entries themselves.
QStringList ContextMenuForeign(QWidget* field, QStringList* entries) {
    QStringList bad;
    ModalInspector menus([](QWidget* w) { return qobject_cast<QMenu*>(w) != nullptr; },
                         [&](QWidget* w) {
                             bad << ForeignTexts(w);
                             for (QAction* a : static_cast<QMenu*>(w)->actions())
                                 if (!a->isSeparator()) *entries << a->text().section('\t', 0, 0);
                             QTimer::singleShot(0, w, [w] { w->close(); });
                         });
    const QPoint at = field->rect().center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, field->mapToGlobal(at));
    QTimer::singleShot(0, field, [field, &event] { QApplication::sendEvent(field, &event); });
    testsupport::WaitFor([&] { return menus.Seen() > 0 && !QApplication::activePopupWidget(); });
    return bad;
}

}  // namespace

TEST(ChineseInterface, TheToolkitsChineseCatalogueIsInstalledAndLoaded) {
    EXPECT_TRUE(environment->loaded);
    EXPECT_EQ(QLocale().language(), QLocale::Chinese);
    EXPECT_EQ(QLocale().territory(), QLocale::China);
}

TEST(ChineseInterface, WindowsMessageBoxesAndContextMenusShowNoEnglish) {
    StationFolder folder;
    folder.AddSensors({{1, "28A001 ", "冷库 ", -5, -25}});
    Station s(folder);
    QStringList bad;
    for (QWidget* w : std::initializer_list<QWidget*>{s.Fmain.get(), s.Fset, s.Fset2, s.Falm})
        bad << ForeignTexts(w);

    BoxWalk boxes;
    // The three kinds of box: a message, a question and the error box. The error box keeps
    // the fixed English text of a failed conversion, but its caption and button are Chinese.
    const QString conversion = QStringLiteral("'abc' is not a valid integer value");
    boxes.own << conversion;
    ShowMessage(s.Fmain.get(), QStringLiteral("未找到通信口"));
    ConfirmYesNo(s.Fmain.get(), QStringLiteral("确定要关闭窗口吗?"));
    RunHandler([&] { throw ConvertError(conversion); });
    // Closing the main window asks first (answered No: the station stays).
    s.Fmain->close();
    ASSERT_TRUE(testsupport::WaitFor([&] { return boxes.inspector.Seen() == 4; }));
    EXPECT_TRUE(s.Fmain->isVisible());
    bad << boxes.bad;
    EXPECT_TRUE(boxes.buttons.contains(QStringLiteral("确定")))
        << boxes.buttons.join('|').toStdString();
    EXPECT_TRUE(boxes.buttons.contains(QStringLiteral("是(&Y)")))
        << boxes.buttons.join('|').toStdString();
    EXPECT_TRUE(boxes.buttons.contains(QStringLiteral("否(&N)")))
        << boxes.buttons.join('|').toStdString();

    // The edit fields' context menus: a text field, a spin field and the file-name field.
    QStringList entries;
    bad << ContextMenuForeign(s.Fset2->RzEdit1, &entries);
    bad << ContextMenuForeign(s.Fset2->RzSpinEdit1, &entries);
    bad << ContextMenuForeign(s.Fset2->sFilenameEdit1, &entries);
    EXPECT_GE(entries.size(), 15) << entries.join('|').toStdString();
    EXPECT_TRUE(entries.contains(QStringLiteral("粘贴(&P)"))) << entries.join('|').toStdString();
    EXPECT_TRUE(entries.contains(QStringLiteral("升高(&S)"))) << entries.join('|').toStdString();

    EXPECT_TRUE(bad.isEmpty()) << bad.join("\n").toStdString();
}

TEST(ChineseInterface, FileDialogsAndTheirFileNotFoundBoxAreChinese) {
    StationFolder folder;
    Station s(folder);
    QStringList bad;
    QStringList seenTitles;
    // Waits until the dialog has filled its views, records it, then answers: the open dialog
    // is given a file that does not exist, which brings up its own box, then cancelled.
    BoxWalk boxes;
    boxes.own << QStringLiteral("不存在.xls");  // the name the operator typed
    ModalInspector dialogs(
        [](QWidget* w) { return qobject_cast<QFileDialog*>(w) != nullptr; },
        [&](QWidget* w) {
            auto* d = static_cast<QFileDialog*>(w);
            seenTitles << d->windowTitle();
            bad << ForeignTexts(d);
            // The kind of each entry the dialog lists (a folder, a workbook) is the toolkit's.
            auto* view = d->findChild<QAbstractItemView*>(QStringLiteral("treeView"));
            ASSERT_NE(view, nullptr);
            QAbstractItemModel* m = view->model();
            const QStringList ours = {QStringLiteral("备份"), QStringLiteral("记录.xls")};
            auto listedRows = [&] {
                QList<int> rows;
                for (int r = 0; r < m->rowCount(view->rootIndex()); ++r)
                    if (ours.contains(m->index(r, 0, view->rootIndex()).data().toString()))
                        rows << r;
                return rows;
            };
            if (QDir(d->directory()) == QDir(folder.Path()))
                testsupport::WaitFor([&] { return listedRows().size() == 2; }, 1500);
            int listed = 0;
            for (int r : listedRows()) {
                const QString name = m->index(r, 0, view->rootIndex()).data().toString();
                ++listed;
                // Size and kind; the time of change is written in the system's own locale.
                for (int c = 1; c < qMin(3, m->columnCount(view->rootIndex())); ++c) {
                    const QString t = m->index(r, c, view->rootIndex()).data().toString();
                    if (!Foreign(t, {QStringLiteral("KB"), QStringLiteral("bytes")}).isEmpty())
                        bad << QStringLiteral("QFileDialog: ") + name + QStringLiteral(": ") + t;
                }
            }
            if (QDir(d->directory()) == QDir(folder.Path())) {
                // The sound dialog does not list workbooks.
                EXPECT_EQ(listed,
                          d->nameFilters().join(' ').contains(QStringLiteral("*.xls")) ? 2 : 1);
            }
            if (d->acceptMode() == QFileDialog::AcceptOpen) {
                auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                name->setText(folder.Path() + QStringLiteral("不存在.xls"));
                QTimer::singleShot(0, d, [d] { QMetaObject::invokeMethod(d, "accept"); });
                QTimer::singleShot(1500, d, [d] { d->reject(); });
            } else {
                QTimer::singleShot(0, d, [d] { d->reject(); });
            }
        });
    // The dialogs open on the working folder: a folder and a workbook in it.
    ASSERT_TRUE(QDir(folder.Path()).mkdir(QStringLiteral("备份")));
    QFile workbook(folder.Path() + QStringLiteral("记录.xls"));
    ASSERT_TRUE(workbook.open(QIODevice::WriteOnly));
    workbook.write(QByteArray(600, '\0'));
    workbook.close();
    const QString oldCurrent = QDir::currentPath();
    QDir::setCurrent(folder.Path());
    EXPECT_TRUE(xlsfiledialog::AskSavePath(s.Fset, QStringLiteral("配置表单备份")).isEmpty());
    EXPECT_TRUE(xlsfiledialog::AskOpenPath(s.Fset).isEmpty());
    s.Fset2->sFilenameEdit1->Browse();
    QDir::setCurrent(oldCurrent);
    EXPECT_EQ(dialogs.Seen(), 3);
    EXPECT_EQ(seenTitles.value(0), QStringLiteral("另存为"));
    EXPECT_EQ(seenTitles.value(1), QStringLiteral("打开"));
    // The file dialog's own "file not found" box came up, in Chinese.
    EXPECT_GE(boxes.inspector.Seen(), 1);
    bad << boxes.bad;
    EXPECT_TRUE(bad.isEmpty()) << bad.join("\n").toStdString();
}

TEST(ChineseInterface, TheDateEditsCalendarNamesMonthsAndDaysInChinese) {
    StationFolder folder;
    Station s(folder);
    QDateEdit* edit = s.Falm->DateEdit1;
    edit->setDate(QDate(2024, 12, 9));
    EXPECT_EQ(edit->locale().language(), QLocale::Chinese);
    QCalendarWidget* calendar = edit->calendarWidget();
    ASSERT_NE(calendar, nullptr);
    calendar->setSelectedDate(QDate(2024, 12, 9));
    calendar->show();
    QStringList texts = ShownTexts(calendar);
    // The day names of the calendar's first row are items of its table.
    auto* table = calendar->findChild<QAbstractItemView*>();
    ASSERT_NE(table, nullptr);
    for (int c = 0; c < table->model()->columnCount(); ++c)
        texts << table->model()->data(table->model()->index(0, c)).toString();
    EXPECT_TRUE(texts.contains(QStringLiteral("十二月"))) << texts.join('|').toStdString();
    EXPECT_TRUE(texts.contains(QStringLiteral("周一"))) << texts.join('|').toStdString();
    QStringList bad;
    for (const QString& t : texts)
        if (!Foreign(t, {}).isEmpty()) bad << t;
    EXPECT_TRUE(bad.isEmpty()) << bad.join('|').toStdString();
    calendar->hide();
}
