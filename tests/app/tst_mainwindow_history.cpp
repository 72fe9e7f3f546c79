// The window's history plot and history dumps against a pager on the scripted
// USB library.

#include "csvexport.h"
#include "historydump.h"
#include "historyplot.h"
#include "mainwindow.h"
#include "support/fakepager.h"
#include "support/testsettings.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <qwt_plot_canvas.h>

#include <memory>

namespace {

constexpr int recordsPerPage = 16;
constexpr int gammaAlarmRow = 150;
constexpr int recordCount = 13 * recordsPerPage;

// The history's pages: a record every ten minutes, the first a switch-on, a
// neutron alarm at row 40 and a gamma alarm at gammaAlarmRow, then the end record.
QList<QByteArray> historyPages()
{
    QList<QByteArray> pages;
    QList<std::uint16_t> words;
    for (int row = 0; row <= recordCount; ++row) {
        const bool end = row == recordCount;
        const char code = end                    ? '0'
                          : row == 0             ? '1'
                          : row == 40            ? 'N'
                          : row == gammaAlarmRow ? 'A'
                                                 : 'F';
        words += FakePager::record(end ? 0 : 13000000 + 10 * row, code, std::uint16_t(20 + row % 7),
                                   1.5f, float(1e-7 * (1 + row % 5)), float(1e-5 * row));
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

bool writeDump(const QString &name, const QList<QByteArray> &pages, const QByteArray &zone = {})
{
    HistoryDump dump;
    dump.serialNumber = QStringLiteral("05A00042");
    dump.downloadedAt = QDateTime(QDate(2024, 6, 1), QTime(10, 0), QTimeZone(zone));
    dump.timeZoneId = zone;
    dump.pages = pages;
    QFile f(name);
    const QByteArray bytes = historyDumpBytes(dump);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

class TestMainWindowHistory : public QObject
{
    Q_OBJECT

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
    void openWindow()
    {
        window = std::make_unique<MainWindow>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

private slots:
    void init()
    {
        QVERIFY(files.isValid());
        pager = FakePager();
        pager.plugIn();
        openWindow();
    }

    void cleanup()
    {
        window.reset();
        usbfake::reset();
    }

    void nothingBeforeDownload()
    {
        trigger("menuPlotHistory");
        QVERIFY(!window->historyPlotWindow());
        QVERIFY2(status().contains(QStringLiteral("записей истории нет")), qPrintable(status()));
        const QString path = files.filePath(QStringLiteral("nothing.dump"));
        QVERIFY(!window->saveShownHistoryDump(path));
        QVERIFY(!QFile::exists(path));
        QVERIFY2(status().contains(QStringLiteral("не прочитана")), qPrintable(status()));
    }

    void plotClickPicksRow_data()
    {
        QTest::addColumn<int>("row");
        QTest::newRow("gamma alarm far down the table") << gammaAlarmRow;
        QTest::newRow("switch-on") << 0;
    }

    void plotClickPicksRow()
    {
        QFETCH(int, row);
        download();
        trigger("menuPlotHistory");
        HistoryPlotWindow *plotWindow = window->historyPlotWindow();
        QVERIFY(plotWindow && QTest::qWaitForWindowExposed(plotWindow));
        HistoryPlot *plot = plotWindow->plot();
        QCOMPARE(plot->data().alarms.size(), 2);
        QVERIFY(plot->title().text().contains(QStringLiteral("SN 05A00317")));
        plot->replot();
        const double x = plot->transform(QwtPlot::xBottom, plot->data().recordX.at(row));
        QTest::mouseClick(plot->canvas(), Qt::LeftButton, {},
                          QPoint(qRound(x), plot->canvas()->height() / 2));
        auto *view = window->findChild<QTableView *>();
        const QModelIndexList selected = view->selectionModel()->selectedRows();
        QVERIFY(selected.size() == 1 && selected.first().row() == row);
        QCOMPARE(view->currentIndex().row(), row);
        QVERIFY(view->viewport()->rect().intersects(view->visualRect(table()->index(row, 0))));

        // One plot window, closed with the main window.
        trigger("menuPlotHistory");
        QCOMPARE(window->findChildren<HistoryPlotWindow *>().size(), 1);
        window->close();
        QVERIFY(!plotWindow->isVisible());
    }

    // The threshold read with the parameters is drawn over that pager's history.
    void plotShowsThresholdRead()
    {
        trigger("menuConnect");
        download();
        trigger("menuPlotHistory");
        QCOMPARE(window->historyPlotWindow()->plot()->doseRateThreshold(), double(1.0e-5f));
        // A threshold stored afterwards moves the line.
        window->findChild<QLineEdit *>("edtMED")->setText(QStringLiteral("2e-5"));
        QTest::mouseClick(window->findChild<QPushButton *>("btnSaveMED"), Qt::LeftButton);
        QCOMPARE(window->historyPlotWindow()->plot()->doseRateThreshold(), double(2.0e-5f));
    }

    void dumpRoundTrip()
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

        // A new window without the pager.
        window.reset();
        usbfake::reset();
        openWindow();
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

    // The pager counts minutes from 1999-01-01 00:00 on the clock of the zone it
    // was read in; the table and the plot show that zone's wall clock.
    void dumpShownInItsZone_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::newRow("Tokyo") << QByteArray("Asia/Tokyo");
        QTest::newRow("Adelaide, half-hour offset") << QByteArray("Australia/Adelaide");
    }

    void dumpShownInItsZone()
    {
        QFETCH(QByteArray, zone);
        const QString path = files.filePath(QStringLiteral("zone.dump"));
        QVERIFY(writeDump(path, historyPages(), zone));
        QVERIFY(window->openHistoryDump(path));
        const QDateTime epoch(QDate(1999, 1, 1), QTime(0, 0), QTimeZone(zone));
        QVERIFY(epoch.isValid());
        for (int row : {0, gammaAlarmRow}) {
            const QDateTime t = epoch.addSecs((13000000 + 10 * qint64(row)) * 60);
            QCOMPARE(table()->index(row, 0).data().toString(),
                     QLocale::system().toString(t, QLocale::ShortFormat));
        }
        QVERIFY2(status().contains(QString::fromLatin1(zone)), qPrintable(status()));
        trigger("menuPlotHistory");
        QVERIFY(window->historyPlotWindow()->plot()->recordText(0).startsWith(
            epoch.addSecs(13000000 * 60).toString(QStringLiteral("dd.MM.yyyy HH:mm"))));
    }

    // A file that cannot be opened, is not a dump, or holds no records leaves the
    // downloaded table and its dump as they were.
    void damagedDumpLeavesTable_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // empty: no file
        QTest::addColumn<QList<QByteArray>>("pages");
        QTest::newRow("missing file") << QByteArray() << QList<QByteArray>();
        QTest::newRow("text that is not a dump")
            << QByteArray("Serial;Date;Event\n05A00042;01.05.2024;Фон\n") << QList<QByteArray>();
        QTest::newRow("cut in the middle") << QByteArray("cut") << historyPages();
        QTest::newRow("pages without a record")
            << QByteArray() << QList<QByteArray>{"hello\n", "BLK= ZZZZ CRC=\n"};
        HistoryDump hostile;
        hostile.serialNumber = QStringLiteral("05A\x1b[2J");
        hostile.pages = historyPages();
        QTest::newRow("a serial number with ESC")
            << historyDumpBytes(hostile) << QList<QByteArray>();
    }

    void damagedDumpLeavesTable()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<QByteArray>, pages);
        download();
        const QStringList before = rows();
        const QString path = files.filePath(QStringLiteral("damaged.dump"));
        if (!pages.isEmpty())
            QVERIFY(writeDump(path, pages));
        QFile file(path);
        if (bytes == "cut")
            QVERIFY(file.resize(file.size() / 2));
        else if (!bytes.isEmpty())
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();

        QVERIFY(!window->openHistoryDump(path));
        QCOMPARE(rows(), before);
        QVERIFY2(status().contains(QStringLiteral("Таблица не изменена")), qPrintable(status()));
        QCOMPARE(window->journalSerialNumber(), QStringLiteral("05A00317"));
    }
};

QTEST_MAIN(TestMainWindowHistory)
#include "tst_mainwindow_history.moc"
