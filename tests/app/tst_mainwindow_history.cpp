// The window's history plot and history dumps, against a pager played on the
// scripted USB library: the plot needs records, a click on it picks the table
// row, a download saved as a dump reopens into the same table without the
// pager, in the zone it was made in, and a damaged dump changes nothing.

#include "csvexport.h"
#include "historydump.h"
#include "historyplot.h"
#include "mainwindow.h"
#include "support/fakepager.h"

#include <QAction>
#include <QLabel>
#include <QLocale>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <qwt_plot_canvas.h>

#include <memory>

namespace {

constexpr int recordsPerPage = 16;
// Rows with something else than background in the scripted history.
constexpr int switchOnRow = 0;
constexpr int neutronAlarmRow = 40;
constexpr int gammaAlarmRow = 150;
constexpr int recordCount = 13 * recordsPerPage;

char codeOfRow(int row)
{
    return row == switchOnRow       ? '1'
           : row == neutronAlarmRow ? 'N'
           : row == gammaAlarmRow   ? 'A'
                                    : 'F';
}

// The history's pages: a record every ten minutes, then the end record.
QList<QByteArray> historyPages()
{
    QList<QByteArray> pages;
    QList<std::uint16_t> words;
    for (int row = 0; row <= recordCount; ++row) {
        const bool end = row == recordCount;
        words += FakePager::record(end ? 0 : 13000000 + 10 * row, end ? '0' : codeOfRow(row),
                                   std::uint16_t(20 + row % 7), 1.5f, float(1e-7 * (1 + row % 5)),
                                   float(1e-5 * row));
        if (words.size() == 8 * recordsPerPage || end) {
            pages << FakePager::page(pages.size() + 1, words);
            words.clear();
        }
    }
    return pages;
}

QByteArray fileBytes(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &name, const QByteArray &bytes)
{
    QFile f(name);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

class TestMainWindowHistory : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void plotNeedsRecords();
    void plotClickPicksRow_data();
    void plotClickPicksRow();
    void dumpRoundTrip();
    void dumpShownInItsZone_data();
    void dumpShownInItsZone();
    void damagedDumpLeavesTable_data();
    void damagedDumpLeavesTable();
    void nothingToSaveBeforeDownload();

private:
    FakePager pager;
    std::unique_ptr<MainWindow> window;
    QTemporaryDir files;

    void trigger(const char *action)
    {
        window->findChild<QAction *>(QLatin1String(action))->trigger();
    }
    QAbstractItemModel *table() const { return window->findChild<QTableView *>()->model(); }
    // The status bar's text, whether it is a message or a permanent label.
    QString status() const
    {
        QStringList texts{window->statusBar()->currentMessage()};
        // A label shows as much as fits; its tool tip holds the whole text.
        for (const QLabel *label : window->statusBar()->findChildren<QLabel *>())
            texts << label->text() << label->toolTip();
        return texts.join(QLatin1Char('\n'));
    }
    QStringList rows() const
    {
        QStringList out;
        for (int r = 0; r < table()->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < table()->columnCount(); ++c)
                cells << table()->index(r, c).data().toString();
            out << cells.join(QLatin1Char('\t'));
        }
        return out;
    }
    void download()
    {
        pager.pages = historyPages();
        trigger("menuReadHistory");
        QCOMPARE(table()->rowCount(), recordCount);
    }
    void newWindowWithoutPager()
    {
        window.reset();
        usbfake::reset();
        window = std::make_unique<MainWindow>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
};

void TestMainWindowHistory::init()
{
    QVERIFY(files.isValid());
    pager = FakePager();
    pager.plugIn();
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestMainWindowHistory::cleanup()
{
    window.reset();
    usbfake::reset();
}

void TestMainWindowHistory::plotNeedsRecords()
{
    trigger("menuPlotHistory");
    QVERIFY(!window->historyPlotWindow());
    QVERIFY2(status().contains(QStringLiteral("записей истории нет")), qPrintable(status()));

    download();
    trigger("menuPlotHistory");
    HistoryPlotWindow *plot = window->historyPlotWindow();
    QVERIFY(plot && plot->isVisible());
    QCOMPARE(plot->plot()->data().recordX.size(), recordCount);
    QCOMPARE(plot->plot()->data().alarms.size(), 2);
    QVERIFY(plot->plot()->title().text().contains(QStringLiteral("SN 05A00317")));
    // One window: the entry shows it again.
    trigger("menuPlotHistory");
    QCOMPARE(window->findChildren<HistoryPlotWindow *>().size(), 1);
    // It goes with the main window.
    window->close();
    QVERIFY(!plot->isVisible());
}

void TestMainWindowHistory::plotClickPicksRow_data()
{
    QTest::addColumn<int>("row");
    QTest::newRow("gamma alarm far down the table") << gammaAlarmRow;
    QTest::newRow("switch-on") << switchOnRow;
}

void TestMainWindowHistory::plotClickPicksRow()
{
    QFETCH(int, row);
    download();
    trigger("menuPlotHistory");
    HistoryPlotWindow *plotWindow = window->historyPlotWindow();
    QVERIFY(QTest::qWaitForWindowExposed(plotWindow));
    HistoryPlot *plot = plotWindow->plot();
    plot->replot();
    const double x = plot->transform(QwtPlot::xBottom, plot->data().recordX.at(row));
    QTest::mouseClick(plot->canvas(), Qt::LeftButton, {},
                      QPoint(qRound(x), plot->canvas()->height() / 2));

    auto *view = window->findChild<QTableView *>();
    const QModelIndexList selected = view->selectionModel()->selectedRows();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(selected.first().row(), row);
    QCOMPARE(view->currentIndex().row(), row);
    // Scrolled to it.
    QVERIFY(view->viewport()->rect().intersects(view->visualRect(table()->index(row, 0))));
}

void TestMainWindowHistory::dumpRoundTrip()
{
    download();
    const QStringList downloaded = rows();
    const QDate date(2021, 3, 5);
    const QByteArray csv = historyCsv(table(), date);
    const QString path = files.filePath(QStringLiteral("история.dump"));
    QVERIFY(window->saveShownHistoryDump(path));
    QVERIFY2(status().contains(QStringLiteral("Дамп сохранён")), qPrintable(status()));

    // Another pager asked for its settings since: the table is still the first one's.
    pager.serial = QStringLiteral("05A00999");
    trigger("menuConnect");
    QCOMPARE(window->journalSerialNumber(), QStringLiteral("05A00317"));

    newWindowWithoutPager();
    QVERIFY(window->openHistoryDump(path));
    QCOMPARE(rows(), downloaded);
    QCOMPARE(historyCsv(table(), date), csv);
    QCOMPARE(window->journalSerialNumber(), QStringLiteral("05A00317"));
    QVERIFY2(status().contains(QStringLiteral("история.dump")) &&
                 status().contains(QStringLiteral("прибор не опрашивался")),
             qPrintable(status()));
    trigger("menuPlotHistory");
    QVERIFY(window->historyPlotWindow());
    QCOMPARE(window->historyPlotWindow()->plot()->data().recordX.size(), recordCount);

    // Saved again from the window, the dump is the same file.
    const QString again = files.filePath(QStringLiteral("again.dump"));
    QVERIFY(window->saveShownHistoryDump(again));
    QCOMPARE(fileBytes(again), fileBytes(path));
}

void TestMainWindowHistory::dumpShownInItsZone_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::newRow("Tokyo") << QByteArray("Asia/Tokyo");
    QTest::newRow("Adelaide, half-hour offset") << QByteArray("Australia/Adelaide");
}

void TestMainWindowHistory::dumpShownInItsZone()
{
    QFETCH(QByteArray, zone);
    const QTimeZone timeZone(zone);
    QVERIFY(timeZone.isValid());
    HistoryDump dump;
    dump.serialNumber = QStringLiteral("05A00042");
    dump.downloadedAt = QDateTime(QDate(2024, 6, 1), QTime(10, 0), timeZone);
    dump.timeZoneId = zone;
    dump.pages = historyPages();
    const QString path = files.filePath(QStringLiteral("zone.dump"));
    QVERIFY(writeFile(path, historyDumpBytes(dump)));

    QVERIFY(window->openHistoryDump(path));
    // The pager counts minutes from 1999-01-01 00:00 on the clock of the zone
    // it was read in; the table shows that zone's wall clock.
    const QDateTime epoch(QDate(1999, 1, 1), QTime(0, 0), timeZone);
    for (int row : {0, gammaAlarmRow}) {
        const QDateTime t = epoch.addSecs((13000000 + 10 * qint64(row)) * 60);
        QCOMPARE(table()->index(row, 0).data().toString(),
                 QLocale::system().toString(t, QLocale::ShortFormat));
    }
    QVERIFY2(status().contains(QString::fromLatin1(zone)) || QTimeZone::systemTimeZoneId() == zone,
             qPrintable(status()));
    trigger("menuPlotHistory");
    QVERIFY(window->historyPlotWindow()->plot()->recordText(0).startsWith(
        epoch.addSecs(13000000 * 60).toString(QStringLiteral("dd.MM.yyyy HH:mm"))));
}

void TestMainWindowHistory::damagedDumpLeavesTable_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("missing file") << "missing";
    QTest::newRow("empty file") << "empty";
    QTest::newRow("text that is not a dump") << "text";
    QTest::newRow("cut in the middle") << "cut";
    QTest::newRow("first byte changed") << "first";
    QTest::newRow("pages without a record") << "garbage pages";
}

void TestMainWindowHistory::damagedDumpLeavesTable()
{
    QFETCH(QString, damage);
    download();
    const QStringList before = rows();
    HistoryDump dump;
    dump.serialNumber = QStringLiteral("05A00042");
    dump.pages = historyPages();
    QByteArray bytes = historyDumpBytes(dump);
    if (damage == QLatin1String("empty"))
        bytes.clear();
    else if (damage == QLatin1String("text"))
        bytes = "Serial;Date;Event\n05A00042;01.05.2024;Фон\n";
    else if (damage == QLatin1String("cut"))
        bytes.chop(bytes.size() / 2);
    else if (damage == QLatin1String("first"))
        bytes[0] = char(bytes[0] ^ 0x20);
    else if (damage == QLatin1String("garbage pages")) {
        dump.pages = {QByteArray("hello\n"), QByteArray("BLK= ZZZZ CRC=\n")};
        bytes = historyDumpBytes(dump);
    }
    const QString path = files.filePath(QStringLiteral("damaged.dump"));
    if (damage != QLatin1String("missing"))
        QVERIFY(writeFile(path, bytes));

    QVERIFY(!window->openHistoryDump(path));
    QCOMPARE(rows(), before);
    QVERIFY2(status().contains(QStringLiteral("Таблица не изменена")), qPrintable(status()));
    // The dump kept is still the download's.
    QCOMPARE(window->journalSerialNumber(), QStringLiteral("05A00317"));
}

void TestMainWindowHistory::nothingToSaveBeforeDownload()
{
    const QString path = files.filePath(QStringLiteral("nothing.dump"));
    QVERIFY(!window->saveShownHistoryDump(path));
    QVERIFY(!QFile::exists(path));
    QVERIFY2(status().contains(QStringLiteral("не прочитана")), qPrintable(status()));
}

QTEST_MAIN(TestMainWindowHistory)
#include "tst_mainwindow_history.moc"
