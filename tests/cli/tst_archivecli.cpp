// The archive group of the command-line tool: in-process for what it prints
// (import then records equals decode of the same dump), as processes for
// what only processes show (a killed import, two writers at once, the
// pager commands storing into the archive against the emulator).
#include "archive.h"
#include "archivecommands.h"
#include "historytable.h"
#include "support/dumpfixture.h"
#include "support/emulatorprocess.h"

#include <QStandardItemModel>
#include <QtTest>

namespace {

struct Run
{
    int code = -1;
    QString out;
    QString err;
};

Run group(const QStringList &args)
{
    Run r;
    QTextStream out(&r.out);
    QTextStream err(&r.err);
    r.code = runArchiveGroup(QStringList{QStringLiteral("dr7326g-cli")} + args, out, err);
    return r;
}

QProcess *startCli(const QStringList &args, const QString &runtime = QString())
{
    auto *p = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!runtime.isEmpty())
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    p->setProcessEnvironment(env);
    p->start(QStringLiteral(DR7326G_CLI), args);
    p->waitForStarted(5000);
    return p;
}

Run finish(QProcess *p)
{
    Run r;
    if (p->waitForFinished(120000) && p->exitStatus() == QProcess::NormalExit)
        r.code = p->exitCode();
    r.out = QString::fromUtf8(p->readAllStandardOutput());
    r.err = QString::fromUtf8(p->readAllStandardError());
    delete p;
    return r;
}

QList<int> range(int from, int count)
{
    QList<int> minutes;
    for (int i = 0; i < count; ++i)
        minutes << from + i;
    return minutes;
}

} // namespace

class TestArchiveCli : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
    QString saveDump(const QString &name, const HistoryDump &dump) const
    {
        saveHistoryDump(dump, path(name), nullptr);
        return path(name);
    }

private slots:
    void importThenRecordsEqualsDecode();
    void recordsOfPeriod_data();
    void recordsOfPeriod();
    void killedImport_data();
    void killedImport();
    void twoWritersAtOnce();
    void pagerCommandsStoreIntoArchive();
};

void TestArchiveCli::importThenRecordsEqualsDecode()
{
    const QString archive = path(QStringLiteral("roundtrip.sqlite"));
    HistoryDump dump = historyDumpOf(QStringLiteral("05A00317"), range(60000, 40) << 60010);
    dump.timeZoneId = QByteArrayLiteral("Asia/Tokyo"); // shown in its own zone, not the PC's
    const QString file = saveDump(QStringLiteral("d.dump"), dump);
    Run r = group({QStringLiteral("--archive"), archive, QStringLiteral("archive"),
                   QStringLiteral("import"), file});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QVERIFY(r.out.contains(QLatin1String("41 records, 41 new")));

    QList<HistoryRecord *> records;
    QVERIFY(decodeHistoryDump(dump, records));
    // The archive shows records in time order, a record held twice beside its first copy.
    std::stable_sort(
        records.begin(), records.end(),
        [](const HistoryRecord *a, const HistoryRecord *b) { return a->time < b->time; });
    QStandardItemModel decoded;
    setupHistoryModel(&decoded);
    fillHistoryTable(&decoded, records, dump.timeZone());
    qDeleteAll(records);
    QStringList lines;
    for (int row = 0; row < decoded.rowCount(); ++row) {
        QStringList cells;
        for (int c = 0; c < decoded.columnCount(); ++c)
            cells << decoded.index(row, c).data().toString();
        lines << cells.join('\t');
    }
    r = group({QStringLiteral("--archive"), archive, QStringLiteral("archive"),
               QStringLiteral("records"), QStringLiteral("05A00317")});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out.split('\n', Qt::SkipEmptyParts), lines);

    // The stored download back as a file is the dump imported.
    r = group({QStringLiteral("--archive"), archive, QStringLiteral("archive"),
               QStringLiteral("dump"), QStringLiteral("1"), path(QStringLiteral("back.dump"))});
    QCOMPARE(r.code, 0);
    QFile a(file), b(path(QStringLiteral("back.dump")));
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    QCOMPARE(b.readAll(), a.readAll());
    // Options of another command are refused by this one's parser.
    QCOMPARE(group({QStringLiteral("--archive"), archive, QStringLiteral("archive"),
                    QStringLiteral("list"), QStringLiteral("--csv"), path("x.csv")})
                 .code,
             2);
}

void TestArchiveCli::recordsOfPeriod_data()
{
    // Records at 1999-01-01 23:59 (1439 minutes), 1999-01-02 00:00 and
    // 1999-01-03 00:00, device time in UTC; both days of a period count whole.
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("rows");
    QTest::newRow("all") << "05A00317" << QStringList{} << 0 << 3;
    QTest::newRow("one day, its last minute")
        << "05A00317" << QStringList{"--to", "1999-01-01"} << 0 << 1;
    QTest::newRow("from the next midnight")
        << "05A00317" << QStringList{"--from", "1999-01-02"} << 0 << 2;
    QTest::newRow("a day without records")
        << "05A00317" << QStringList{"--from", "1999-01-04"} << 0 << 0;
    QTest::newRow("no file for an empty period")
        << "05A00317" << QStringList{"--from", "1999-01-04", "--csv", "empty.csv"} << 1 << 0;
    QTest::newRow("not a date") << "05A00317" << QStringList{"--from", "01.02.1999"} << 2 << 0;
    QTest::newRow("another pager") << "05A00999" << QStringList{} << 1 << 0;
}

void TestArchiveCli::recordsOfPeriod()
{
    QFETCH(QString, serial);
    QFETCH(QStringList, options);
    QFETCH(int, code);
    QFETCH(int, rows);
    const QString archive = path(QStringLiteral("period.sqlite"));
    if (!QFileInfo::exists(archive))
        QCOMPARE(group({"--archive", archive, "archive", "import",
                        saveDump("p.dump", historyDumpOf("05A00317", {1439, 1440, 2880}))})
                     .code,
                 0);
    for (QString &o : options)
        if (o.endsWith(QLatin1String(".csv")))
            o = path(o);
    const Run r = group(QStringList{"--archive", archive, "archive", "records", serial} + options);
    QCOMPARE(r.code, code);
    QCOMPARE(r.out.count('\n'), rows);
    QVERIFY(!QFileInfo::exists(path("empty.csv")));
}

void TestArchiveCli::killedImport_data()
{
    // When the child is killed, as a share of the time a whole import takes:
    // while it decodes, inserts, or commits.
    QTest::addColumn<double>("share");
    for (const double share : {0.3, 0.6, 0.8, 0.95})
        QTest::addRow("at %d%%", int(share * 100)) << share;
}

void TestArchiveCli::killedImport()
{
    QFETCH(double, share);
    const int count = 100000;
    const QString sn = QStringLiteral("05A00317");
    static const QString file =
        saveDump(QStringLiteral("big.dump"), historyDumpOf(sn, range(1, count)));
    auto import = [&](const QString &archive) {
        return startCli({QStringLiteral("--archive"), archive, QStringLiteral("archive"),
                         QStringLiteral("import"), file});
    };
    static qint64 whole = 0;
    if (!whole) {
        QElapsedTimer t;
        t.start();
        QCOMPARE(finish(import(path(QStringLiteral("whole.sqlite")))).code, 0);
        whole = t.elapsed();
    }
    const QString archive = path(QStringLiteral("killed-%1.sqlite").arg(share));
    QProcess *p = import(archive);
    QThread::msleep(static_cast<unsigned long>(share * double(whole)));
    p->kill();
    finish(p);

    // Nothing of the download, or all of it.
    Archive opened;
    QString error;
    QVERIFY2(opened.open(archive, &error), qPrintable(error));
    const QList<ArchivePager> pagers = opened.pagers();
    const qint64 kept = pagers.isEmpty() ? 0 : pagers.first().records;
    QVERIFY2(kept == 0 || kept == count, qPrintable(QString::number(kept)));
    QCOMPARE(opened.downloads(sn).size(), kept ? 1 : 0);
    const ArchiveStoreResult again = opened.importDump(historyDumpOf(sn, range(1, count)));
    QVERIFY2(again.ok, qPrintable(again.error));
    QCOMPARE(kept + again.newRecords, qint64(count));
}

void TestArchiveCli::twoWritersAtOnce()
{
    const QString archive = path(QStringLiteral("two.sqlite"));
    QList<QProcess *> writers;
    for (int i = 0; i < 2; ++i)
        writers << startCli(
            {QStringLiteral("--archive"), archive, QStringLiteral("archive"),
             QStringLiteral("import"),
             saveDump(QStringLiteral("w%1.dump").arg(i),
                      historyDumpOf(QStringLiteral("05A00317"), range(1 + 20000 * i, 30000)))});
    for (QProcess *w : writers) {
        const Run r = finish(w);
        QVERIFY2(r.code == 0, qPrintable(r.err));
    }
    const Run r = group(
        {QStringLiteral("--archive"), archive, QStringLiteral("archive"), QStringLiteral("list")});
    QVERIFY2(r.out.contains(QLatin1String("05A00317\t50000\t")), qPrintable(r.out));
}

void TestArchiveCli::pagerCommandsStoreIntoArchive()
{
    QTemporaryDir runtime;
    EmulatorProcess emulator(runtime.path());
    QVERIFY(
        emulator.start({QStringLiteral("--baud"), QStringLiteral("0"), QStringLiteral("--records"),
                        QStringLiteral("20"), QStringLiteral("--refuse-writes")}));
    const QString archive = path(QStringLiteral("pager.sqlite"));
    const QStringList a{QStringLiteral("--archive"), archive};
    for (int i = 0; i < 2; ++i)
        QCOMPARE(
            finish(startCli(a + QStringList{QStringLiteral("history"), QStringLiteral("--dump"),
                                            path(QStringLiteral("h.dump"))},
                            runtime.path()))
                .code,
            0);
    QCOMPARE(finish(startCli(a + QStringList{QStringLiteral("params")}, runtime.path())).code, 0);
    QCOMPARE(
        finish(startCli(a + QStringList{QStringLiteral("set-gamma-sigma"), QStringLiteral("4")},
                        runtime.path()))
            .code,
        4);
    // Without the archive nothing is stored.
    QCOMPARE(
        finish(startCli(a + QStringList{QStringLiteral("--no-archive"), QStringLiteral("params")},
                        runtime.path()))
            .code,
        0);
    Run r = group(a + QStringList{QStringLiteral("archive"), QStringLiteral("import"),
                                  path(QStringLiteral("h.dump"))});
    QVERIFY(r.out.contains(QLatin1String("already in the archive")));
    r = group(a + QStringList{QStringLiteral("archive"), QStringLiteral("records"),
                              QStringLiteral("05A00317")});
    QCOMPARE(r.out.count('\n'), 20);
    r = group(a + QStringList{QStringLiteral("archive"), QStringLiteral("log")});
    QCOMPARE(r.out.count(QLatin1String("\tread\n")), 5);
    QVERIFY2(r.out.contains(QLatin1String("\tgamma-sigma\t3\t4\trefused\n")), qPrintable(r.out));
}

QTEST_MAIN(TestArchiveCli)
#include "tst_archivecli.moc"
