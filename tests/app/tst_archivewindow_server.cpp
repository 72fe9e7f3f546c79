// The window on a real lab server (the test command's throwaway PostgreSQL):
// the automatic sync never asks the password, «Синхронизировать» asks once
// and sends, the session reuses it (never in the settings), the archive
// window's server source shows what was sent, and a server of a newer
// version is named and replaced by this PC's archive.
#include "archiverecordmodel.h"
#include "archivewindow.h"
#include "labserver.h"
#include "mainwindow.h"
#include "serverdialog.h"
#include "support/dumpfixture.h"
#include "support/testserver.h"
#include "support/testsettings.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestArchiveWindowServer : public QObject
{
    Q_OBJECT

private slots:
    void serverSource();
    void connectionChecked_data();
    void connectionChecked();
};

void TestArchiveWindowServer::serverSource()
{
    const QString database = QStringLiteral("dr7326g_window_test");
    QString error;
    const ArchiveServer server = freshTestDatabase(database, &error);
    QVERIFY2(server.isSet(), qPrintable(error));
    QSettings settings;
    saveServerSettings(settings, server);
    // The server's password is known only to whoever answers the window.
    const QByteArray password = qgetenv("PGPASSWORD");
    QVERIFY2(!password.isEmpty(), "the test server is expected to ask a password");
    qunsetenv("PGPASSWORD");
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
    QTemporaryDir dir;
    FakePager pager;
    pager.plugIn();
    MainWindow window;
    window.openArchive(dir.filePath("pc.sqlite"));
    auto status = [&window]() { return window.findChild<QLabel *>("lblStatus")->toolTip(); };

    // The automatic sync asks nothing; the operator's asks once and sends.
    pager.pages = historyDumpOf(pager.serial, {30, 31, 35}).pages;
    window.findChild<QAction *>("menuReadHistory")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!window.isSyncRunning(), 20000);
    QVERIFY2(status().contains("В архиве новых: 3.") && status().contains("просит пароль"),
             qPrintable(status()));
    QCOMPARE(asked, 0);
    window.findChild<QAction *>("menuSyncArchive")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!window.isSyncRunning(), 20000);
    QVERIFY2(status().contains("отправлено") && status().contains("3 записи"),
             qPrintable(status()));
    window.findChild<QAction *>("menuSyncArchive")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!window.isSyncRunning(), 20000);
    QVERIFY2(status().contains("уже есть всё"), qPrintable(status()));

    // The archive window shows the server's archive, with the same password.
    window.findChild<QAction *>("menuArchive")->trigger();
    ArchiveWindow *browser = window.archiveBrowser();
    QSignalSpy shown(browser, &ArchiveWindow::sourceShown);
    browser->chooseSource(ArchiveWindow::Source::Server);
    QVERIFY(shown.wait(20000));
    QCOMPARE(browser->source(), ArchiveWindow::Source::Server);
    QCOMPARE(asked, 1);
    QVERIFY(browser->choosePager(pager.serial));
    browser->setPeriod(QDate(1999, 1, 1), QDate::currentDate());
    QVERIFY2(browser->summaryText().contains("3 записи"), qPrintable(browser->summaryText()));
    QCOMPARE(browser->recordModel()->rowCount(), 3);
    QVERIFY(window.historyArchive().isOpen() && !window.historyArchive().isServer());
    settings.sync();
    QFile kept(settings.fileName());
    QVERIFY(kept.open(QIODevice::ReadOnly) && !kept.readAll().contains(password));

    // A server a newer program has taken over is named, never shown as if read.
    qputenv("PGPASSWORD", password);
    QVERIFY(runOnTestServer(database, "UPDATE meta SET value = '99' WHERE name = 'schema'"));
    browser->serverChanged();
    QVERIFY(shown.wait(20000));
    QCOMPARE(browser->source(), ArchiveWindow::Source::Local);
    QVERIFY2(browser->messageText().contains("более новой версией"),
             qPrintable(browser->messageText()));
    settings.remove("server");
}

void TestArchiveWindowServer::connectionChecked_data()
{
    QTest::addColumn<QString>("password"); // "right", "wrong" or none
    QTest::addColumn<bool>("newer");       // the archive there made by a newer program
    QTest::addColumn<QString>("told");
    QTest::newRow("reached") << "right" << false << "Соединение установлено";
    QTest::newRow("no password") << "" << false << "Сервер отвечает и просит пароль";
    QTest::newRow("wrong password") << "wrong" << false << "Сервер отвечает, но не принял пароль";
    QTest::newRow("newer archive") << "right" << true << "создан более новой версией";
}

void TestArchiveWindowServer::connectionChecked()
{
    QFETCH(QString, password);
    QFETCH(bool, newer);
    const QString database = QStringLiteral("dr7326g_check_test");
    QString error;
    ArchiveServer server = freshTestDatabase(database, &error);
    QVERIFY2(server.isSet(), qPrintable(error));
    if (newer) {
        Archive made;
        QVERIFY2(made.openServer(server, &error), qPrintable(error));
        QVERIFY(runOnTestServer(database, "UPDATE meta SET value = '99' WHERE name = 'schema'"));
    }
    const QByteArray known = qgetenv("PGPASSWORD");
    const auto restore = qScopeGuard([&]() { qputenv("PGPASSWORD", known); });
    qunsetenv("PGPASSWORD");
    server.password = password == "right"   ? QString::fromUtf8(known)
                      : password == "wrong" ? QStringLiteral("not-the-password")
                                            : QString();
    ServerDialog dialog;
    dialog.setServer(server); // the session's password goes with the server it was given for
    QSignalSpy ended(&dialog, &ServerDialog::checkEnded);
    dialog.checkConnection();
    QVERIFY(ended.wait(20000));
    QFETCH(QString, told);
    QVERIFY2(dialog.checkText().contains(told), qPrintable(dialog.checkText()));
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
