// The parts of the window's status messages that are computed: Russian plural
// forms, durations, the reason a file could not be written, the clock's outcome.

#include "statusmessages.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#ifndef Q_OS_WIN
#include <cerrno>
#endif

class TestStatusMessages : public QObject
{
    Q_OBJECT

private slots:
    void pluralForms_data();
    void pluralForms();
    void durations_data();
    void durations();
    void fileErrorKinds_data();
    void fileErrorKinds();
    void clockOutcomes_data();
    void clockOutcomes();
};

void TestStatusMessages::pluralForms_data()
{
    QTest::addColumn<qint64>("n");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << qint64(0) << "0 записей";
    QTest::newRow("1") << qint64(1) << "1 запись";
    QTest::newRow("2") << qint64(2) << "2 записи";
    QTest::newRow("4") << qint64(4) << "4 записи";
    QTest::newRow("5") << qint64(5) << "5 записей";
    QTest::newRow("11") << qint64(11) << "11 записей";
    QTest::newRow("12") << qint64(12) << "12 записей";
    QTest::newRow("14") << qint64(14) << "14 записей";
    QTest::newRow("21") << qint64(21) << "21 запись";
    QTest::newRow("22") << qint64(22) << "22 записи";
    QTest::newRow("111") << qint64(111) << "111 записей";
    QTest::newRow("112") << qint64(112) << "112 записей";
    QTest::newRow("1001") << qint64(1001) << "1001 запись";
    QTest::newRow("65534") << qint64(65534) << "65534 записи";
}

void TestStatusMessages::pluralForms()
{
    QFETCH(qint64, n);
    QTEST(russianCount(n, QStringLiteral("запись"), QStringLiteral("записи"),
                       QStringLiteral("записей")),
          "text");
}

void TestStatusMessages::durations_data()
{
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<QString>("text");
    QTest::newRow("under a second") << qint64(999) << "0 с";
    QTest::newRow("seconds") << qint64(59999) << "59 с";
    QTest::newRow("a minute") << qint64(60000) << "1 мин 0 с";
    QTest::newRow("minutes") << qint64(3599999) << "59 мин 59 с";
    QTest::newRow("hours") << qint64(3600000 + 3 * 60000 + 5000) << "1 ч 3 мин";
}

void TestStatusMessages::durations()
{
    QFETCH(qint64, ms);
    QTEST(russianDuration(ms), "text");
}

void TestStatusMessages::fileErrorKinds_data()
{
    QTest::addColumn<QString>("name");        // under a fresh folder
    QTest::addColumn<QString>("writerError"); // the writer's own words
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("readOnlyFolder");
    const QString other = QStringLiteral("Write error");
    QTest::newRow("missing folder")
        << "no/such/file.csv" << other << int(FileErrorKind::NoFolder) << false;
    QTest::newRow("a folder of that name")
        << "folder" << other << int(FileErrorKind::IsFolder) << false;
    QTest::newRow("read-only folder")
        << "file.csv" << other << int(FileErrorKind::NoPermission) << true;
#ifndef Q_OS_WIN
    QTest::newRow("disk full") << "file.csv"
                               << QStringLiteral("Cannot save: %1").arg(qt_error_string(ENOSPC))
                               << int(FileErrorKind::DiskFull) << false;
#endif
    QTest::newRow("anything else") << "file.csv" << other << int(FileErrorKind::Other) << false;
}

void TestStatusMessages::fileErrorKinds()
{
    QFETCH(QString, name);
    QFETCH(QString, writerError);
    QFETCH(int, kind);
    QFETCH(bool, readOnlyFolder);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    const QFileDevice::Permissions writable = QFile(dir.path()).permissions();
    if (readOnlyFolder) {
        QFile(dir.path()).setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        if (QFileInfo(dir.path()).isWritable()) {
            QFile(dir.path()).setPermissions(writable);
            QSKIP("a read-only folder does not stop this user");
        }
    }
    const FileErrorKind got = fileErrorKind(dir.filePath(name), writerError);
    QFile(dir.path()).setPermissions(writable);
    QCOMPARE(int(got), kind);
    // Every kind has its own Russian words.
    QVERIFY(!fileErrorReason(got).contains(QLatin1String("rror")));
}

void TestStatusMessages::clockOutcomes_data()
{
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("message");
    QTest::newRow("confirmed") << int(PagerLink::ClockSetOutcome::Confirmed)
                               << "Часы прибора установлены: 31.12.2029 23:59.";
    QTest::newRow("not confirmed")
        << int(PagerLink::ClockSetOutcome::NotConfirmed) << "Прибор не подтвердил установку часов.";
    // The range the clock holds, from its first to its last minute.
    QTest::newRow("out of range") << int(PagerLink::ClockSetOutcome::OutOfRange)
                                  << "Часы не установлены: часы прибора хранят "
                                     "01.01.1999 – 24.11.2030 20:15.";
}

void TestStatusMessages::clockOutcomes()
{
    QFETCH(int, outcome);
    QTEST(clockSetMessage(PagerLink::ClockSetOutcome(outcome),
                          QDateTime(QDate(2029, 12, 31), QTime(23, 59, 30))),
          "message");
}

QTEST_MAIN(TestStatusMessages)
#include "tst_statusmessages.moc"
