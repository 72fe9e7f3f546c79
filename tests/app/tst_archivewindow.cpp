// The window and the archive: every download, parameter read and setting
// change stored, an unusable archive told and worked around; the archive
// window showing a pager's period from its first row (its model is tested
// with the archive, tst_archive).
#include "archiverecordmodel.h"
#include "archivewindow.h"
#include "labserver.h"
#include "mainwindow.h"
#include "support/dumpfixture.h"
#include "support/testsettings.h"
#include "wearerswindow.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStatusBar>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

class TestArchiveWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    FakePager pager;

    QString status(MainWindow &w) const
    {
        QStringList texts;
        for (const QLabel *label : w.statusBar()->findChildren<QLabel *>())
            texts << label->toolTip() << label->text();
        return texts.join('\n');
    }

private slots:
    void initTestCase()
    {
        // A desktop's font, not the offscreen platform's 12 pt.
        QFont base = QApplication::font();
        base.setPointSize(9);
        QApplication::setFont(base);
    }

    void init()
    {
        pager = FakePager();
        pager.plugIn();
    }

    void pagerChosenShowsItsLastRecords_data();
    void pagerChosenShowsItsLastRecords();
    void windowStoresEveryEvent();
    void unusableArchiveTold();
    void unreachableServerToldOnce();
    void wearersWindow();
};

void TestArchiveWindow::pagerChosenShowsItsLastRecords_data()
{
    QTest::addColumn<QList<int>>("minutes"); // the pager's records; none: its parameters read
    QTest::addColumn<int>("shown");
    QTest::addColumn<QString>("offered"); // the period's CSV name
    const int day = 24 * 60;
    QTest::newRow("read long ago")
        << QList<int>{720, 721, 725} << 3 << "История_05A00317_1998-12-02_1999-01-01.csv";
    QTest::newRow("the 30 days up to the last")
        << QList<int>{720, 720 + 40 * day, 721 + 40 * day} << 2
        << "История_05A00317_1999-01-11_1999-02-10.csv";
    QTest::newRow("no records: period kept")
        << QList<int>{} << 0 << "История_05A00317_2020-05-01_2020-05-31.csv";
}

void TestArchiveWindow::pagerChosenShowsItsLastRecords()
{
    QFETCH(QList<int>, minutes);
    Archive archive;
    QVERIFY(archive.open(dir.filePath(QString("chosen%1.sqlite").arg(minutes.size())), nullptr));
    QVERIFY(archive.importDump(historyDumpOf("05A00999", {720})).ok);
    QVERIFY(minutes.isEmpty()
                ? archive.storeParameterRead({"05A00317", {{setting::gammaSigma, "3"}}}, nullptr)
                : archive.importDump(historyDumpOf("05A00317", minutes)).ok);
    ArchiveWindow browser(&archive, [](const QString &) { return QDate(); });
    QVERIFY(browser.choosePager("05A00999"));
    browser.setPeriod(QDate(2020, 5, 1), QDate(2020, 5, 31));
    QVERIFY(browser.choosePager("05A00317"));
    QTEST(browser.recordModel()->rowCount(), "shown");
    // None current; Ctrl+End goes to the last row all the same; scrolled
    // down and shown again, the period opens at its first row, none current.
    auto *view = browser.findChild<QTableView *>("tableRecords");
    QVERIFY(!view->currentIndex().isValid());
    QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(view->currentIndex().row(), browser.recordModel()->rowCount() - 1);
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
    browser.findChild<QPushButton *>("btnShowPeriod")->click();
    QCOMPARE(view->verticalScrollBar()->value(), 0);
    QVERIFY(!view->currentIndex().isValid());
    QTEST(browser.offeredPeriodName(SavedFile::History), "offered");
}

void TestArchiveWindow::windowStoresEveryEvent()
{
    MainWindow window;
    window.openArchive(dir.filePath("window.sqlite"));
    window.findChild<QAction *>("menuConnect")->trigger();
    pager.refuseWrites = true;
    window.findChild<QLineEdit *>("edtSg")->setText("4");
    window.findChild<QPushButton *>("btnSaveSg")->click();
    pager.pages = historyDumpOf(pager.serial, {30, 31, 35}).pages;
    window.findChild<QAction *>("menuReadHistory")->trigger();
    QVERIFY2(status(window).contains("В архиве новых: 3."), qPrintable(status(window)));

    window.findChild<QAction *>("menuArchive")->trigger();
    ArchiveWindow *browser = window.archiveBrowser();
    QVERIFY(browser && browser->isVisible());
    browser->setPeriod(QDate(1999, 1, 1), QDate::currentDate());
    QVERIFY2(browser->summaryText().contains("3 записи"), qPrintable(browser->summaryText()));
    QCOMPARE(browser->recordModel()->rowCount(), 3); // shown at once, not on the next scroll
    QVERIFY(browser->savePeriodPdf(dir.filePath("period.pdf")));
    // Another pager chosen meanwhile: the log saved is the one asked for.
    Archive other;
    QVERIFY(other.open(dir.filePath("window.sqlite"), nullptr));
    QVERIFY(other.importDump(historyDumpOf("05A00999", {40})).ok);
    browser->reload();
    QVERIFY(browser->choosePager("05A00999"));
    QVERIFY(browser->saveSettingsLogCsv(pager.serial, dir.filePath("log.csv")));
    // The settings log as stored: the refused change, and the five values read.
    const QString csv = QString::fromUtf8(fileBytes(dir.filePath("log.csv")));
    QVERIFY2(csv.contains("\"Гамма канал, сигм\";\"3\";\"4\";\"отклонено\""), qPrintable(csv));
    QCOMPARE(csv.count("\"прочитано\"\n"), 5);
    QVERIFY2(csv.startsWith("\xEF\xBB\xBF\"Время\";\"Пользователь\";\"ПК\";") &&
                 csv.contains("\";\"" + archivePcName() + "\";\"" + pager.serial + "\";"),
             qPrintable(csv));

    // The log dialog at its default size: every column, the PC among them,
    // shows its texts whole (no time of day nor setting's name cut).
    QVERIFY(browser->choosePager(pager.serial));
    browser->findChild<QPushButton *>("btnSettingsLog")->click();
    auto *logDialog = browser->findChild<QDialog *>("dlgSettingsLog");
    QVERIFY(logDialog && QTest::qWaitForWindowExposed(logDialog));
    auto *logView = logDialog->findChild<QTableView *>("tableSettingsLog");
    const QAbstractItemView *cells = logView;
    for (int c = 0; c < logView->model()->columnCount(); ++c) {
        if (logView->isColumnHidden(c)) // the serial number, in the title
            continue;
        const int need =
            qMax(logView->horizontalHeader()->sectionSizeHint(c), cells->sizeHintForColumn(c));
        QVERIFY2(logView->columnWidth(c) >= need, qPrintable(QString::number(c)));
    }
    QCOMPARE(logView->horizontalScrollBar()->maximum(), 0); // all of them in view
    QCOMPARE(logView->model()->headerData(2, Qt::Horizontal).toString(), QString("ПК"));
    delete logDialog;

    // No file for a period without records, nor for one not read to its end.
    browser->setPeriod(QDate(1990, 1, 1), QDate(1990, 1, 2));
    QVERIFY(!browser->savePeriodCsv(dir.filePath("empty.csv")));
    QVERIFY(browser->choosePager(pager.serial));
    browser->recordModel()->setPageRows(2);
    browser->setPeriod(QDate(1999, 1, 1), QDate::currentDate());
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "spoiler");
        db.setDatabaseName(dir.filePath("window.sqlite"));
        QVERIFY(db.open() && QSqlQuery(db).exec("ALTER TABLE records RENAME TO gone"));
    }
    QSqlDatabase::removeDatabase("spoiler");
    QVERIFY(!browser->savePeriodCsv(dir.filePath("cut.csv")));
    QVERIFY(!QFile::exists(dir.filePath("empty.csv")) && !QFile::exists(dir.filePath("cut.csv")));
}

void TestArchiveWindow::unusableArchiveTold()
{
    const QString damaged = dir.filePath("damaged.sqlite");
    QVERIFY(writeFile(damaged, QByteArray(4096, 'x')));
    MainWindow window;
    window.openArchive(damaged);
    QVERIFY2(status(window).contains("файл не изменён"), qPrintable(status(window)));
    // The download goes on without it.
    pager.pages = historyDumpOf(pager.serial, {30, 31}).pages;
    window.findChild<QAction *>("menuReadHistory")->trigger();
    QVERIFY2(status(window).contains("История прочитана"), qPrintable(status(window)));
    window.findChild<QAction *>("menuArchive")->trigger();
    QVERIFY(!window.archiveBrowser());
    QCOMPARE(fileBytes(damaged), QByteArray(4096, 'x'));
}

void TestArchiveWindow::unreachableServerToldOnce()
{
    ArchiveServer closed;
    QVERIFY(ArchiveServer::parse("postgresql://127.0.0.1:1/nothing", &closed, nullptr));
    QSettings settings;
    saveServerSettings(settings, closed);
    MainWindow window;
    window.openArchive(dir.filePath("offline.sqlite"));
    const QString told = "Сервер лаборатории недоступен";
    // Each download is archived whatever the server; the failure is told once.
    for (const QList<int> &minutes : {QList<int>{30, 31}, QList<int>{32, 33}}) {
        pager.pages = historyDumpOf(pager.serial, minutes).pages;
        window.findChild<QAction *>("menuReadHistory")->trigger();
        QVERIFY2(status(window).contains("В архиве новых: 2."), qPrintable(status(window)));
        QTRY_VERIFY_WITH_TIMEOUT(!window.isSyncRunning(), 20000);
        QCOMPARE(status(window).contains(told), minutes.first() == 30);
    }
    // Asked for, the outcome is always told.
    window.findChild<QAction *>("menuSyncArchive")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!window.isSyncRunning(), 20000);
    QVERIFY2(status(window).contains(told), qPrintable(status(window)));

    // The archive window shows this PC's archive instead, and says why.
    window.findChild<QAction *>("menuArchive")->trigger();
    ArchiveWindow *browser = window.archiveBrowser();
    QSignalSpy shown(browser, &ArchiveWindow::sourceShown);
    browser->chooseSource(ArchiveWindow::Source::Server);
    QVERIFY(shown.wait(20000));
    QCOMPARE(browser->source(), ArchiveWindow::Source::Local);
    QVERIFY2(browser->messageText().contains(told) &&
                 browser->messageText().contains("Показан архив этого ПК"),
             qPrintable(browser->messageText()));
    // Russian sentences; libpq's English only as the detail after them.
    const QString sentences = browser->messageText().section("Подробно:", 0, 0);
    QVERIFY2(!sentences.contains(QRegularExpression("[A-Za-z]")), qPrintable(sentences));
    QVERIFY(browser->messageText().contains("Подробно:"));
    QVERIFY(browser->choosePager(pager.serial));
    settings.remove("server");
}

void TestArchiveWindow::wearersWindow()
{
    // «Носители…» writes to this PC's archive: a wearer, a pager given, an
    // overlapping one refused in the message line, the return of the worn
    // one (found from the row chosen), and the dose with its files.
    Archive archive;
    QVERIFY(archive.open(dir.filePath("wearers.sqlite"), nullptr));
    const auto at = [](int month, int day) {
        return QDateTime(QDate(2026, month, day), QTime(12, 0), Qt::UTC);
    };
    QVERIFY(archive
                .importDump(dumpOfRecords(
                    "05A00317",
                    {{at(1, 10), 'F', 1.0e-3f}, {at(1, 20), '1', 0.0f}, {at(1, 30), 'F', 0.4e-3f}}))
                .ok);
    ArchiveWindow window(&archive, [](const QString &) { return QDate(2026, 1, 1); });
    window.findChild<QPushButton *>("btnWearers")->click();
    auto *w = window.findChild<WearersWindow *>();
    QVERIFY(w);
    QVERIFY(w->addWearer("17", "Иванова А. П."));
    QVERIFY(!w->addWearer("", "Без номера"));
    QVERIFY(w->assign("05A00317", "17", QDateTime(QDate(2026, 1, 1), QTime(0, 0))));
    QVERIFY(!w->assign("05A00317", "17", QDateTime(QDate(2026, 1, 5), QTime(0, 0))));
    QVERIFY2(w->messageText().startsWith("Прибор не выдан: overlaps 05A00317 given to 17"),
             qPrintable(w->messageText()));
    auto *given = w->findChild<QTableWidget *>("tableAssignments");
    QCOMPARE(given->item(0, 3)->text(), QString("носит"));
    given->selectRow(0);
    QVERIFY(w->giveBack("05A00317", QDateTime(QDate(2026, 2, 1), QTime(0, 0))));
    QVERIFY(given->item(0, 3)->text().startsWith("01.02.26"));

    QVERIFY(w->showDose("17", QDate(2026, 1, 1), QDate(2026, 1, 31)));
    QVERIFY2(w->doseSummary().contains("доза 4.000e-04 Зв по 1 выдачам; падений ЭД: 1"),
             qPrintable(w->doseSummary()));
    QVERIFY(w->saveDoseCsv(dir.filePath("dose.csv")));
    QVERIFY(fileBytes(dir.filePath("dose.csv")).contains("\"Итого\""));
    QVERIFY(w->saveDosePdf(dir.filePath("dose.pdf")));
    QVERIFY(fileBytes(dir.filePath("dose.pdf")).startsWith("%PDF"));
}

QTEST_MAIN(TestArchiveWindow)
#include "tst_archivewindow.moc"
