// The lab's server as the window keeps it: the dialog's fields make the URI,
// the settings keep it without a password, "no server" outweighs
// $DR7326G_SERVER and no keys at all fall back to it.
#include "labserver.h"
#include "serverdialog.h"
#include "support/testsettings.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

class TestLabServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("DR7326G_SERVER", "postgresql://env@envhost/envdb"); }
    void dialogKeepsServerWithoutPassword_data();
    void dialogKeepsServerWithoutPassword();
    void connectionCheckedOffTheEventLoop();
};

void TestLabServer::dialogKeepsServerWithoutPassword_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("sslMode");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<QString>("uri"); // what the window then uses; empty: none, "-": refused
    // clang-format off
    const struct { const char *row, *host; int port; const char *database, *user, *sslMode;
                   bool saved; const char *uri; } rows[] = {
        {"full", " db.lab ", 5433, "dr7326g", "tech", "verify-full", true,
         "postgresql://tech@db.lab:5433/dr7326g?sslmode=verify-full"},
        {"local socket", "", 0, "archive", "", "prefer", true,
         "postgresql:///archive?sslmode=prefer"},
        {"ipv6, odd names", "::1", 5432, "lab archive", "o'neil", "disable", true, ""},
        {"no URI can name it", "db.lab", 0, "lab/archive", "", "prefer", true, "-"},
        {"stopped: not the environment's", "", 0, "", "someone", "require", true, ""},
        {"never set: the environment's", "", 0, "", "", "prefer", false,
         "postgresql://env@envhost/envdb"},
    };
    // clang-format on
    for (const auto &r : rows)
        QTest::newRow(r.row) << QString(r.host) << r.port << QString(r.database) << QString(r.user)
                             << QString(r.sslMode) << r.saved << QString::fromUtf8(r.uri);
}

void TestLabServer::dialogKeepsServerWithoutPassword()
{
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, database);
    QFETCH(QString, user);
    QFETCH(QString, sslMode);
    QFETCH(bool, saved);
    QFETCH(QString, uri);
    QSettings().clear();
    ServerDialog dialog;
    dialog.findChild<QLineEdit *>("edtServerHost")->setText(host);
    dialog.findChild<QSpinBox *>("spinServerPort")->setValue(port);
    dialog.findChild<QLineEdit *>("edtServerDatabase")->setText(database);
    dialog.findChild<QLineEdit *>("edtServerUser")->setText(user);
    // Chosen by its Russian description; libpq's word is what is kept.
    auto *modes = dialog.findChild<QComboBox *>("cmbServerSslMode");
    modes->setCurrentIndex(modes->findData(sslMode));
    QVERIFY2(modes->currentText().contains(QRegularExpression("^[а-яё ,()]+$")),
             qPrintable(modes->currentText()));
    dialog.accept();
    QCOMPARE(dialog.result(), int(uri == "-" ? QDialog::Rejected : QDialog::Accepted));
    if (uri == "-") { // the reason is shown, and nothing kept
        QVERIFY(!dialog.findChild<QLabel *>("lblServerProblem")->text().isEmpty());
        return;
    }
    ArchiveServer chosen = dialog.server();
    chosen.password = QStringLiteral("Pa55-w0rd");
    if (saved) {
        QSettings settings;
        saveServerSettings(settings, chosen);
    }

    ArchiveServer used;
    QString why;
    const bool any = LabServer().current(&used, &why);
    QCOMPARE(any, !uri.isEmpty() || namesServer(chosen));
    if (!uri.isEmpty())
        QCOMPARE(used.uri(), uri);
    else if (any) // no fixed text: the URI must only give back the same fields
        QCOMPARE(used.uri(), chosen.uri());
    if (any)
        QVERIFY(used.password.isEmpty());
    else
        QVERIFY2(why.contains("Сервер лаборатории…"), qPrintable(why));

    QSettings settings;
    settings.sync();
    for (const QString &key : settings.allKeys())
        QVERIFY2(key.startsWith("server/") && !key.contains("pass", Qt::CaseInsensitive),
                 qPrintable(key));
    QFile file(settings.fileName());
    QVERIFY(!file.exists() || file.open(QIODevice::ReadOnly));
    QVERIFY(!file.isOpen() || !file.readAll().contains("Pa55"));
}

void TestLabServer::connectionCheckedOffTheEventLoop()
{
    ServerDialog dialog;
    auto *check = dialog.findChild<QPushButton *>("btnCheckServer");
    QVERIFY(!check->isEnabled()); // no server named
    dialog.findChild<QLineEdit *>("edtServerHost")->setText("127.0.0.1");
    dialog.findChild<QSpinBox *>("spinServerPort")->setValue(1);
    dialog.findChild<QLineEdit *>("edtServerDatabase")->setText("nothing");
    QSignalSpy ended(&dialog, &ServerDialog::checkEnded);
    check->click();
    // The click returns before the outcome: the window is not held up.
    QVERIFY(!check->isEnabled() && ended.isEmpty());
    QVERIFY(ended.wait(20000));
    const QString told = dialog.checkText();
    QVERIFY2(told.startsWith("Сервер лаборатории недоступен. Подробно:"), qPrintable(told));
    QVERIFY(check->isEnabled());
}

QTEST_MAIN(TestLabServer)
#include "tst_labserver.moc"
