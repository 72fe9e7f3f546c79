// The archive group of the command-line tool: in-process for what it prints
// (import then records equals decode of the same dump), as processes for
// what only processes show (a killed import, two writers at once, the
// pager commands storing into the archive against the emulator, archives
// that are damaged or cannot be written here against the commands, and
// who may read the files the archive makes).
#include "archive.h"
#include "archivecommands.h"
#include "historyflags.h"
#include "instrumentcommands.h"
#include "reviewcommands.h"
#include "support/cliprocess.h"
#include "support/dumpfixture.h"
#include "support/emulatorprocess.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

namespace {

const QString sn = QStringLiteral("05A00317");

// The archive group in-process, on `archive`.
Run group(const QString &archive, const QStringList &args)
{
    Run r;
    QTextStream out(&r.out);
    QTextStream err(&r.err);
    r.code = runArchiveGroup(QStringList{"dr7326g-cli", "--archive", archive, "archive"} + args,
                             out, err);
    return r;
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
    void machineFilesAlikeInEveryLocale();
    void commands_data();
    void commands();
    void killedImport_data();
    void killedImport();
    void twoWritersAtOnce();
    void pagerCommandsStoreIntoArchive();
    void importNamesThePager_data();
    void importNamesThePager();
    void storedTextEscaped_data();
    void storedTextEscaped();
    void archiveStates_data();
    void archiveStates();
    void privateFiles();
    void wearersAndDose();
    void clockSetBeyond_data();
    void clockSetBeyond();
    void instrumentsDue_data();
    void instrumentsDue();
    void signedDownloadInJournal();
    void trailFindsEdits_data();
    void trailFindsEdits();
    void packageChecksWithSha256sum();
    void fleetApply();
};

void TestArchiveCli::trailFindsEdits_data()
{
    // The events: downloads 1 and 2 (the second brings one record more), a
    // setting change, a calibration; each edit is made outside the program.
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("named");
    QTest::newRow("event row changed") << "UPDATE setting_changes SET value_sent = '9'"
                                       << "setting_changes 1 ";
    QTest::newRow("dump changed") << "UPDATE downloads SET dump = x'00' WHERE id = 2"
                                  << "downloads 2 ";
    QTest::newRow("record changed")
        << "UPDATE records SET time = time + 60 WHERE download = 1 AND time = (SELECT MAX(time) "
           "FROM records WHERE download = 1)"
        << "downloads 1 ";
    QTest::newRow("row deleted") << "DELETE FROM setting_changes"
                                 << "calibrations 1 ";
    QTest::newRow("last row deleted") << "DELETE FROM calibrations"
                                      << "setting_changes 1 ";
}

void TestArchiveCli::trailFindsEdits()
{
    QFETCH(QString, edit);
    QFETCH(QString, named);
    const QString archive = path(QStringLiteral("trail-%1.sqlite").arg(QTest::currentDataTag()));
    QCOMPARE(group(archive, {"import", saveDump("t1.dump", historyDumpOf(sn, {1, 2, 3})),
                             saveDump("t2.dump", historyDumpOf(sn, {3, 4}, true, 60))})
                 .code,
             0);
    {
        Archive a;
        Calibration calibration;
        calibration.serialNumber = sn;
        calibration.date = QDate(2025, 1, 1);
        QVERIFY(
            a.open(archive, nullptr) &&
            a.storeSettingChange(sn, setting::gammaSigma, "4", SettingOutcome::Stored, nullptr) &&
            a.storeCalibration(calibration, nullptr));
    }
    Run r = group(archive, {"verify"});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.startsWith("4 events in 1 chains and 4 records"), qPrintable(r.out));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "edit");
        db.setDatabaseName(archive);
        QVERIFY(db.open() && QSqlQuery(db).exec(edit));
    }
    QSqlDatabase::removeDatabase("edit");
    r = group(archive, {"verify"});
    QCOMPARE(r.code, 8);
    QVERIFY2(r.err.contains(named), qPrintable(r.err));
}

void TestArchiveCli::packageChecksWithSha256sum()
{
    const QString archive = path("package.sqlite");
    QCOMPARE(group(archive, {"import", saveDump("k.dump", historyDumpOf(sn, {1439, 1440}))}).code,
             0);
    const Run r =
        group(archive, {"package", "--from", "1999-01-01", "--to", "2099-12-31", path("pkg")});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QProcess sum;
    sum.setWorkingDirectory(path("pkg"));
    sum.start("sha256sum", {"--check", "--strict", "SHA256SUMS"});
    QVERIFY(sum.waitForFinished());
    const QString checked = QString::fromUtf8(sum.readAllStandardOutput());
    QCOMPARE(sum.exitCode(), 0);
    for (const QString &file : {sn + ".csv", sn + ".pdf", QStringLiteral("dumps/%1-1.dump").arg(sn),
                                QStringLiteral("events.jsonl")})
        QVERIFY2(checked.contains(file + ": OK"), qPrintable(checked));
}

void TestArchiveCli::importThenRecordsEqualsDecode()
{
    const QString archive = path("roundtrip.sqlite");
    HistoryDump dump = historyDumpOf(sn, range(60000, 40) << 60010);
    dump.timeZoneId = QByteArrayLiteral("Asia/Tokyo"); // shown in its own zone, not the PC's
    const QString file = saveDump("d.dump", dump);
    Run r = group(archive, {"import", file});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QVERIFY(r.out.contains(QLatin1String("41 records, 41 new")));

    HistoryTableModel decoded;
    fillDecodedTable(&decoded, dump);
    QStringList lines;
    for (int row = 0; row < decoded.rowCount(); ++row) {
        QStringList cells;
        for (int c = 0; c < decoded.columnCount(); ++c)
            cells << decoded.index(row, c).data().toString();
        cells << recordFlagNames(
            std::uint8_t(decoded.index(row, 0).data(historyFlagsRole).toUInt()));
        lines << cells.join('\t');
    }
    r = group(archive, {"records", sn});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out.split('\n', Qt::SkipEmptyParts), lines);

    // The stored download back as a file is the dump imported.
    QCOMPARE(group(archive, {"dump", "1", path("back.dump")}).code, 0);
    QCOMPARE(fileBytes(path("back.dump")), fileBytes(file));
}

void TestArchiveCli::machineFilesAlikeInEveryLocale()
{
    // The files for programs: the same bytes whatever the PC's locale (a
    // decimal comma, a thousands separator), from the archive and from the dump.
    const QList<QByteArray> locales{"C", "ru_RU.UTF-8", "de_DE.UTF-8"};
    const QByteArray kept = setlocale(LC_ALL, nullptr);
    for (const QByteArray &locale : locales)
        if (!setlocale(LC_ALL, locale.constData()))
            QSKIP(qPrintable(QStringLiteral("locale %1 not installed (scripts/install-deps.sh "
                                            "--test generates it)")
                                 .arg(QString::fromLatin1(locale))));
    setlocale(LC_ALL, kept.constData());
    HistoryDump dump = historyDumpOf(sn, range(60000, 3));
    dump.timeZoneId = QByteArrayLiteral("Asia/Tokyo");
    const QString file = saveDump("locales.dump", dump);
    const QString archive = path("locales.sqlite");
    QCOMPARE(group(archive, {"import", file}).code, 0);
    QByteArray first;
    for (const QByteArray &locale : locales) {
        for (const QStringList &command :
             {QStringList{"--archive", archive, "archive", "records", sn}, {"decode", file}}) {
            const Run r = finish(startCli(
                command + QStringList{"--csv", path("m.csv"), "--format", "machine", "--jsonl",
                                      path("m.jsonl")},
                QString(), QStringLiteral("export LC_ALL=%1 LANG=%1").arg(QString(locale))));
            QVERIFY2(r.code == 0, qPrintable(r.err));
            const QByteArray bytes = fileBytes(path("m.csv")) + fileBytes(path("m.jsonl"));
            if (first.isEmpty())
                first = bytes;
            QCOMPARE(bytes, first);
        }
    }
    QVERIFY2(first.contains("\n1999-02-11T16:01:00+09:00,F,60001,1,2e-07,6.0000997,\n"),
             first.constData());
}

void TestArchiveCli::commands_data()
{
    // Records at 1999-01-01 23:59 (1439 minutes), 1999-01-02 00:00 and
    // 1999-01-03 00:00, device time in UTC; both days of a period count whole.
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("rows");
    QTest::newRow("all") << QStringList{"records", sn} << 0 << 3;
    QTest::newRow("one day, its last minute")
        << QStringList{"records", sn, "--to", "1999-01-01"} << 0 << 1;
    QTest::newRow("from the next midnight")
        << QStringList{"records", sn, "--from", "1999-01-02"} << 0 << 2;
    QTest::newRow("a day without records")
        << QStringList{"records", sn, "--from", "1999-01-04"} << 0 << 0;
    QTest::newRow("no file for an empty period")
        << QStringList{"records", sn, "--from", "1999-01-04", "--csv", "empty.csv"} << 1 << 0;
    QTest::newRow("not a date") << QStringList{"records", sn, "--from", "01.02.1999"} << 2 << 0;
    QTest::newRow("another pager") << QStringList{"records", "05A00999"} << 1 << 0;
    QTest::newRow("another command's option") << QStringList{"list", "--csv", "x.csv"} << 2 << 0;
    // An imported dump is no contact with the pager.
    QTest::newRow("unread: never read") << QStringList{"unread", "--days", "9999"} << 7 << 2;
    QTest::newRow("unread: no days") << QStringList{"unread"} << 2 << 0;
}

void TestArchiveCli::commands()
{
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(int, rows);
    const QString archive = path("period.sqlite");
    const QString dump = saveDump("p.dump", historyDumpOf(sn, {1439, 1440, 2880}));
    if (!QFileInfo::exists(archive))
        QCOMPARE(group(archive, {"import", dump}).code, 0);
    for (QString &a : args)
        if (a.endsWith(QLatin1String(".csv")))
            a = path(a);
    const Run r = group(archive, args);
    QCOMPARE(r.code, code);
    QCOMPARE(r.out.count('\n'), rows);
    QVERIFY(!QFileInfo::exists(path("empty.csv")));
}

void TestArchiveCli::instrumentsDue_data()
{
    // Pagers' calibrations as days before today (passed, 12 months; "f" after
    // the days: failed; several separated by commas) or "never" (a download
    // only); `due --within` and what it gives. The first pager's downloads
    // (days before today) and how many `impact` lists: those since its last
    // passed calibration.
    QTest::addColumn<QStringList>("pagers");
    QTest::addColumn<QString>("within");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("listed");
    QTest::addColumn<QList<int>>("downloads");
    QTest::addColumn<int>("impact");
    QTest::newRow("all current") << QStringList{"100", "200"} << "30" << 0 << 0
                                 << QList<int>{150, 100, 10} << 2;
    QTest::newRow("one overdue") << QStringList{"100", "400"} << "30" << 6 << 1 << QList<int>()
                                 << 0;
    QTest::newRow("due within the days")
        << QStringList{"340"} << "30" << 6 << 1 << QList<int>() << 0;
    QTest::newRow("due after the days")
        << QStringList{"340"} << "20" << 0 << 0 << QList<int>() << 0;
    QTest::newRow("failed after passed")
        << QStringList{"200,300,20f"} << "30" << 6 << 1 << QList<int>{250, 150, 10} << 2;
    QTest::newRow("never calibrated: listed only")
        << QStringList{"never"} << "30" << 0 << 1 << QList<int>{400, 1} << 3;
}

void TestArchiveCli::instrumentsDue()
{
    QFETCH(QStringList, pagers);
    QFETCH(QString, within);
    QFETCH(int, code);
    QFETCH(int, listed);
    QFETCH(QList<int>, downloads);
    QFETCH(int, impact);
    const QString file = path(QStringLiteral("due-%1.sqlite").arg(QTest::currentDataTag()));
    const auto serial = [](int i) { return QStringLiteral("05A0010%1").arg(i); };
    {
        Archive archive;
        QVERIFY(archive.open(file, nullptr));
        for (int i = 0; i < pagers.size(); ++i) {
            if (pagers.at(i) == "never")
                QVERIFY(archive.importDump(historyDumpOf(serial(i), {1})).ok);
            for (const QString &days : pagers.at(i).split(',')) {
                Calibration c;
                c.serialNumber = serial(i);
                c.passed = !days.endsWith('f');
                c.date = QDate::currentDate().addDays(-QString(days).remove('f').toInt());
                QVERIFY(days == "never" || archive.storeCalibration(c, nullptr));
            }
        }
        for (const int days : downloads) {
            HistoryDump dump = historyDumpOf(serial(0), {1000 + days});
            dump.downloadedAt = QDateTime::currentDateTime().addDays(-days);
            QVERIFY(archive.importDump(dump).ok);
        }
    }
    Run r;
    QTextStream out(&r.out), err(&r.err);
    r.code = runInstrumentGroup(
        {"dr7326g-cli", "--archive", file, "instruments", "due", "--within", within}, out, err);
    QCOMPARE(r.code, code);
    QCOMPARE(r.out.count('\n'), listed + 1); // and the heading
    if (downloads.isEmpty())
        return;
    r = Run();
    QCOMPARE(runInstrumentGroup(
                 {"dr7326g-cli", "--archive", file, "instruments", "impact", serial(0)}, out, err),
             0);
    QCOMPARE(r.out.count('\n'), impact + 1);
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
    static const QString file = saveDump("big.dump", historyDumpOf(sn, range(1, count)));
    auto import = [&](const QString &archive) {
        return startCli({"--archive", archive, "archive", "import", file});
    };
    static qint64 whole = 0;
    if (!whole) {
        QElapsedTimer t;
        t.start();
        QCOMPARE(finish(import(path("whole.sqlite"))).code, 0);
        whole = t.elapsed();
    }
    const QString archive = path(QStringLiteral("killed-%1.sqlite").arg(share));
    QProcess *p = import(archive);
    QThread::msleep(static_cast<unsigned long>(share * double(whole)));
    p->kill();
    finish(p);

    // Nothing of the download, or all of it; and the archive takes the rest.
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
    const QString archive = path("two.sqlite");
    QList<QProcess *> writers;
    for (int i = 0; i < 2; ++i)
        writers << startCli({"--archive", archive, "archive", "import",
                             saveDump(QStringLiteral("w%1.dump").arg(i),
                                      historyDumpOf(sn, range(1 + 20000 * i, 30000)))});
    for (QProcess *w : writers) {
        const Run r = finish(w);
        QVERIFY2(r.code == 0, qPrintable(r.err));
    }
    const Run r = group(archive, {"list"});
    QVERIFY2(r.out.contains(QLatin1String("05A00317\t50000\t")), qPrintable(r.out));
}

void TestArchiveCli::pagerCommandsStoreIntoArchive()
{
    QTemporaryDir runtime;
    EmulatorProcess emulator(runtime.path());
    QVERIFY(emulator.start({"--baud", "0", "--records", "20", "--refuse-writes"}));
    const QString archive = path("pager.sqlite");
    auto cli = [&](const QStringList &args) {
        return finish(startCli(QStringList{"--archive", archive} + args, runtime.path())).code;
    };
    for (int i = 0; i < 2; ++i)
        QCOMPARE(cli({"history", "--dump", path("h.dump")}), 0);
    QCOMPARE(cli({"params"}), 0);
    QCOMPARE(cli({"set-gamma-sigma", "4"}), 4);
    QCOMPARE(cli({"--no-archive", "params"}), 0); // stores nothing
    QCOMPARE(group(archive, {"unread", "--days", "1"}).code, 0);
    QVERIFY(group(archive, {"import", path("h.dump")})
                .out.contains(QLatin1String("already in the archive")));
    QCOMPARE(group(archive, {"records", sn}).out.count('\n'), 20);
    const Run r = group(archive, {"log"});
    QCOMPARE(r.out.count(QLatin1String("\tread\n")), 5);
    QVERIFY2(r.out.contains(QLatin1String("\tgamma-sigma\t3\t4\trefused\n")), qPrintable(r.out));
    // The PC beside the user.
    QVERIFY(r.out.contains(operatingSystemUser() + '\t' + archivePcName() + '\t' + sn + '\t'));
}

// Which pager an import stores a dump under (its verified replies name it,
// whatever its header says), and that a refused one makes no archive.
void TestArchiveCli::importNamesThePager_data()
{
    QTest::addColumn<QByteArray>("dump");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("listed"); // the pager then listed; empty: no archive made
    const QString other = QStringLiteral("05B00001");
    HistoryDump named = historyDumpOf(sn, {5, 6});
    const QByteArray bytes = historyDumpBytes(named);
    const QByteArray first = "DR7326G-05A history dump 1\n" + bytes.mid(bytes.indexOf("PAGE"));
    QByteArray unverified = first;
    unverified.replace("CRC=", "crc="); // no reply verifies: none names the pager
    HistoryDump twoPagers = named;
    twoPagers.pages += historyDumpOf(other, {7}).pages;
    named.serialNumber = other;
    HistoryDump hostile = named;
    hostile.serialNumber = QStringLiteral("05A\x1b]0;x\x07");
    QTest::newRow("hostile header") << historyDumpBytes(hostile) << QStringList() << 1 << "";
    QTest::newRow("first format: the replies'") << first << QStringList() << 0 << sn;
    QTest::newRow("header disagrees: the replies'")
        << historyDumpBytes(named) << QStringList() << 0 << sn;
    QTest::newRow("replies of two pagers")
        << historyDumpBytes(twoPagers) << QStringList() << 1 << "";
    QTest::newRow("named by none") << unverified << QStringList() << 1 << "";
    QTest::newRow("named by --serial")
        << unverified << QStringList{"--serial", other} << 0 << other;
    QTest::newRow("--serial against the replies")
        << first << QStringList{"--serial", other} << 1 << "";
    QTest::newRow("--serial no serial number")
        << first << QStringList{"--serial", "a\tb"} << 2 << "";
}

void TestArchiveCli::importNamesThePager()
{
    QFETCH(QByteArray, dump);
    QFETCH(QStringList, options);
    QFETCH(int, code);
    QFETCH(QString, listed);
    QTemporaryDir here;
    const QString archive = here.filePath("new.sqlite");
    QVERIFY(writeFile(here.filePath("d.dump"), dump));
    const Run r = group(archive, QStringList{"import", here.filePath("d.dump")} + options);
    QVERIFY2(r.code == code, qPrintable(r.err));
    QCOMPARE(QDir(here.path()).entryList(QDir::Files).contains("new.sqlite"), !listed.isEmpty());
    if (!listed.isEmpty())
        QVERIFY(group(archive, {"list"}).out.contains('\n' + listed + '\t'));
}

// What the archive holds is printed escaped, one row a line: an older
// archive may hold anything, and the server holds other PCs' rows.
void TestArchiveCli::storedTextEscaped_data()
{
    QTest::addColumn<QStringList>("args"); // each prints the heading and one row
    QTest::newRow("list") << QStringList{"list"};
    QTest::newRow("downloads") << QStringList{"downloads", "05A\x1b[2J\t\n"};
    QTest::newRow("log") << QStringList{"log"};
}

void TestArchiveCli::storedTextEscaped()
{
    QFETCH(QStringList, args);
    const QString archive = path("hostile.sqlite");
    if (!QFileInfo::exists(archive)) {
        QCOMPARE(group(archive, {"import", saveDump("h.dump", historyDumpOf(sn, {7}))}).code, 0);
        Archive a;
        QVERIFY(a.open(archive, nullptr) && a.storeSettingChange(sn, setting::gammaSigma, "4",
                                                                 SettingOutcome::Stored, nullptr));
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "raw");
        db.setDatabaseName(archive);
        QVERIFY(db.open());
        for (const char *column :
             {"pagers SET serial", "downloads SET pc", "setting_changes SET pc"})
            QVERIFY(QSqlQuery(db).exec(
                QStringLiteral("UPDATE %1 = '05A' || char(27) || '[2J' || char(9, 10)")
                    .arg(QLatin1String(column))));
    }
    QSqlDatabase::removeDatabase("raw");
    const Run r = group(archive, args);
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(!r.out.contains(QChar(0x1b)) && r.out.contains("05A\\x1b[2J\\x09\\x0a"),
             qPrintable(r.out));
    QCOMPARE(lines.last().count('\t'), lines.first().count('\t'));
}

void TestArchiveCli::archiveStates_data()
{
    // What lies at the archive's place, a command on it, and what must come
    // of it: the status, words of its message, and the file as it was.
    QTest::addColumn<QString>("state");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("words");
    const QStringList setInterval{"set-interval", "7"};
    QTest::newRow("damaged: import")
        << "damaged" << QStringList{"archive", "import", "DUMP"} << 1 << "is damaged";
    // Inside a record's row, where only the integrity check looks.
    QTest::newRow("damaged row: import")
        << "damaged row" << QStringList{"archive", "import", "DUMP"} << 1 << "is damaged";
    QTest::newRow("damaged: set-interval, sent anyway")
        << "damaged" << setInterval << 1 << "is damaged";
    QTest::newRow("read-only folder: list")
        << "read-only" << QStringList{"archive", "list"} << 0 << "";
    QTest::newRow("read-only folder: import")
        << "read-only" << QStringList{"archive", "import", "DUMP"} << 1 << "is read-only";
    QTest::newRow("file-size limit: records")
        << "size-limit" << QStringList{"archive", "records", sn} << 0 << "";
    QTest::newRow("file-size limit: import")
        << "size-limit" << QStringList{"archive", "import", "DUMP"} << 1 << "file-size limit";
    QTest::newRow("a folder: set-interval, sent anyway")
        << "folder" << setInterval << 1 << "going on without the archive";
    QTest::newRow("a folder: --no-archive")
        << "folder" << QStringList{"--no-archive", "params"} << 0 << "";
}

void TestArchiveCli::archiveStates()
{
    QFETCH(QString, state);
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, words);
    QTemporaryDir place;
    QString archive = place.filePath("archive.sqlite");
    const QString dump = saveDump("states.dump", historyDumpOf(sn, range(100, 40)));
    QVERIFY(state == "folder" ? QDir().mkpath(archive)
                              : group(archive, {"import", dump}).code == 0);
    // The first value a query gives on the archive.
    const auto firstValue = [&](const char *sql) {
        QVariant value;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "root");
            db.setDatabaseName(archive);
            QSqlQuery q(db);
            if (db.open() && q.exec(sql) && q.next())
                value = q.value(0);
        }
        QSqlDatabase::removeDatabase("root");
        return value;
    };
    QByteArray bytes = fileBytes(archive);
    if (state == "damaged") {
        // Bits of the records table's first page flipped: the file still
        // opens (its first page is sound), SQLite's check finds the damage.
        const int at = firstValue("SELECT (rootpage - 1) * (SELECT page_size FROM "
                                  "pragma_page_size) FROM sqlite_master WHERE name = 'records'")
                           .toInt();
        QVERIFY(at > 0);
        bytes[at] = char(bytes.at(at) ^ 0x60); // its page type
        QVERIFY(writeFile(archive, bytes));
    } else if (state == "damaged row") {
        // One stored record's last byte flipped where it first lies in the
        // file: its row and its index entry now disagree, every page is sound.
        const QByteArray stored = firstValue("SELECT stored FROM records LIMIT 1").toByteArray();
        const int at = bytes.indexOf(stored) + stored.size() - 1;
        QVERIFY(!stored.isEmpty() && at > 0);
        bytes[at] = char(bytes.at(at) ^ 0x01);
        QVERIFY(writeFile(archive, bytes));
    }
    const QByteArray before = fileBytes(archive);
    if (state == "read-only" &&
        (!QFile::setPermissions(place.path(), QFile::ReadOwner | QFile::ExeOwner) ||
         QFileInfo(place.path()).isWritable()))
        QSKIP("a read-only folder is writable here (root): run the tests as a plain user");

    QTemporaryDir runtime;
    EmulatorProcess emulator(runtime.path());
    if (args.first() != QLatin1String("archive"))
        QVERIFY(emulator.start({"--baud", "0", "--records", "20"}));
    args.replaceInStrings(QRegularExpression("^DUMP$"), dump);
    const Run r = finish(startCli(QStringList{"--archive", archive} + args, runtime.path(),
                                  state == "size-limit" ? "ulimit -f 16" : ""));
    QFile::setPermissions(place.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY2(r.code == code, qPrintable(r.err));
    QVERIFY2(r.err.contains(words), qPrintable(r.err));
    // A good file is never called damaged; a change is sent and said anyway.
    QVERIFY2(state.startsWith("damaged") || !r.err.contains("damaged"), qPrintable(r.err));
    if (args.first() == QLatin1String("set-interval"))
        QVERIFY2(r.out.contains("history-interval: 7"), qPrintable(r.out));
    QCOMPARE(fileBytes(archive), before);
}

void TestArchiveCli::privateFiles()
{
    // Whatever the umask, the archive and the folders made for it are the
    // user's alone, as is an archive that others could read; a file the
    // user names keeps the umask.
    QTemporaryDir place;
    const QString archive = place.filePath("new/folder/archive.sqlite");
    const QString csv = place.filePath("records.csv");
    const QString dump = saveDump("private.dump", historyDumpOf(sn, {5}));
    for (const QStringList &args :
         {QStringList{"import", dump}, QStringList{"records", sn, "--csv", csv}})
        QCOMPARE(
            finish(startCli(QStringList{"--archive", archive, "archive"} + args, {}, "umask 022"))
                .code,
            0);
    const auto groupAndOthers = [](const QString &file) { return QFile::permissions(file) & 0xff; };
    QCOMPARE(groupAndOthers(archive), 0);
    QCOMPARE(groupAndOthers(place.filePath("new")), 0);
    QCOMPARE(groupAndOthers(csv), QFile::ReadGroup | QFile::ReadOther);
    QVERIFY(QFile::setPermissions(archive, QFile::permissions(csv)));
    QCOMPARE(group(archive, {"import", dump}).code, 0);
    QCOMPARE(groupAndOthers(archive), 0);
}

void TestArchiveCli::wearersAndDose()
{
    // Through the tool's own dispatch: a wearer given the pager for the
    // first quarter, one overlapping assignment refused, and the dose of
    // the half year with the record outside the assignment unassigned.
    const QString archive = path("wearers.sqlite");
    const auto at = [](int month) {
        return QDateTime(QDate(2026, month, 10), QTime(12, 0), Qt::UTC);
    };
    const QString dump = saveDump(
        "w.dump",
        dumpOfRecords(sn, {{at(1), 'F', 1.0e-3f}, {at(2), 'F', 1.5e-3f}, {at(5), 'F', 2.0e-3f}}));
    QCOMPARE(group(archive, {"import", dump}).code, 0);
    const auto tool = [&](const QStringList &args) {
        return finish(startCli(QStringList{"--archive", archive} + args));
    };
    Run r = tool({"wearers", "add", "17", "Иванова А. П."});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    r = tool({"wearers", "assign", sn, "17", "--from", "2026-01-01", "--to", "2026-04-01"});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    r = tool({"wearers", "assign", sn, "17", "--from", "2026-03-31 23:00"});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains("overlaps " + sn + " given to 17"), qPrintable(r.err));
    r = group(archive, {"dose", "--wearer", "17", "--from", "2026-01-01", "--to", "2026-06-30"});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    QVERIFY2(lines.last().startsWith("total\t") && lines.last().endsWith("\t2\t0\t5.000e-04"),
             qPrintable(r.out));
    QVERIFY2(r.out.contains(QRegularExpression("\nunassigned\t" + sn + "\t[^\t]+\t[^\t]+\t1\t")),
             qPrintable(r.out));
}

void TestArchiveCli::clockSetBeyond_data()
{
    // The pager's clock off by minutes; whether history sets it (and logs it).
    QTest::addColumn<QString>("offsetMinutes");
    QTest::addColumn<bool>("set");
    QTest::newRow("set right") << "0" << false;
    QTest::newRow("a minute behind: within the minute it shows") << "-1" << false;
    QTest::newRow("five minutes ahead") << "5" << true;
    QTest::newRow("two minutes behind") << "-2" << true;
}

void TestArchiveCli::clockSetBeyond()
{
    QFETCH(QString, offsetMinutes);
    QFETCH(bool, set);
    QTemporaryDir runtime;
    EmulatorProcess emulator(runtime.path());
    QVERIFY(emulator.start({"--baud", "0", "--records", "3", "--clock-offset", offsetMinutes}));
    const QString archive = path(QStringLiteral("clock-%1.sqlite").arg(QTest::currentDataTag()));
    const Run r = finish(
        startCli({"--archive", archive, "history", "--set-clock-beyond", "60"}, runtime.path()));
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err.contains("clock was off by"), set);
    QCOMPARE(group(archive, {"log"}).out.contains("\tdevice-time\t"), set);
}

void TestArchiveCli::signedDownloadInJournal()
{
    // A download with an alarm (minute 7) is to review, one without is not;
    // signed, it leaves the list, and the period's journal names its
    // signature and the other's «Не проверено».
    const QString archive = path("review.sqlite");
    for (const HistoryDump &dump :
         {historyDumpOf(sn, {5, 6, 7}), historyDumpOf(sn, {8, 9}, true, 3600)})
        QCOMPARE(group(archive, {"import", saveDump("r.dump", dump)}).code, 0);
    const auto review = [&](const QStringList &args) {
        Run r;
        QTextStream out(&r.out), err(&r.err);
        r.code = runReviewGroup(QStringList{"dr7326g-cli", "review", "--archive", archive} + args,
                                out, err);
        return r;
    };
    Run r = review({"pending"});
    QCOMPARE(r.out.count('\n'), 2);
    QVERIFY2(r.out.contains(QRegularExpression("\n1\t05A00317\t[^\t]+\talarm\n")),
             qPrintable(r.out));
    r = review({"sign", "1", "--meaning", "remarks", "--note", "фон выше", "--signer", "Иванов"});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(review({"pending"}).out.count('\n'), 1);
    const QString pdf = path("review.pdf");
    QCOMPARE(group(archive, {"records", sn, "--pdf", pdf}).code, 0);
    QProcess text;
    text.start("pdftotext", {pdf, "-"});
    QVERIFY(text.waitForFinished());
    const QString journal = QString::fromUtf8(text.readAllStandardOutput()).simplified();
    QVERIFY2(journal.contains(QRegularExpression(
                 "Проверил: Иванов, [0-9. :]+, Принято с замечаниями: фон выше .*Не проверено")),
             qPrintable(journal));
}

void TestArchiveCli::fleetApply()
{
    // Two pagers attached, one with another threshold than the lab wants:
    // only that one is set, read back and logged; then the archive holds
    // what the policy wants, until the policy wants another interval.
    QTemporaryDir runtime;
    EmulatorProcess first(runtime.path()), second(runtime.path());
    QVERIFY(first.start({"--baud", "0", "--threshold", "2e-5"}, {sn + ".sock"}));
    QVERIFY(second.start({"--baud", "0", "--serial", "05A00318"}, {"05A00318.sock"}));
    const QString archive = path("fleet.sqlite");
    const auto policy = [&](const QString &name, const QByteArray &interval) {
        QFile f(path(name));
        f.open(QIODevice::WriteOnly);
        f.write("[all]\ngamma-sigma = 3\nneutron-sigma = 3.5\ndose-rate-threshold = 1e-5\n"
                "history-interval = " +
                interval + "\n");
        return f.fileName();
    };
    const auto fleet = [&](const QString &command, const QString &file) {
        return finish(
            startCli({"--archive", archive, "fleet", command, "--policy", file}, runtime.path()));
    };
    Run r = fleet("apply", policy("lab.ini", "10"));
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(r.out, "serial\tsetting\treported\twanted\toutcome\n" + sn +
                        "\tdose-rate-threshold\t2e-05\t1e-05\tset\n");
    QVERIFY(
        group(archive, {"log", sn}).out.endsWith("\tdose-rate-threshold\t2e-05\t1e-05\tstored\n"));
    QCOMPARE(fleet("check", path("lab.ini")).code, 0);
    r = fleet("check", policy("five.ini", "5"));
    QCOMPARE(r.code, 7);
    QCOMPARE(r.out.count("\thistory-interval\t10\t5\n"), 2);
}

QTEST_MAIN(TestArchiveCli)
#include "tst_archivecli.moc"
