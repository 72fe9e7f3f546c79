// The lab's server filled from PCs' archives: each record, download, read and
// change kept once however often and from how many PCs it is sent, also by
// two PCs sending at the same moment; a download stored on the PC when the
// server is down, and sent by the next sync; a serial number shaped like SQL
// kept as text.
#include "archive.h"
#include "archiveserver.h"
#include "support/cliprocess.h"
#include "support/dumpfixture.h"
#include "support/emulatorprocess.h"
#include "support/testserver.h"

#include <QTemporaryDir>
#include <QtTest>

using Downloads = QList<QList<int>>; // a PC's downloads, each its minute counts

namespace {

const QDateTime epoch = QDateTime::fromSecsSinceEpoch(0);
const QDateTime farAway = QDateTime::fromSecsSinceEpoch(qint64(1) << 33);

// A PC's archive holding `downloads` of `serial` (the PC's `pc`-th), a
// parameter read and a setting change.
QString pcArchive(const QTemporaryDir &dir, const QString &name, const QString &serial,
                  const Downloads &downloads, int pc)
{
    const QString file = dir.filePath(name + ".sqlite");
    Archive archive;
    if (!archive.open(file, nullptr))
        return QString();
    for (int i = 0; i < downloads.size(); ++i)
        if (!archive
                 .storeHistory(historyDumpOf(serial, downloads.at(i), true, 3600 * (i + 100 * pc)),
                               ArchiveOutcome::Complete, "download")
                 .ok)
            return QString();
    archive.storeParameterRead({serial, {{setting::gammaSigma, "3"}}}, nullptr);
    archive.storeSettingChange(serial, setting::gammaSigma, "4", SettingOutcome::Stored, nullptr);
    return file;
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

DR7326G_SERVER_TEST_MAIN(TestArchiveServer, true)
#include "tst_archiveserver.moc"
