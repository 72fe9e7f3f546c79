// The lab's server filled from PCs' archives: each record, download, read,
// change and calibration kept once (with the clock offsets and the overdue
// mark of the contacts) however often and from how many PCs it is sent, also by
// two PCs sending at the same moment; a download stored on the PC when the
// server is down, and sent by the next sync; a serial number shaped like SQL
// kept as text; what the server refuses, or a server that stops answering,
// neither blocks the rest nor holds the tool.
#include "archive.h"
#include "archiverecordmodel.h"
#include "archiveserver.h"
#include "csvexport.h"
#include "support/cliprocess.h"
#include "support/dumpfixture.h"
#include "support/emulatorprocess.h"
#include "support/testserver.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <sys/types.h>

using Downloads = QList<QList<int>>; // a PC's downloads, each its minute counts

namespace {

const QDateTime epoch = QDateTime::fromSecsSinceEpoch(0);
const QDateTime farAway = QDateTime::fromSecsSinceEpoch(qint64(1) << 33);

// A PC's archive holding a calibration of `serial` due before its
// `downloads` (the PC's `pc`-th, the first one signed), a parameter read and
// a setting change, each contact with a clock offset.
QString pcArchive(const QTemporaryDir &dir, const QString &name, const QString &serial,
                  const Downloads &downloads, int pc)
{
    const QString file = dir.filePath(name + ".sqlite");
    Archive archive;
    Calibration calibration;
    calibration.serialNumber = serial;
    calibration.date = QDate(2024, 12, 20);
    calibration.certificate = QStringLiteral("C-%1").arg(pc);
    if (!archive.open(file, nullptr) || !archive.storeCalibration(calibration, nullptr))
        return QString();
    for (int i = 0; i < downloads.size(); ++i)
        if (!archive
                 .storeHistory(historyDumpOf(serial, downloads.at(i), true, 3600 * (i + 100 * pc)),
                               ArchiveOutcome::Complete, "download", 5)
                 .ok)
            return QString();
    // Every download is to review (made overdue); the first one signed.
    if (!archive.signDownload(1, SignatureMeaning::Accepted, QString(), QString(), QDateTime(),
                              nullptr))
        return QString();
    archive.storeParameterRead({serial, {{setting::gammaSigma, "3"}}, 6}, nullptr);
    archive.storeSettingChange(serial, setting::gammaSigma, "4", SettingOutcome::Stored, nullptr,
                               7);
    // A wearer of the PC's own, given the pager for eight hours and back;
    // each PC's four hours after the one before: on the server they overlap.
    const QString wearer = QStringLiteral("W%1").arg(pc);
    const QDateTime given = QDateTime(QDate(2026, 1, 1), QTime(8 + 4 * pc, 0));
    if (!archive.addWearer(wearer, QStringLiteral("Носитель %1").arg(pc), nullptr) ||
        !archive.assignPager(serial, wearer, given, QDateTime(), nullptr) ||
        !archive.returnPager(serial, given.addSecs(8 * 3600), nullptr))
        return QString();
    return file;
}

// Printable text that does not compress: too long for an index row.
QString noise(int size)
{
    QString text;
    quint32 state = 7;
    for (int i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        text += QChar(0x21 + int((state >> 16) % 94));
    }
    return text;
}

// Gives a pager of the PC's archive another serial number, past the checks
// of the program's own storing (as an archive of an older version may hold).
bool renamePager(const QString &file, const QString &from, const QString &to)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "test-rename");
        db.setDatabaseName(file);
        QSqlQuery query(db);
        ok = db.open() && query.prepare("UPDATE pagers SET serial = ? WHERE serial = ?");
        query.addBindValue(to);
        query.addBindValue(from);
        ok = ok && query.exec() && query.numRowsAffected() == 1;
    }
    QSqlDatabase::removeDatabase("test-rename");
    return ok;
}

} // namespace

class TestArchiveServer : public QObject
{
    Q_OBJECT

private slots:
    void sync_data();
    void sync();
    void pcsAtOnce();
    void serverDownDuringDownload();
    void serverFaults_data();
    void serverFaults();
    void roles_data();
    void roles();

private:
    QTemporaryDir dir;
};

void TestArchiveServer::sync_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QList<Downloads>>("pcs");
    QTest::addColumn<int>("records");
    QTest::newRow("one PC, overlapping downloads")
        << "05A00317" << QList<Downloads>{{{1, 2, 3}, {2, 3, 4}}} << 4;
    QTest::newRow("two PCs, one pager")
        << "05A00317" << QList<Downloads>{{{1, 2, 3}}, {{2, 3, 4, 4}}} << 5;
    QTest::newRow("serial shaped like SQL")
        << "05A');DROP/**/TABLE/**/records;--" << QList<Downloads>{{{1, 2}}} << 2;
}

void TestArchiveServer::sync()
{
    QFETCH(QString, serial);
    QFETCH(QList<Downloads>, pcs);
    QFETCH(int, records);
    const QString db = QStringLiteral("tst_sync_%1")
                           .arg(QTest::currentDataTag()[0] == 'o'   ? 1
                                : QTest::currentDataTag()[0] == 't' ? 2
                                                                    : 3);
    QString error;
    const ArchiveServer server = freshTestDatabase(db, &error);
    QVERIFY2(server.isSet(), qPrintable(error));
    QStringList files;
    int downloads = 0;
    for (int pc = 0; pc < pcs.size(); ++pc) {
        files << pcArchive(dir, db + QString::number(pc), serial, pcs.at(pc), pc);
        QVERIFY(!files.last().isEmpty());
        downloads += pcs.at(pc).size();
    }
    // Everything goes the first time; the second time finds nothing new.
    for (int round = 0; round < 2; ++round)
        for (const QString &file : files) {
            const ArchiveSyncResult result = synchronizeArchive(file, server);
            QVERIFY2(result.ok, qPrintable(result.error));
            QCOMPARE(result.nothingNew(), round == 1);
        }
    Archive lab;
    QVERIFY2(lab.openServer(server, &error), qPrintable(error));
    QCOMPARE(lab.recordPage(serial, epoch, farAway, nullptr, 1000).size(), records);
    QCOMPARE(lab.downloads(serial).size(), downloads);
    QCOMPARE(lab.downloads(serial).first().pc, archivePcName());
    QCOMPARE(lab.settingsLog(serial).size(), 2 * pcs.size()); // a read and a change a PC
    QCOMPARE(lab.pagers().size(), 1);
    QCOMPARE(lab.pagers().first().serialNumber, serial);
    QCOMPARE(testServerValue(db, "SELECT COUNT(*) FROM records"), QString::number(records));
    // Each PC's wearer, and its assignment with its return.
    QCOMPARE(lab.wearers().size(), pcs.size());
    const QList<ArchiveAssignment> assignments = lab.assignments();
    QCOMPARE(assignments.size(), pcs.size());
    for (const ArchiveAssignment &a : assignments) {
        QCOMPARE(a.serialNumber, serial);
        QCOMPARE(a.from.secsTo(a.to), qint64(8 * 3600));
        // Both kept, each naming the other.
        QCOMPARE(a.overlapWearer.isEmpty(), pcs.size() == 1);
    }
    QCOMPARE(lab.calibrations(serial).size(), pcs.size());
    QCOMPARE(lab.calibrationStateOf(serial, QDate(2026, 1, 1)).status, CalibrationStatus::Overdue);
    QCOMPARE(lab.downloads(serial).first().overdueSince, QDate(2025, 12, 20));
    QCOMPARE(lab.clockOffsets(serial).size(), downloads + 2 * pcs.size());
    // Each PC's signature, and the downloads' reasons for review.
    QCOMPARE(testServerValue(db, "SELECT COUNT(*) FROM signatures"), QString::number(pcs.size()));
    QCOMPARE(lab.pendingReviews().size(), downloads - pcs.size());
    // Each PC's chain as it was made, checked per PC; an event changed there
    // is named.
    const ArchiveVerifyResult chains = lab.verifyChains();
    QVERIFY2(chains.ok && chains.intact, qPrintable(chains.error + chains.what));
    QCOMPARE(chains.chains, pcs.size());
    QVERIFY(runOnTestServer(db, "UPDATE calibrations SET note = 'corrected' WHERE id = 1"));
    QCOMPARE(lab.verifyChains().table, QStringLiteral("calibrations"));
}

void TestArchiveServer::pcsAtOnce()
{
    // Two PCs read one pager again and again, with overlapping records, and
    // send all of it at the same moment.
    QString error;
    const ArchiveServer server = freshTestDatabase("tst_sync_at_once", &error);
    QVERIFY2(server.isSet(), qPrintable(error));
    QList<QProcess *> syncs;
    for (int pc = 0; pc < 2; ++pc) {
        Downloads downloads;
        for (int i = 0; i < 10; ++i)
            downloads << range(500 * i + 250 * pc + 1, 1000); // 0 would end the history
        const QString file =
            pcArchive(dir, QStringLiteral("at_once_%1").arg(pc), "05A00317", downloads, pc);
        QVERIFY(!file.isEmpty());
        syncs << startCli({"archive", "sync", "--archive", file, "--server", server.uri()});
    }
    for (QProcess *p : syncs) {
        const Run r = finish(p);
        QVERIFY2(r.code == 0, qPrintable(r.err));
    }
    // Minutes 1 to 500 * 9 + 250 + 1000, each once; every download and event.
    const QString db = "tst_sync_at_once";
    QCOMPARE(testServerValue(db, "SELECT COUNT(*) FROM records"), QString("5750"));
    QCOMPARE(testServerValue(db, "SELECT COUNT(*) FROM downloads"), QString("20"));
    QCOMPARE(testServerValue(db, "SELECT SUM(new_records) FROM downloads"), QString("5750"));
    QCOMPARE(testServerValue(db, "SELECT COUNT(*) FROM setting_changes"), QString("2"));
}

void TestArchiveServer::serverDownDuringDownload()
{
    QString error;
    const ArchiveServer server = freshTestDatabase("tst_sync_down", &error);
    QVERIFY2(server.isSet(), qPrintable(error));
    EmulatorProcess emulator(dir.path());
    QVERIFY(emulator.start());
    const QString file = dir.filePath("down.sqlite");
    // Nothing listens on port 1.
    const Run history = finish(startCli(
        {"history", "--archive", file, "--server", "postgresql://127.0.0.1:1/lab"}, dir.path()));
    QCOMPARE(history.code, 0);
    QCOMPARE(history.err.count("not sent to the lab server"), 1);
    Archive local;
    QVERIFY(local.open(file, nullptr));
    QCOMPARE(local.pagers().value(0).records, qint64(200));
    local.close();
    const Run sync =
        finish(startCli({"archive", "sync", "--archive", file, "--server", server.uri()}));
    QVERIFY2(sync.code == 0, qPrintable(sync.err));
    QCOMPARE(testServerValue("tst_sync_down", "SELECT COUNT(*) FROM records"), QString("200"));
}

void TestArchiveServer::serverFaults_data()
{
    QTest::addColumn<QString>("serial");  // of the PC's first pager
    QTest::addColumn<QString>("rule");    // the lab's, added to the server
    QTest::addColumn<bool>("locked");     // another session locks the records
    QTest::addColumn<QString>("stopped"); // a server process stopped: the sync's or the main one
    QTest::addColumn<QString>("told");
    const QString none;
    QTest::newRow("check") << "05A-BAD"
                           << "ALTER TABLE pagers ADD CONSTRAINT lab CHECK (serial <> '05A-BAD')"
                           << false << none << "refused download 1 (pager 05A-BAD, ";
    QTest::newRow("index row") << noise(6000) << none << false << none << "... (6000 characters), ";
    QTest::newRow("NUL") << QString::fromUtf8("05A\0x", 5) << none << false << none
                         << "refused download 1 (pager 05A\\x00x, ";
    QTest::newRow("locked") << "05A-FIRST" << none << true << none << "did not answer within 1 s";
    QTest::newRow("sync's process stopped") << "05A-FIRST" << none << true << "sync"
                                            << "did not answer within 3 s";
    QTest::newRow("postmaster stopped") << "05A-FIRST" << none << false << "postmaster"
                                        << "timeout expired; nothing was sent";
}

void TestArchiveServer::serverFaults()
{
    QFETCH(QString, serial);
    QFETCH(QString, rule);
    QFETCH(bool, locked);
    QFETCH(QString, stopped);
    QFETCH(QString, told);
    const QString db =
        QStringLiteral("tst_fault_%1").arg(QChar(QTest::currentDataTag()[0]).toLower());
    QString error;
    const ArchiveServer server = freshTestDatabase(db, &error);
    QVERIFY2(server.isSet(), qPrintable(error));
    QVERIFY2(Archive().openServer(server, &error), qPrintable(error));
    QVERIFY2(rule.isEmpty() || runOnTestServer(db, rule, &error), qPrintable(error));
    // The faulty pager's calibration, download, read and change, then a good pager's
    // download and read.
    const QString file = pcArchive(dir, db, "05A-FIRST", {{1, 2, 3}}, 0);
    QVERIFY(!file.isEmpty());
    {
        Archive pc;
        QVERIFY(pc.open(file, nullptr));
        QVERIFY(pc.storeHistory(historyDumpOf("05A00317", {1, 2}, true, 7200),
                                ArchiveOutcome::Complete, "download")
                    .ok);
        QVERIFY(pc.storeParameterRead({"05A00317", {{setting::gammaSigma, "3"}}}, nullptr));
    }
    QVERIFY(serial == "05A-FIRST" || renamePager(file, "05A-FIRST", serial));

    QSqlDatabase locker = QSqlDatabase::addDatabase("QPSQL", "test-locker");
    locker.setDatabaseName(db);
    QVERIFY(locker.open());
    QSqlQuery lock(locker);
    QVERIFY(!locked ||
            (lock.exec("BEGIN") && lock.exec("LOCK TABLE records IN ACCESS EXCLUSIVE MODE")));
    qint64 stop = 0;
    if (stopped == "postmaster") {
        stop = testServerValue(db, "SELECT split_part(pg_read_file('postmaster.pid'), E'\\n', 1)")
                   .toLongLong();
        QVERIFY(stop && ::kill(pid_t(stop), SIGSTOP) == 0);
    }
    qputenv("DR7326G_SERVER_TIMEOUT", stopped == "sync" ? "3" : "1");
    QProcess *sync = startCli({"archive", "sync", "--archive", file, "--server",
                               server.uri() + (stop ? "?connect_timeout=1" : "")});
    qunsetenv("DR7326G_SERVER_TIMEOUT");
    // The sync's server process, once it waits for the lock.
    for (int i = 0; stopped == "sync" && !stop && i < 300; ++i) {
        QThread::msleep(10);
        stop = testServerValue(db, "SELECT pid FROM pg_stat_activity WHERE application_name = "
                                   "'dr7326g' AND wait_event_type = 'Lock'")
                   .toLongLong();
        QVERIFY(!stop || ::kill(pid_t(stop), SIGSTOP) == 0);
    }
    QVERIFY(stopped.isEmpty() || stop);
    const Run first = finish(sync);
    if (stop)
        ::kill(pid_t(stop), SIGCONT);
    if (locked)
        lock.exec("ROLLBACK");
    lock = QSqlQuery();
    locker.close();
    locker = QSqlDatabase();
    QSqlDatabase::removeDatabase("test-locker");

    QCOMPARE(first.code, 1);
    QVERIFY2(first.err.contains(told), qPrintable(first.err));
    if (locked || !stopped.isEmpty()) {
        // Nothing lost: the next sync sends all.
        const Run again =
            finish(startCli({"archive", "sync", "--archive", file, "--server", server.uri()}));
        QVERIFY2(again.code == 0, qPrintable(again.err));
        QCOMPARE(testServerValue(db, "SELECT COUNT(*) FROM records"), QString("5"));
        return;
    }
    // The faulty pager's download, read, change, calibration, its giving to
    // a wearer and its download's signature are named; the good download, and the read sent with
    // the refused one, went past them; the next sync names them again.
    QCOMPARE(first.err.count("refused"), 6);
    QCOMPARE(testServerValue(db, "SELECT COUNT(*) FROM records"), QString("2"));
    QCOMPARE(testServerValue(db, "SELECT COUNT(*) FROM parameter_reads"), QString("1"));
    const Run again =
        finish(startCli({"archive", "sync", "--archive", file, "--server", server.uri()}));
    QCOMPARE(again.code, 1);
    QCOMPARE(again.err.count("refused"), 6);
    if (rule.isEmpty())
        return;
    // The lab lifts its rule: what it refused goes now.
    QVERIFY(runOnTestServer(db, "ALTER TABLE pagers DROP CONSTRAINT lab"));
    const Run lifted =
        finish(startCli({"archive", "sync", "--archive", file, "--server", server.uri()}));
    QVERIFY2(lifted.code == 0, qPrintable(lifted.err));
    QCOMPARE(testServerValue(db, "SELECT COUNT(*) FROM records"), QString("5"));
    QCOMPARE(testServerValue(db, "SELECT COUNT(*) FROM setting_changes"), QString("1"));
}

void TestArchiveServer::roles_data()
{
    QTest::addColumn<QString>("role");
    QTest::addColumn<int>("syncCode"); // the tool's exit status for a sync
    QTest::addColumn<int>("signCode");
    QTest::newRow("auditor") << "dr7326g_auditors" << 9 << 9;
    QTest::newRow("technician") << "dr7326g_technicians" << 0 << 9;
    QTest::newRow("reviewer") << "dr7326g_reviewers" << 0 << 0;
}

void TestArchiveServer::roles()
{
    QFETCH(QString, role);
    QFETCH(int, syncCode);
    QFETCH(int, signCode);
    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    const QString db = "tst_roles_" + tag;
    QString error;
    ArchiveServer server = freshTestDatabase(db, &error);
    QVERIFY2(server.isSet(), qPrintable(error));
    // The owner makes the roles (twice: the second time finds them) and
    // sends a PC's first download; the person with the role sends its second.
    Archive owner;
    QVERIFY2(owner.openServer(server, &error), qPrintable(error));
    for (int i = 0; i < 2; ++i)
        QVERIFY2(owner.setUpServerRoles(&error), qPrintable(error));
    const QString file = pcArchive(dir, db, "05A00317", {{1, 2, 3}}, 0);
    QVERIFY(!file.isEmpty());
    QVERIFY(synchronizeArchive(file, server).ok);
    {
        Archive pc;
        QVERIFY(pc.open(file, nullptr));
        QVERIFY(pc.storeHistory(historyDumpOf("05A00317", {4, 5}, true, 7200),
                                ArchiveOutcome::Complete, "download")
                    .ok);
    }
    const QString user = "tst_person_" + tag;
    QVERIFY2(runOnTestServer(db,
                             QString("DROP ROLE IF EXISTS %1; CREATE ROLE %1 LOGIN PASSWORD 'pw' "
                                     "IN ROLE %2")
                                 .arg(user, role),
                             &error),
             qPrintable(error));
    server.user = user;
    server.password = "pw";
    // Everyone lists, reads and exports.
    Archive lab;
    QVERIFY2(lab.openServer(server, &error), qPrintable(error));
    QCOMPARE(lab.pagers(&error).size(), 1);
    ArchiveRecordModel model(&lab);
    model.setPeriod("05A00317", epoch, farAway);
    QVERIFY(model.readAll(ArchiveRecordModel::Keep::All));
    QCOMPARE(model.rowCount(), 3);
    QVERIFY2(saveHistoryCsv(&model, QDate(2026, 1, 1), dir.filePath(db + ".csv"), &error),
             qPrintable(error));
    // Storing and signing as the role allows, a refusal told with the role.
    const QByteArray password = qgetenv("PGPASSWORD");
    qputenv("PGPASSWORD", "pw");
    const Run sync =
        finish(startCli({"archive", "sync", "--archive", file, "--server", server.uri()}));
    // A second signature of the PC's first download (signed there).
    const QString pending = QString::number(lab.downloads("05A00317").value(0).id);
    const Run sign = finish(
        startCli({"review", "sign", pending, "--meaning", "accepted", "--server", server.uri()}));
    qputenv("PGPASSWORD", password);
    QCOMPARE(sync.code, syncCode);
    QVERIFY2(sync.code == 0 || sync.err.contains("role dr7326g_technicians"), qPrintable(sync.err));
    QCOMPARE(testServerValue(db, "SELECT COUNT(*) FROM downloads"), syncCode ? "1" : "2");
    QCOMPARE(sign.code, signCode);
    QVERIFY2(sign.code == 0 || sign.err.contains("role dr7326g_reviewers"), qPrintable(sign.err));
    QCOMPARE(testServerValue(db, "SELECT COUNT(*) FROM signatures"), signCode ? "1" : "2");
}

DR7326G_SERVER_TEST_MAIN(TestArchiveServer, true)
#include "tst_archiveserver.moc"
