// Archives of the previous version upgraded in place: a PC's file made by
// that version (kept as it was made) keeps every record and total, whole
// even when the program is killed during the upgrade; a server's records
// get the dose rate the program itself decodes.
#include "archive.h"
#include "historyflags.h"
#include "support/cliprocess.h"
#include "support/dumpfixture.h"
#include "support/testserver.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

// The first value of `sql` on an SQLite file, outside the program.
QString fileValue(const QString &file, const QString &sql)
{
    QString value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "raw");
        db.setDatabaseName(file);
        QSqlQuery query(db);
        if (db.open() && query.exec(sql) && query.next())
            value = query.value(0).toString();
        else
            value = QStringLiteral("error: ") + query.lastError().text();
    }
    QSqlDatabase::removeDatabase("raw");
    return value;
}

} // namespace

class TestArchiveUpgrade : public QObject
{
    Q_OBJECT

private slots:
    void fileOfVersion2();
    void killedDuringUpgrade();
    void serverOfVersion2();
    void flagsOfVersion3();

private:
    QTemporaryDir dir;
};

void TestArchiveUpgrade::fileOfVersion2()
{
    // Two pagers' downloads, a read and a change, as version 2 stored them.
    const QString file = dir.filePath("version2.sqlite");
    QVERIFY(QFile::copy(QStringLiteral(TEST_DATA "/version2.sqlite"), file));
    QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    Archive archive;
    QString error;
    QVERIFY2(archive.open(file, &error), qPrintable(error));
    QStringList totals;
    for (const ArchivePager &p : archive.pagers(&error))
        totals << QStringLiteral("%1 %2 %3").arg(p.serialNumber).arg(p.records).arg(p.alarms);
    QCOMPARE(totals, (QStringList{"05A00317 300 14", "05A00318 300 11"}));
    // Each pager's records are those its download's dump decodes to, with
    // the summary's counts and peak taken from them.
    for (const QString &sn : {QStringLiteral("05A00317"), QStringLiteral("05A00318")}) {
        const QList<ArchiveDownload> downloads = archive.downloads(sn);
        QCOMPARE(downloads.size(), 1);
        HistoryDump dump;
        QVERIFY(archive.downloadDump(downloads.first().id, &dump, &error));
        QList<HistoryRecord *> decoded;
        decodeHistoryDump(dump, decoded);
        QMultiMap<qint64, QByteArray> expected, held;
        float peak = 0;
        qint64 alarms = 0;
        for (const HistoryRecord *r : qAsConst(decoded)) {
            expected.insert(r->time, QByteArray(reinterpret_cast<const char *>(r->stored.data()),
                                                storedRecordSize));
            peak = qMax(peak, r->doseRate);
            alarms += isAlarmEvent(r->eventCode);
        }
        qDeleteAll(decoded);
        const QDateTime from = QDateTime::fromSecsSinceEpoch(0), to = QDateTime::currentDateTime();
        for (const ArchiveRecord &r : archive.recordPage(sn, from, to, nullptr, 1000))
            held.insert(r.record.time,
                        QByteArray(reinterpret_cast<const char *>(r.record.stored.data()),
                                   storedRecordSize));
        QCOMPARE(held, expected);
        const ArchivePeriodSummary s = archive.summarize(sn, from, to);
        QCOMPARE(s.records, qint64(expected.size()));
        QCOMPARE(s.events.value('A') + s.events.value('N'), alarms);
        QCOMPARE(s.peakDoseRate, peak);
    }
    QCOMPARE(archive.settingsLog(QString()).size(), 11);
    archive.close();
    QCOMPARE(fileValue(file, "PRAGMA user_version"), QString::number(Archive::schemaVersion));
}

void TestArchiveUpgrade::killedDuringUpgrade()
{
    // The old archive grown to 300,000 records (bytes as a pager's, scattered
    // through the old key), so that the upgrade lasts long enough to be
    // killed in; each kill leaves the old or the new archive, whole.
    const QString file = dir.filePath("killed.sqlite");
    QVERIFY(QFile::copy(QStringLiteral(TEST_DATA "/version2.sqlite"), file));
    QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    fileValue(file, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
                    "300000) INSERT INTO records SELECT 1, randomblob(16), 1, i * 60, 1 FROM n");
    const QString total = fileValue(file, "SELECT COUNT(*) FROM records");
    QVERIFY(total.toInt() > 300000);
    qputenv("DR7326G_ARCHIVE", file.toLocal8Bit());
    int killedOld = 0, delayMs = 20;
    for (;; delayMs *= 2) {
        QProcess *cli = startCli({"archive", "list"});
        const bool ended = cli->waitForFinished(delayMs);
        if (!ended)
            ::kill(pid_t(cli->processId()), SIGKILL);
        cli->waitForFinished(5000);
        delete cli;
        const QString version = fileValue(file, "PRAGMA user_version");
        // Each version's step is a transaction of its own.
        QVERIFY2(version.toInt() >= 2 && version.toInt() <= Archive::schemaVersion,
                 qPrintable(version));
        QCOMPARE(fileValue(file, "SELECT COUNT(*) FROM records"), total);
        QCOMPARE(fileValue(file, "PRAGMA integrity_check"), QString("ok"));
        if (version == "2")
            ++killedOld;
        if (ended || delayMs > 60000)
            break;
    }
    qunsetenv("DR7326G_ARCHIVE");
    QVERIFY2(killedOld > 0, "no kill fell within the upgrade");
    QCOMPARE(fileValue(file, "PRAGMA user_version"), QString::number(Archive::schemaVersion));
}

void TestArchiveUpgrade::serverOfVersion2()
{
    if (!testServerAvailable())
        QSKIP("SKIPPED: no test server (PGHOST)");
    QString error;
    const ArchiveServer server = freshTestDatabase("tst_upgrade_v2", &error);
    QVERIFY2(server.isSet(), qPrintable(error));
    QFile setup(QStringLiteral(TEST_DATA "/server-version2.sql"));
    QVERIFY(setup.open(QIODevice::ReadOnly));
    QVERIFY2(runOnTestServer("tst_upgrade_v2", QString::fromUtf8(setup.readAll()), &error),
             qPrintable(error));
    // Dose-rate bytes (8-11) the program decodes to 0, to the smallest and
    // largest numbers, to infinity and to no number, and two ordinary ones:
    // the server's upgrade must decode each as the program does.
    const QList<QByteArray> rates{"00010000", "00000000", "0100FFFF", "00000100",
                                  "FFFFFFFF", "807F0000", "FF7F0100", "3E7E1234"};
    QList<QByteArray> stored;
    QStringList rows;
    for (int i = 0; i < rates.size(); ++i) {
        stored << QByteArray::fromHex(QByteArray::number(i + 1, 16).rightJustified(2, '0') +
                                      "0000" + (i % 2 ? "41" : "46") + "00000000" + rates.at(i) +
                                      "00008000");
        rows << QStringLiteral("(1, '\\x%1', 1, %2, 1)")
                    .arg(QString::fromLatin1(stored.last().toHex()))
                    .arg(i * 60);
    }
    QVERIFY2(runOnTestServer("tst_upgrade_v2",
                             "INSERT INTO pagers (serial) VALUES ('05A00317'); "
                             "INSERT INTO downloads (pager, origin, zone, outcome, pages, records, "
                             "new_records, stored_at, digest, dump_size, dump) VALUES (1, 'dump', "
                             "'UTC', 'complete', 1, 8, 8, 0, 'd', 0, '\\x00'); "
                             "INSERT INTO records (pager, stored, copy, time, download) VALUES " +
                                 rows.join(", "),
                             &error),
             qPrintable(error));
    Archive archive;
    QVERIFY2(archive.openServer(server, &error), qPrintable(error));
    QCOMPARE(archive.pagers().first().alarms, qint64(4));
    for (int i = 0; i < rates.size(); ++i) {
        const QVariant rate = archiveRecordDoseRate(stored.at(i));
        const QString held = testServerValue(
            "tst_upgrade_v2",
            QStringLiteral("SELECT COALESCE(dose_rate::text, 'null') FROM records WHERE time = %1")
                .arg(i * 60));
        QVERIFY2(rate.isNull() ? held == "null" : held.toDouble() == rate.toDouble(),
                 qPrintable(QStringLiteral("%1: %2 on the server, %3 here")
                                .arg(QString::fromLatin1(rates.at(i)), held,
                                     rate.isNull() ? "null" : QString::number(rate.toDouble()))));
    }
}

void TestArchiveUpgrade::flagsOfVersion3()
{
    // An archive of version 3 made from one of now by taking the flags
    // (and what came after them) away: the upgrade finds each record's flags again from its
    // download's dump, the same as a store gives them, and counts them by hour.
    const QString file = dir.filePath("flags3.sqlite");
    QList<int> minutes;
    for (int m = 10; m <= 400; m += 10)
        minutes << m;
    minutes << 200 << 5000; // backwards, then a gap
    {
        Archive archive;
        QVERIFY(archive.open(file, nullptr));
        QVERIFY(archive.importDump(historyDumpOf("05A00317", minutes)).ok);
        QVERIFY(archive.importDump(historyDumpOf("05A00317", {10, 20, 5, 30}, true, 60)).ok);
    }
    const QString flags = "SELECT group_concat(flags) FROM (SELECT flags FROM records ORDER BY "
                          "time, stored, copy)";
    const QString hours = "SELECT group_concat(flagged) FROM (SELECT flagged FROM record_hours "
                          "ORDER BY hour)";
    // And each download's review reasons, found again from its records.
    const QString reviews = "SELECT group_concat(review) FROM downloads";
    const QString flagsStored = fileValue(file, flags), hoursStored = fileValue(file, hours),
                  reviewsStored = fileValue(file, reviews);
    QVERIFY2(flagsStored.contains(QString::number(recordflag::Backwards | recordflag::DoseFall)) &&
                 flagsStored.contains(QString::number(recordflag::Gap)),
             qPrintable(flagsStored));
    for (const char *sql :
         {"DROP TABLE signatures", "DROP INDEX downloads_review",
          "ALTER TABLE downloads DROP COLUMN review", "ALTER TABLE records DROP COLUMN flags",
          "ALTER TABLE record_hours DROP COLUMN flagged", "DROP TABLE wearer_events",
          "DROP TABLE sync_progress", "DROP TABLE calibrations",
          "ALTER TABLE downloads DROP COLUMN overdue_since",
          "ALTER TABLE downloads DROP COLUMN clock_offset",
          "ALTER TABLE parameter_reads DROP COLUMN clock_offset",
          "ALTER TABLE setting_changes DROP COLUMN clock_offset",
          "ALTER TABLE sync_state DROP COLUMN calibrations", "DROP INDEX downloads_digest",
          "DELETE FROM meta WHERE name = 'chain_head'",
          "CREATE UNIQUE INDEX downloads_digest ON downloads(pager, digest)",
          "ALTER TABLE downloads DROP COLUMN records_digest",
          "UPDATE meta SET value = '3' WHERE name = 'schema'", "PRAGMA user_version = 3"})
        fileValue(file, sql);
    for (const char *table : {"downloads", "parameter_reads", "setting_changes"})
        for (const char *column : {"chain_archive", "chain_seq", "chain_hash"})
            fileValue(file, QStringLiteral("ALTER TABLE %1 DROP COLUMN %2").arg(table, column));
    QVERIFY(fileValue(file, "SELECT flags FROM records").startsWith("error: "));
    QCOMPARE(fileValue(file, "PRAGMA user_version"), QString("3"));
    {
        Archive archive;
        QString error;
        QVERIFY2(archive.open(file, &error), qPrintable(error));
        // The events held, with their records, became the archive's chain.
        const ArchiveVerifyResult chain = archive.verifyChains();
        QVERIFY2(chain.ok && chain.intact && chain.events == 2, qPrintable(chain.what));
    }
    QCOMPARE(fileValue(file, "PRAGMA user_version"), QString::number(Archive::schemaVersion));
    QCOMPARE(fileValue(file, flags), flagsStored);
    QCOMPARE(fileValue(file, hours), hoursStored);
    QCOMPARE(fileValue(file, reviews), reviewsStored);
}

QTEST_GUILESS_MAIN(TestArchiveUpgrade)
#include "tst_archiveupgrade.moc"
