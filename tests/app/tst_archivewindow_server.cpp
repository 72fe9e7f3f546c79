// The window on a real lab server (the test command's throwaway PostgreSQL):
// a download sent by the automatic sync, «Синхронизировать» finding nothing
// new, the archive window's server source showing what was sent, and a
// server of a newer version named and replaced by this PC's archive.
#include "archiverecordmodel.h"
#include "archivewindow.h"
#include "labserver.h"
#include "mainwindow.h"
#include "support/dumpfixture.h"
#include "support/testserver.h"
#include "support/testsettings.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestArchiveWindowServer : public QObject
{
    Q_OBJECT

private slots:
    void serverSource();
    void passwordAskedOnceKeptInMemory();
};

void TestArchiveWindowServer::serverSource()
{
    const QString database = QStringLiteral("dr7326g_window_test");
    QString error;
    const ArchiveServer server = freshTestDatabase(database, &error);
    QVERIFY2(server.isSet(), qPrintable(error));
    QSettings settings;
    saveServerSettings(settings, server);
    QTemporaryDir dir;
    FakePager pager;
    pager.plugIn();
    MainWindow window;
    window.openArchive(dir.filePath("pc.sqlite"));
    auto status = [&window]() { return window.findChild<QLabel *>("lblStatus")->toolTip(); };

    pager.pages = historyDumpOf(pager.serial, {30, 31, 35}).pages;
    window.findChild<QAction *>("menuReadHistory")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!window.isSyncRunning(), 20000);
    QVERIFY2(status().contains("В архиве новых: 3.") && status().contains("отправлено") &&
                 status().contains("3 записи"),
             qPrintable(status()));
    window.findChild<QAction *>("menuSyncArchive")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!window.isSyncRunning(), 20000);
    QVERIFY2(status().contains("уже есть всё"), qPrintable(status()));

    window.findChild<QAction *>("menuArchive")->trigger();
    ArchiveWindow *browser = window.archiveBrowser();
    QSignalSpy shown(browser, &ArchiveWindow::sourceShown);
    browser->chooseSource(ArchiveWindow::Source::Server);
    QVERIFY(shown.wait(20000));
    QCOMPARE(browser->source(), ArchiveWindow::Source::Server);
    QVERIFY(browser->choosePager(pager.serial));
    browser->setPeriod(QDate(1999, 1, 1), QDate::currentDate());
    QVERIFY2(browser->summaryText().contains("3 записи"), qPrintable(browser->summaryText()));
    QCOMPARE(browser->recordModel()->rowCount(), 3);
    QVERIFY(window.historyArchive().isOpen() && !window.historyArchive().isServer());

    // A server a newer program has taken over is named, never shown as if read.
    QVERIFY(runOnTestServer(database, "UPDATE meta SET value = '99' WHERE name = 'schema'"));
    browser->serverChanged();
    QVERIFY(shown.wait(20000));
    QCOMPARE(browser->source(), ArchiveWindow::Source::Local);
    QVERIFY2(browser->messageText().contains("более новой версией"),
             qPrintable(browser->messageText()));
    settings.remove("server");
}

void TestArchiveWindowServer::passwordAskedOnceKeptInMemory()
{
    const QByteArray password = qgetenv("PGPASSWORD");
    if (password.isEmpty())
        QSKIP("the test server asks no password");
    const QString database = QStringLiteral("dr7326g_window_password");
    QString error;
    const ArchiveServer server = freshTestDatabase(database, &error);
    QVERIFY2(server.isSet(), qPrintable(error));
    QSettings settings;
    saveServerSettings(settings, server);
    qunsetenv("PGPASSWORD");
    QTemporaryDir dir;
    MainWindow window;
    window.openArchive(dir.filePath("pc.sqlite"));
    QVERIFY(window.historyArchive().importDump(historyDumpOf("05A00317", {7, 8})).ok);
    int asked = 0;
    QTimer answer;
    connect(&answer, &QTimer::timeout, this, [&]() {
        if (auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget())) {
            ++asked;
            dialog->setTextValue(QString::fromUtf8(password));
            dialog->accept();
        }
    });
    answer.start(10);
    auto status = [&window]() { return window.findChild<QLabel *>("lblStatus")->toolTip(); };

    // Asked once; the same session's next sync and the archive window reuse it.
    window.findChild<QAction *>("menuSyncArchive")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!window.isSyncRunning(), 20000);
    QVERIFY2(status().contains("2 записи"), qPrintable(status()));
    window.findChild<QAction *>("menuSyncArchive")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!window.isSyncRunning(), 20000);
    QVERIFY2(status().contains("уже есть всё"), qPrintable(status()));
    window.findChild<QAction *>("menuArchive")->trigger();
    QSignalSpy shown(window.archiveBrowser(), &ArchiveWindow::sourceShown);
    window.archiveBrowser()->chooseSource(ArchiveWindow::Source::Server);
    QVERIFY(shown.wait(20000));
    QCOMPARE(window.archiveBrowser()->source(), ArchiveWindow::Source::Server);
    QCOMPARE(asked, 1);

    settings.sync();
    QFile kept(settings.fileName());
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QVERIFY(!kept.readAll().contains(password));
    qputenv("PGPASSWORD", password);
    settings.remove("server");
}

// A widget test: the server test's main, with a QApplication.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (!testServerAvailable()) {
        std::fprintf(stderr, "no PostgreSQL server (PGHOST is not set): skipped\n");
        return 77;
    }
    TestArchiveWindowServer test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_archivewindow_server.moc"
