// The window as the operator first sees it: every object of the form with its
// name, class, parent, place, size limits, font, fixed properties and texts;
// the menus; the history table's columns; the slots bound by name.

#include "historytablemodel.h"
#include "mainwindow.h"
#include "support/testsettings.h"

#include <QAction>
#include <QDateEdit>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMetaMethod>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTest>

#include <iterator>
#include <memory>

namespace {

// Place of an item in its layout: grid cell and spans, or box index.
struct Place
{
    const char *layout;
    int row, column, rowSpan, columnSpan;
};

} // namespace

class TestMainWindowLayout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void objectsInCreationOrder();
    void placesInLayouts_data();
    void placesInLayouts();
    void layoutSettings();
    void fonts();
    void sizeLimitsAndPolicies_data();
    void sizeLimitsAndPolicies();
    void lineEdits_data();
    void lineEdits();
    void clocksAndDate();
    void texts_data();
    void texts();
    void menus();
    void windowAndMenuBar();
    void historyTableAtStart();
    void slotsBoundByName();

private:
    std::unique_ptr<MainWindow> window;

    template <typename T = QObject> T *find(const char *name) const
    {
        T *object = window->findChild<T *>(QLatin1String(name));
        if (!object)
            qFatal("no object %s", name);
        return object;
    }
    QLayout *layout(const char *name) const { return find<QLayout>(name); }
};

void TestMainWindowLayout::initTestCase()
{
    // The offscreen platform's default font is already 12 pt: a smaller one
    // makes the form's own 12 pt fonts tell.
    QFont base = QApplication::font();
    base.setPointSize(9);
    QApplication::setFont(base);
}

void TestMainWindowLayout::init()
{
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestMainWindowLayout::cleanup()
{
    window.reset();
}

void TestMainWindowLayout::objectsInCreationOrder()
{
    // Children keep the order of creation, which is also the focus order.
    struct Expected
    {
        const char *name;
        const char *className;
    };
    const Expected windowChildren[] = {
        {"menuExit", "QAction"},        {"menuConnect", "QAction"},
        {"menuReadHistory", "QAction"}, {"menuHelp", "QAction"},
        {"menuSaveHistory", "QAction"}, {"menuPrintHistory", "QAction"},
        {"menuPlotHistory", "QAction"}, {"menuSaveDump", "QAction"},
        {"menuOpenDump", "QAction"},    {"centralwidget", "QWidget"},
        {"menubar", "QMenuBar"},
    };
    QStringList names;
    for (QObject *child : window->children())
        if (!child->objectName().isEmpty() && child->objectName() != QLatin1String("MainWindow"))
            names << child->objectName();
    QStringList expectedNames;
    for (const Expected &e : windowChildren) {
        expectedNames << QLatin1String(e.name);
        QObject *object = find(e.name);
        QCOMPARE(object->metaObject()->className(), e.className);
        QCOMPARE(object->parent(), window.get());
    }
    // The toolkit adds its own objects (the status bar, layouts); ours keep their order.
    QStringList ours;
    for (const QString &n : names)
        if (expectedNames.contains(n))
            ours << n;
    QCOMPARE(ours, expectedNames);

    const Expected centralChildren[] = {
        {"gridLayout_4", "QGridLayout"},
        {"lblSN", "QLabel"},
        {"label", "QLabel"},
        {"dateControl", "QDateEdit"},
        {"label_3", "QLabel"},
        {"label_4", "QLabel"},
        {"dtDevice", "QDateTimeEdit"},
        {"label_5", "QLabel"},
        {"dtPC", "QDateTimeEdit"},
        {"btnSync", "QPushButton"},
        {"btnSaveSn", "QPushButton"},
        {"edtSn", "QLineEdit"},
        {"btnSaveSg", "QPushButton"},
        {"edtSg", "QLineEdit"},
        {"btnSaveMED", "QPushButton"},
        {"edtMED", "QLineEdit"},
        {"label_6", "QLabel"},
        {"edtThist", "QLineEdit"},
        {"label_2", "QLabel"},
        {"btnSaveThist", "QPushButton"},
        {"lblHistoryPage", "QLabel"},
        {"tableView", "QTableView"},
    };
    QWidget *central = find<QWidget>("centralwidget");
    QCOMPARE(window->centralWidget(), central);
    QStringList centralNames;
    for (QObject *child : central->children())
        if (!child->objectName().isEmpty())
            centralNames << child->objectName();
    expectedNames.clear();
    for (const Expected &e : centralChildren) {
        expectedNames << QLatin1String(e.name);
        QObject *object = find(e.name);
        QCOMPARE(object->metaObject()->className(), e.className);
        QCOMPARE(object->parent(), central);
    }
    QCOMPARE(centralNames, expectedNames);
    QCOMPARE(central->layout(), layout("gridLayout_4"));

    // The inner layouts belong to the central grid.
    for (const char *inner : {"horizontalLayout", "gridLayout", "gridLayout_2", "gridLayout_3"})
        QCOMPARE(layout(inner)->parent(), layout("gridLayout_4"));
    QCOMPARE(layout("horizontalLayout")->metaObject()->className(), "QHBoxLayout");
    for (const char *grid : {"gridLayout", "gridLayout_2", "gridLayout_3"})
        QCOMPARE(layout(grid)->metaObject()->className(), "QGridLayout");

    QMenuBar *bar = find<QMenuBar>("menubar");
    QCOMPARE(window->menuBar(), bar);
    for (const char *menu : {"menu", "menu_2", "menu_4", "menu_3"}) {
        QCOMPARE(find(menu)->metaObject()->className(), "QMenu");
        QCOMPARE(find(menu)->parent(), bar);
    }
}

void TestMainWindowLayout::placesInLayouts_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("grid");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("rowSpan");
    QTest::addColumn<int>("columnSpan");
    const struct
    {
        const char *item;
        Place place;
    } places[] = {
        {"lblSN", {"gridLayout_4", 0, 0, 1, 1}},
        {"horizontalLayout", {"gridLayout_4", 0, 2, 1, 1}},
        {"gridLayout", {"gridLayout_4", 1, 0, 1, 1}},
        {"gridLayout_2", {"gridLayout_4", 1, 1, 1, 2}},
        {"gridLayout_3", {"gridLayout_4", 2, 0, 1, 3}},
        {"tableView", {"gridLayout_4", 3, 0, 1, 3}},
        {"lblHistoryPage", {"gridLayout_4", 4, 0, 1, 1}},
        {"label_3", {"gridLayout", 0, 0, 1, 2}},
        {"label_4", {"gridLayout", 1, 0, 1, 1}},
        {"dtDevice", {"gridLayout", 1, 1, 1, 1}},
        {"label_5", {"gridLayout", 2, 0, 1, 1}},
        {"dtPC", {"gridLayout", 2, 1, 1, 1}},
        {"btnSync", {"gridLayout", 3, 0, 1, 2}},
        {"label_6", {"gridLayout_2", 0, 0, 1, 1}},
        {"btnSaveSn", {"gridLayout_2", 1, 0, 1, 1}},
        {"edtSn", {"gridLayout_2", 1, 1, 1, 1}},
        {"btnSaveSg", {"gridLayout_2", 2, 0, 1, 1}},
        {"edtSg", {"gridLayout_2", 2, 1, 1, 1}},
        {"btnSaveMED", {"gridLayout_2", 3, 0, 1, 1}},
        {"edtMED", {"gridLayout_2", 3, 1, 1, 1}},
        {"label_2", {"gridLayout_3", 1, 0, 1, 1}},
        {"btnSaveThist", {"gridLayout_3", 1, 1, 1, 1}},
        {"edtThist", {"gridLayout_3", 1, 2, 1, 1}},
    };
    for (const auto &p : places)
        QTest::newRow(p.item) << p.item << p.place.layout << p.place.row << p.place.column
                              << p.place.rowSpan << p.place.columnSpan;
}

void TestMainWindowLayout::placesInLayouts()
{
    QFETCH(QString, item);
    QFETCH(QString, grid);
    auto *layout = window->findChild<QGridLayout *>(grid);
    QVERIFY(layout);
    int index = -1;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *entry = layout->itemAt(i);
        const QObject *object = entry->widget() ? static_cast<QObject *>(entry->widget())
                                                : static_cast<QObject *>(entry->layout());
        if (object && object->objectName() == item)
            index = i;
    }
    QVERIFY2(index >= 0, qPrintable(item));
    int row = -1, column = -1, rowSpan = -1, columnSpan = -1;
    layout->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
    QTEST(row, "row");
    QTEST(column, "column");
    QTEST(rowSpan, "rowSpan");
    QTEST(columnSpan, "columnSpan");
    // No item of any grid is aligned within its cell.
    QCOMPARE(layout->itemAt(index)->alignment(), Qt::Alignment());
}

void TestMainWindowLayout::layoutSettings()
{
    auto *grid = window->findChild<QGridLayout *>(QStringLiteral("gridLayout_4"));
    QCOMPARE(grid->count(), 7);
    // Row 0, column 1 stays empty.
    QCOMPARE(grid->itemAtPosition(0, 1), nullptr);

    auto *box = window->findChild<QHBoxLayout *>(QStringLiteral("horizontalLayout"));
    QCOMPARE(box->spacing(), 6);
    QCOMPARE(box->count(), 2);
    QCOMPARE(box->itemAt(0)->widget(), find<QWidget>("label"));
    QCOMPARE(box->itemAt(0)->alignment(), Qt::Alignment(Qt::AlignRight));
    QCOMPARE(box->stretch(0), 0);
    QCOMPARE(box->itemAt(1)->widget(), find<QWidget>("dateControl"));
    QCOMPARE(box->itemAt(1)->alignment(), Qt::Alignment());
    QCOMPARE(box->stretch(1), 0);

    QCOMPARE(layout("gridLayout_2")->sizeConstraint(), QLayout::SetMinimumSize);
    QCOMPARE(layout("gridLayout_3")->sizeConstraint(), QLayout::SetFixedSize);
    QCOMPARE(layout("gridLayout")->sizeConstraint(), QLayout::SetDefaultConstraint);
    // Row 0 of the interval grid stays empty.
    auto *interval = window->findChild<QGridLayout *>(QStringLiteral("gridLayout_3"));
    QCOMPARE(interval->count(), 3);
    for (int c = 0; c < 3; ++c)
        QCOMPARE(interval->itemAtPosition(0, c), nullptr);

    QCOMPARE(find<QLabel>("label_3")->alignment(), Qt::Alignment(Qt::AlignCenter));
    for (const char *right : {"label_4", "label_5", "label_6"})
        QCOMPARE(find<QLabel>(right)->alignment(), Qt::AlignRight | Qt::AlignVCenter);
}

void TestMainWindowLayout::fonts()
{
    const QFont base = QApplication::font();
    const char *large[] = {"lblSN",    "label",     "dateControl", "label_3",     "label_4",
                           "dtDevice", "label_5",   "dtPC",        "btnSync",     "btnSaveSn",
                           "edtSn",    "btnSaveSg", "edtSg",       "btnSaveMED",  "edtMED",
                           "label_6",  "edtThist",  "label_2",     "btnSaveThist"};
    for (const char *name : large) {
        const QFont f = find<QWidget>(name)->font();
        QVERIFY2(f.pointSize() == 12, name);
        QVERIFY2(f.family() == base.family() && f.weight() == base.weight(), name);
        QVERIFY2(!f.bold() && f.style() == base.style(), name);
    }
    for (const char *name : {"lblHistoryPage", "tableView"})
        QCOMPARE(find<QWidget>(name)->font(), base);

    for (const char *name : {"menubar", "menu_3"}) {
        const QFont f = find<QWidget>(name)->font();
        QVERIFY2(f.pointSize() == 10 && f.bold() && f.weight() == 75, name);
    }
    for (const char *name : {"menu", "menu_2", "menu_4"}) {
        const QFont f = find<QWidget>(name)->font();
        QVERIFY2(f.pointSize() == 10 && !f.bold() && f.weight() == 50, name);
    }
}

void TestMainWindowLayout::sizeLimitsAndPolicies_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("minimum");
    QTest::addColumn<QSize>("maximum");
    QTest::addColumn<int>("horizontal");
    QTest::addColumn<int>("vertical");
    const QSize none(0, 0);
    const QSize unlimited(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    const int preferred = QSizePolicy::Preferred;
    const int expanding = QSizePolicy::Expanding;
    const int maximum = QSizePolicy::Maximum;
    const int fixed = QSizePolicy::Fixed;
    auto row = [](const char *n) -> QTestData & {
        return QTest::newRow(n) << QString::fromLatin1(n);
    };
    row("label") << none << QSize(198, 27) << preferred << preferred;
    row("dateControl") << none << QSize(198, 27) << int(QSizePolicy::Minimum) << fixed;
    row("label_3") << QSize(0, 20) << unlimited << preferred << preferred;
    row("btnSaveSn") << none << unlimited << expanding << fixed;
    row("edtSn") << QSize(10, 0) << QSize(90, QWIDGETSIZE_MAX) << maximum << fixed;
    row("btnSaveSg") << none << unlimited << expanding << fixed;
    row("edtSg") << QSize(10, 0) << QSize(90, QWIDGETSIZE_MAX) << maximum << fixed;
    row("btnSaveMED") << QSize(200, 0) << unlimited << expanding << fixed;
    row("edtMED") << QSize(10, 0) << QSize(90, QWIDGETSIZE_MAX) << expanding << fixed;
    row("label_6") << QSize(0, 27) << unlimited << preferred << preferred;
    row("edtThist") << none << QSize(60, QWIDGETSIZE_MAX) << maximum << fixed;
    row("label_2") << none << QSize(150, QWIDGETSIZE_MAX) << preferred << preferred;
    row("btnSaveThist") << none << unlimited << int(QSizePolicy::Minimum) << fixed;
}

void TestMainWindowLayout::sizeLimitsAndPolicies()
{
    QFETCH(QString, name);
    const QWidget *w = window->findChild<QWidget *>(name);
    QVERIFY(w);
    QTEST(w->minimumSize(), "minimum");
    QTEST(w->maximumSize(), "maximum");
    QTEST(int(w->sizePolicy().horizontalPolicy()), "horizontal");
    QTEST(int(w->sizePolicy().verticalPolicy()), "vertical");
    QCOMPARE(w->sizePolicy().horizontalStretch(), 0);
    QCOMPARE(w->sizePolicy().verticalStretch(), 0);
}

void TestMainWindowLayout::lineEdits_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("maxLength");
    QTest::newRow("edtSn") << "edtSn" << 5;
    QTest::newRow("edtSg") << "edtSg" << 5;
    QTest::newRow("edtMED") << "edtMED" << 10;
    QTest::newRow("edtThist") << "edtThist" << 5;
}

void TestMainWindowLayout::lineEdits()
{
    QFETCH(QString, name);
    QFETCH(int, maxLength);
    auto *edit = window->findChild<QLineEdit *>(name);
    QVERIFY(edit);
    QCOMPARE(edit->maxLength(), maxLength);
    QCOMPARE(edit->text(), QString());
    QCOMPARE(edit->validator(), nullptr);
    QCOMPARE(edit->inputMask(), QString());
    QVERIFY(edit->isEnabled() && edit->isVisible() && !edit->isReadOnly());
    // Any characters may be typed, up to the limit.
    edit->setFocus();
    QTest::keyClicks(edit, QStringLiteral("a, 1.2e-3xyz!"));
    QCOMPARE(edit->text(), QStringLiteral("a, 1.2e-3xyz!").left(maxLength));
}

void TestMainWindowLayout::clocksAndDate()
{
    for (const char *name : {"dtDevice", "dtPC"}) {
        auto *clock = find<QDateTimeEdit>(name);
        QCOMPARE(clock->displayFormat(), QStringLiteral("dd.MM.yyyy HH:mm"));
        QCOMPARE(clock->focusPolicy(), Qt::NoFocus);
        QVERIFY(clock->isReadOnly());
        QCOMPARE(clock->buttonSymbols(), QAbstractSpinBox::NoButtons);
        clock->setDateTime(QDateTime(QDate(2021, 3, 5), QTime(14, 7, 31)));
        QCOMPARE(clock->text(), QStringLiteral("05.03.2021 14:07"));
        // Keys do not change it.
        const QDateTime shown = clock->dateTime();
        QTest::keyClick(clock, Qt::Key_Up);
        QTest::keyClicks(clock, QStringLiteral("1"));
        QCOMPARE(clock->dateTime(), shown);
    }
    QVERIFY(find<QDateTimeEdit>("dtDevice")->keyboardTracking());
    QVERIFY(!find<QDateTimeEdit>("dtPC")->keyboardTracking());

    auto *date = find<QDateEdit>("dateControl");
    QVERIFY(date->calendarPopup());
    QCOMPARE(date->date(), QDate(2020, 11, 27));
    QCOMPARE(date->time(), QTime(0, 0));
    QVERIFY(!date->isReadOnly());
    // The toolkit's own format for the locale: none set by the form.
    QCOMPARE(date->displayFormat(), QDateEdit().displayFormat());
}

void TestMainWindowLayout::texts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    const char *texts[][2] = {
        {"menuExit", "Выход"},
        {"menuConnect", "Читать параметры"},
        {"menuReadHistory", "Читать историю"},
        {"menuHelp", "О программе"},
        {"menuSaveHistory", "Сохранить историю"},
        {"menuPrintHistory", "Сохранить отчет"},
        {"menuPlotHistory", "График истории"},
        {"menuSaveDump", "Сохранить дамп истории…"},
        {"menuOpenDump", "Открыть дамп истории…"},
        {"menuSyncArchive", "Синхронизировать"},
        {"menuArchiveServer", "Сервер лаборатории…"},
        {"lblSN", "SN: "},
        {"label", "Дата поверки:"},
        {"label_3", "Текущее время"},
        {"label_4", "Прибор"},
        {"label_5", "ПК"},
        {"btnSync", "Синхронизировать"},
        {"btnSaveSn", "Нейтронный канал"},
        {"btnSaveSg", "Гамма канал"},
        {"btnSaveMED", "Порог МЭД, Зв/ч"},
        {"label_6", "Количество сигм"},
        {"label_2", "История"},
        {"btnSaveThist", "Интервал записи истории, мин"},
        {"lblHistoryPage", "Считанных страниц:"},
        {"menu", "Файл"},
        {"menu_2", "Прибор"},
        {"menu_4", "Вид"},
        {"menu_3", "Помощь"},
    };
    for (const auto &t : texts)
        QTest::newRow(t[0]) << QString::fromLatin1(t[0]) << QString::fromUtf8(t[1]);
}

void TestMainWindowLayout::texts()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QObject *object = window->findChild<QObject *>(name);
    QVERIFY(object);
    if (auto *action = qobject_cast<QAction *>(object)) {
        QCOMPARE(action->text(), text);
        QVERIFY(action->shortcut().isEmpty());
        QVERIFY(action->icon().isNull());
        QVERIFY(!action->isCheckable());
        QVERIFY(action->isEnabled());
    } else if (auto *menu = qobject_cast<QMenu *>(object)) {
        QCOMPARE(menu->title(), text);
    } else if (auto *label = qobject_cast<QLabel *>(object)) {
        QCOMPARE(label->text(), text);
    } else {
        auto *button = qobject_cast<QPushButton *>(object);
        QVERIFY(button);
        QCOMPARE(button->text(), text);
        QVERIFY(button->isEnabled() && button->isVisible());
    }
}

void TestMainWindowLayout::menus()
{
    auto entries = [this](const char *menu) {
        QStringList out;
        for (QAction *a : find<QMenu>(menu)->actions())
            out << (a->isSeparator() ? QStringLiteral("-") : a->objectName());
        return out;
    };
    QCOMPARE(entries("menu"), (QStringList{"menuSaveHistory", "menuPrintHistory", "-",
                                           "menuSaveDump", "menuOpenDump", "-", "menuExit"}));
#ifndef Q_OS_WIN
    // «Подключение USB…»: the setting of a pager on USB, Linux only.
    QCOMPARE(entries("menu_2"), (QStringList{"menuConnect", "-", "menuReadHistory",
                                             "menuSetClockBeyond", "-", "menuUsbSettings"}));
#else
    QCOMPARE(entries("menu_2"),
             (QStringList{"menuConnect", "-", "menuReadHistory", "menuSetClockBeyond"}));
#endif
    QCOMPARE(entries("menu_4"), QStringList{"menuPlotHistory"});
    QCOMPARE(entries("menu_3"), QStringList{"menuHelp"});
    QCOMPARE(entries("menu_5"),
             (QStringList{"menuArchive", "-", "menuSyncArchive", "menuArchiveServer"}));

    // «Вид» and «Архив» stand between «Прибор» and «Помощь».
    const QList<QAction *> top = find<QMenuBar>("menubar")->actions();
    QCOMPARE(top.size(), 5);
    QCOMPARE(top.at(0), find<QMenu>("menu")->menuAction());
    QCOMPARE(top.at(1), find<QMenu>("menu_2")->menuAction());
    QCOMPARE(top.at(2), find<QMenu>("menu_4")->menuAction());
    QCOMPARE(top.at(3), find<QMenu>("menu_5")->menuAction());
    QCOMPARE(top.at(4), find<QMenu>("menu_3")->menuAction());
}

void TestMainWindowLayout::windowAndMenuBar()
{
    QCOMPARE(window->objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window->windowTitle(), QStringLiteral("DR7326G-05A Обработка данных"));
    QCOMPARE(window->size(), QSize(727, 555));
    const QIcon icon = window->windowIcon();
    QVERIFY(!icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    for (const QSize s : {QSize(16, 16), QSize(32, 32), QSize(48, 48), QSize(256, 256)})
        QVERIFY2(sizes.contains(s), qPrintable(QStringLiteral("%1 px").arg(s.width())));

    // Only the menu bar is grey.
    QCOMPARE(find<QMenuBar>("menubar")->styleSheet(), QStringLiteral("background-color:#d8d8d8;"));
    QCOMPARE(window->styleSheet(), QString());
    QCOMPARE(find<QWidget>("centralwidget")->styleSheet(), QString());
    QCOMPARE(qApp->styleSheet(), QString());

    // The outcome of every action is told here.
    QVERIFY(window->findChild<QStatusBar *>());
}

void TestMainWindowLayout::historyTableAtStart()
{
    auto *view = find<QTableView>("tableView");
    auto *model = qobject_cast<HistoryTableModel *>(view->model());
    QVERIFY(model);
    QCOMPARE(model->rowCount(), 0);
    QStringList labels;
    for (int c = 0; c < model->columnCount(); ++c)
        labels << model->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(labels, (QStringList{"Дата", "Событие", "CPS гамма (имп/с)", "CPS нейтроны (имп/с)",
                                  "МЭД (Зв/ч)", "ЭД (Зв)"}));
    QHeaderView *header = view->horizontalHeader();
    QVERIFY(header->stretchLastSection());
    for (int c = 0; c < 6; ++c)
        QCOMPARE(header->sectionResizeMode(c), QHeaderView::Stretch);
    // Together the columns fill the view's width.
    int width = 0;
    for (int c = 0; c < 6; ++c)
        width += header->sectionSize(c);
    QCOMPARE(width, view->viewport()->width());

    // Cells cannot be edited.
    QCOMPARE(view->editTriggers(), QAbstractItemView::NoEditTriggers);
    HistoryRecord record;
    record.eventCode = 'F';
    window->fillHistoryTable({&record});
    const QRect cell = view->visualRect(model->index(0, 1));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    QVERIFY(!view->indexWidget(model->index(0, 1)));
    QVERIFY(!view->findChild<QLineEdit *>());
}

void TestMainWindowLayout::slotsBoundByName()
{
    QCOMPARE(mainWindowInstance, window.get());
    const QMetaObject *meta = window->metaObject();
    QCOMPARE(meta->className(), "MainWindow");
    // clang-format off
    const char *expected[] = {
        "on_menuExit_triggered()",        "on_menuConnect_triggered()",
        "on_menuReadHistory_triggered()", "on_menuHelp_triggered()",
        "on_menuSaveHistory_triggered()", "on_menuPrintHistory_triggered()",
        "on_btnSync_clicked()",           "on_btnSaveSn_clicked()",
        "on_btnSaveSg_clicked()",         "on_btnSaveMED_clicked()",
        "on_btnSaveThist_clicked()",      "on_menuPlotHistory_triggered()",
        "on_menuSaveDump_triggered()",    "on_menuOpenDump_triggered()",
        "on_menuArchive_triggered()",     "on_menuSyncArchive_triggered()",
        "on_menuArchiveServer_triggered()",
        "on_edtSn_returnPressed()",       "on_edtSg_returnPressed()",
        "on_edtMED_returnPressed()",      "on_edtThist_returnPressed()",
        "on_dateControl_dateChanged(QDate)",
        "on_dateControl_editingFinished()",
    };
    // clang-format on
    const int count = int(std::size(expected));
    QCOMPARE(meta->methodCount() - meta->methodOffset(), count);
    for (int i = 0; i < count; ++i) {
        const QMetaMethod m = meta->method(meta->methodOffset() + i);
        QCOMPARE(m.methodSignature(), QByteArray(expected[i]));
        QCOMPARE(m.methodType(), QMetaMethod::Slot);
        QCOMPARE(m.access(), QMetaMethod::Private);
    }
    QCOMPARE(meta->propertyCount(), meta->propertyOffset());
    // Triggering each action and clicking each button is the actions test's part.
}

QTEST_MAIN(TestMainWindowLayout)
#include "tst_mainwindow_layout.moc"
