// The window on the pager emulator through the real socket backend: the same
// history as the command-line tool, and downloads that end on a pager that
// stops answering or loses a page.

#include "mainwindow.h"
#include "support/emulatorprocess.h"
#include "support/tablerows.h"
#include "support/testsettings.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

class TestWindowEmulator : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void readParameters();
    void syncClock_data();
    void syncClock();
    void historyMatchesCommandLineTool();
    void historyFromPagerThatGoesSilent();
    void historyWithLostPage_data();
    void historyWithLostPage();

private:
    QTemporaryDir runtime;

    // The whole message of the window's outcome line.
    static QString status(const MainWindow &window)
    {
        return window.findChild<QLabel *>(QStringLiteral("lblStatus"))->toolTip();
    }

    static void readHistory(MainWindow &window)
    {
        window.findChild<QAction *>(QStringLiteral("menuReadHistory"))->trigger();
    }

    int cliHistory(QStringList *rows)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(DR7326G_CLI), {QStringLiteral("history")});
        if (!p.waitForStarted(5000) || !p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished();
            return -1;
        }
        *rows = QString::fromUtf8(p.readAllStandardOutput())
                    .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    }
};

void TestWindowEmulator::initTestCase()
{
    QVERIFY(runtime.isValid());
    // The socket backend looks for pagers here, as the emulator puts them.
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
}

void TestWindowEmulator::readParameters()
{
    EmulatorProcess pager(runtime.path());
    QVERIFY2(pager.start({"--serial", "05A00999"}), qPrintable(pager.log()));
    MainWindow window;
    window.findChild<QAction *>(QStringLiteral("menuConnect"))->trigger();

    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("lblSN"))->text(),
             QStringLiteral("SN: 05A00999"));
    QCOMPARE(status(window), QStringLiteral("Параметры прочитаны."));
    for (const char *name : {"edtSn", "edtSg", "edtMED", "edtThist"}) {
        const QString text = window.findChild<QLineEdit *>(QLatin1String(name))->text();
        bool number = false;
        text.toDouble(&number);
        QVERIFY2(number, name);
    }
}

void TestWindowEmulator::syncClock_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("message");
    QTest::newRow("kept") << QStringList() << "Часы прибора установлены: ";
    QTest::newRow("refused by the pager")
        << QStringList{"--refuse-writes"} << "Прибор не подтвердил установку часов.";
}

void TestWindowEmulator::syncClock()
{
    QFETCH(QStringList, options);
    QFETCH(QString, message);
    EmulatorProcess pager(runtime.path());
    QVERIFY2(pager.start(options), qPrintable(pager.log()));
    MainWindow window;
    window.findChild<QPushButton *>(QStringLiteral("btnSync"))->click();
    QVERIFY2(status(window).startsWith(message), qPrintable(status(window)));
}

void TestWindowEmulator::historyMatchesCommandLineTool()
{
    EmulatorProcess pager(runtime.path());
    QVERIFY2(pager.start({"--records", "150", "--page-size", "32", "--seed", "11"}),
             qPrintable(pager.log()));
    MainWindow window;
    readHistory(window);
    const QStringList shown = tableRows(window);
    QCOMPARE(shown.size(), 150);
    QVERIFY2(
        status(window).startsWith(QStringLiteral("История прочитана: 150 записей, 5 стр. за ")),
        qPrintable(status(window)));
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("lblHistoryPage"))->text(),
             QStringLiteral("Считанных страниц: 5"));

    QStringList printed;
    QCOMPARE(cliHistory(&printed), 0);
    QCOMPARE(printed, shown);
}

void TestWindowEmulator::historyFromPagerThatGoesSilent()
{
    // get_ID, info and two pages are answered; then nothing.
    EmulatorProcess pager(runtime.path());
    QVERIFY2(pager.start({"--records", "64", "--page-size", "16", "--answer-limit", "4"}),
             qPrintable(pager.log()));
    MainWindow window;
    readHistory(window);

    QCOMPARE(tableRows(window).size(), 32);
    QVERIFY2(status(window).startsWith(QStringLiteral("История прочитана не полностью")),
             qPrintable(status(window)));
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("lblHistoryPage"))->text(),
             QStringLiteral("Считанных страниц: 2"));

    // The window's link is closed again: another action gets its own answer.
    pager.stop();
    window.findChild<QAction *>(QStringLiteral("menuConnect"))->trigger();
    QVERIFY(status(window).startsWith(QStringLiteral("Прибор не ответил")));
}

void TestWindowEmulator::historyWithLostPage_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("page without BLK=") << "--no-blk-page";
    QTest::newRow("garbled page") << "--garbled-page";
}

void TestWindowEmulator::historyWithLostPage()
{
    QFETCH(QString, fault);
    // A fixed end, so the pager started again holds the very same history.
    const QStringList options{"--records", "40", "--page-size",   "16",
                              "--seed",    "3",  "--history-end", "2024-05-01T12:30",
                              fault,       "2"};
    EmulatorProcess pager(runtime.path());
    QVERIFY2(pager.start(options), qPrintable(pager.log()));
    MainWindow window;
    readHistory(window);
    const QStringList shown = tableRows(window);
    QVERIFY2(shown.size() >= 16 && shown.size() < 40, qPrintable(QString::number(shown.size())));
    QVERIFY(status(window).startsWith(QStringLiteral("История прочитана не полностью")));

    // The tool, on the same pager, keeps and prints the same rows.
    pager.stop();
    QVERIFY2(pager.start(options), qPrintable(pager.log()));
    QStringList printed;
    QCOMPARE(cliHistory(&printed), 5);
    QCOMPARE(printed, shown);
}

QTEST_MAIN(TestWindowEmulator)
#include "tst_window_emulator.moc"
