// The lab's server as the window keeps it: the dialog's fields make the URI,
// the settings keep it without a password, "no server" outweighs
// $DR7326G_SERVER and no keys at all fall back to it.
#include "labserver.h"
#include "serverdialog.h"
#include "support/testsettings.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>

class TestLabServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("DR7326G_SERVER", "postgresql://env@envhost/envdb"); }
    void dialogKeepsServerWithoutPassword_data();
    void dialogKeepsServerWithoutPassword();
};

void TestLabServer::dialogKeepsServerWithoutPassword_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("sslMode");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<QString>("uri"); // what the window then uses; empty: none
    QTest::newRow("full") << " db.lab " << 5433 << "dr7326g"
                          << "tech"
                          << "verify-full" << true
                          << "postgresql://tech@db.lab:5433/dr7326g?sslmode=verify-full";
    QTest::newRow("local socket") << "" << 0 << "archive"
                                  << ""
                                  << "prefer" << true << "postgresql:///archive?sslmode=prefer";
    QTest::newRow("ipv6, odd name") << "::1" << 5432 << "lab archive/2"
                                    << "o'neil"
                                    << "disable" << true << "";
    QTest::newRow("stopped: not the environment's") << "" << 0 << ""
                                                    << "someone"
                                                    << "require" << true << "";
    QTest::newRow("never set: the environment's")
        << "" << 0 << ""
        << ""
        << "prefer" << false << "postgresql://env@envhost/envdb";
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
    dialog.findChild<QComboBox *>("cmbServerSslMode")->setCurrentText(sslMode);
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
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

QTEST_MAIN(TestLabServer)
#include "tst_labserver.moc"
