// The archive's rules: a record kept once per pager and stored bytes (k
// copies of one download kept k times, the larger count winning across
// downloads), incomplete downloads kept, files that are not an archive of
// this program refused and left untouched, the settings log's values before.
// Run on an SQLite file, and again on the lab's server (tst_archive_postgresql).
#include "archive.h"
#include "archiverecordmodel.h"
#include "archivesql.h"
#include "historytablemodel.h"
#include "serialnumber.h"
#include "support/dumpfixture.h"
#include "support/testserver.h"

#include <QAbstractItemModelTester>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString sn = QStringLiteral("05A00317");

// Runs a statement on the file; its first value in *value when asked for.
void runSql(const QString &file, const QString &statement, QString *value = nullptr)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "raw");
        db.setDatabaseName(file);
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY2(query.exec(statement), qPrintable(statement));
        if (value)
            *value = query.next() ? query.value(0).toString() : QString();
    }
    QSqlDatabase::removeDatabase("raw");
}

// A new archive for a test case: a file, or a fresh database on the server.
bool openTestArchive(Archive &archive, const QString &file, QString *error)
{
    if (!testOnServer())
        return archive.open(file, error);
    const QString name =
        QStringLiteral("tst_archive_") +
        QFileInfo(file).baseName().toLower().replace(QRegularExpression("\\W"), "_");
    const ArchiveServer server = freshTestDatabase(name, error);
    return server.isSet() && archive.openServer(server, error);
}

} // namespace

Q_DECLARE_METATYPE(CalibrationStatus)

class TestArchive : public QObject
{
    Q_OBJECT

private slots:
    void mergeRule_data();
    void mergeRule();
    void refusedFile_data();
    void refusedFile();
    void summaryOfPeriod_data();
    void summaryOfPeriod();
    void settingsLog();
    void wearerDose_data();
    void wearerDose();
    void upgradeFromVersion1();
    void hostileSerialsRefused_data();
    void hostileSerialsRefused();
    void recordModelReadsAnyRow_data();
    void recordModelReadsAnyRow();
    void calibrationStatus_data();
    void calibrationStatus();
    void clockDrift_data();
    void clockDrift();
    void reviewRule_data();
    void reviewRule();

private:
    QTemporaryDir dir;
};

void TestArchive::mergeRule_data()
{
    // Downloads of one pager, each a list of minute counts (a record each),
    // made an hour apart; `lastEnds`: the last one reached the end record.
    QTest::addColumn<QList<QList<int>>>("downloads");
    QTest::addColumn<bool>("sameDumpAgain");
    QTest::addColumn<bool>("lastEnds");
    QTest::addColumn<QList<int>>("newRecords");
    QTest::addColumn<int>("kept");
    QTest::newRow("same dump twice")
        << QList<QList<int>>{{1, 2, 3}, {1, 2, 3}} << true << true << QList<int>{3, 0} << 3;
    QTest::newRow("same records, later download")
        << QList<QList<int>>{{1, 2, 3}, {1, 2, 3}} << false << true << QList<int>{3, 0} << 3;
    QTest::newRow("overlap") << QList<QList<int>>{{1, 2, 3}, {2, 3, 4, 5}} << false << true
                             << QList<int>{3, 2} << 5;
    QTest::newRow("repeated inside one download")
        << QList<QList<int>>{{1, 2, 2, 3}} << false << true << QList<int>{4} << 4;
    QTest::newRow("later download with one more copy")
        << QList<QList<int>>{{1, 2, 2}, {1, 2, 2, 2}} << false << true << QList<int>{3, 1} << 4;
    QTest::newRow("later download with fewer copies")
        << QList<QList<int>>{{2, 2, 2}, {2}} << false << true << QList<int>{3, 0} << 3;
    QTest::newRow("incomplete download kept")
        << QList<QList<int>>{{1, 2}, {1, 2, 3, 4}} << false << false << QList<int>{2, 2} << 4;
}

void TestArchive::mergeRule()
{
    QFETCH(QList<QList<int>>, downloads);
    QFETCH(bool, sameDumpAgain);
    QFETCH(bool, lastEnds);
    QFETCH(QList<int>, newRecords);
    QFETCH(int, kept);
    const QString file = dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + ".sqlite");
    Archive archive;
    QString error;
    QVERIFY2(openTestArchive(archive, file, &error), qPrintable(error));
    QList<HistoryDump> dumps;
    for (int i = 0; i < downloads.size(); ++i) {
        const bool last = i == downloads.size() - 1;
        dumps << historyDumpOf(sn, downloads.at(i), !last || lastEnds,
                               sameDumpAgain ? 0 : 3600 * i);
        const ArchiveStoreResult stored = archive.storeHistory(
            dumps.last(), last && !lastEnds ? ArchiveOutcome::Incomplete : ArchiveOutcome::Complete,
            "download");
        QVERIFY2(stored.ok, qPrintable(stored.error));
        QCOMPARE(stored.newRecords, newRecords.at(i));
        QCOMPARE(stored.alreadyStored, sameDumpAgain && i > 0);
    }
    const QDateTime now = QDateTime::currentDateTime();
    QCOMPARE(archive.recordPage(sn, QDateTime::fromSecsSinceEpoch(0), now, nullptr, 100).size(),
             kept);
    // Another pager's identical bytes are its own records.
    QVERIFY(archive
                .storeHistory(historyDumpOf("05A00999", downloads.first()),
                              ArchiveOutcome::Complete, "dump")
                .ok);
    QCOMPARE(archive.pagers().size(), 2);
    QCOMPARE(archive.pagers().first().records, qint64(kept));

    const QList<ArchiveDownload> stored = archive.downloads(sn);
    QCOMPARE(stored.size(), sameDumpAgain ? 1 : downloads.size());
    QCOMPARE(stored.last().outcome, QString(lastEnds ? "complete" : "incomplete"));
    // The raw replies come back exactly as stored.
    HistoryDump back;
    QVERIFY2(archive.downloadDump(stored.last().id, &back, &error), qPrintable(error));
    QCOMPARE(historyDumpBytes(back), historyDumpBytes(dumps.last()));
}

void TestArchive::refusedFile_data()
{
    // The tag tells what lies where the archive should be.
    QTest::addColumn<QString>("reason");
    if (testOnServer()) {
        QTest::newRow("foreign") << "another program";
        QTest::newRow("newer") << "newer version";
        return;
    }
    QTest::newRow("text") << "not an archive of this program or is damaged";
    QTest::newRow("foreign") << "another program";
    QTest::newRow("newer") << "newer version";
    QTest::newRow("cut") << "damaged";
    QTest::newRow("nofolder") << "cannot make the folder";
}

void TestArchive::refusedFile()
{
    QFETCH(QString, reason);
    const QString kind = QTest::currentDataTag();
    if (testOnServer()) {
        QString error;
        const QString db = "tst_archive_refused_" + kind;
        ArchiveServer server = freshTestDatabase(db, &error);
        QVERIFY2(server.isSet(), qPrintable(error));
        if (kind == "foreign") {
            QVERIFY(runOnTestServer(db, "CREATE TABLE contacts (name TEXT)", &error));
        } else {
            QVERIFY(Archive().openServer(server, &error));
            QVERIFY(runOnTestServer(db, "UPDATE meta SET value = '99' WHERE name = 'schema'"));
        }
        const QString tables = "SELECT string_agg(tablename, ',' ORDER BY tablename) FROM "
                               "pg_tables WHERE schemaname = 'public'";
        const QString before = testServerValue(db, tables);
        Archive archive;
        QVERIFY(!archive.openServer(server, &error));
        QVERIFY2(error.contains(reason), qPrintable(error));
        QCOMPARE(testServerValue(db, tables), before);
        return;
    }
    QString file = dir.filePath(kind + ".sqlite");
    if (kind == "text" || kind == "nofolder") {
        QVERIFY(writeFile(file, "serial;records\n05A00317;3\n"));
    } else if (kind == "foreign") {
        runSql(file, "CREATE TABLE contacts (name TEXT)");
    } else {
        QVERIFY(Archive().open(file, nullptr)); // closed again at once
        if (kind == "newer")
            runSql(file, "PRAGMA user_version = 99");
        else
            QVERIFY(QFile::resize(file, 2048));
    }
    if (kind == "nofolder") // a file where the folder would be
        file += "/archive.sqlite";
    const QByteArray before = fileBytes(file);
    Archive archive;
    QString error;
    QVERIFY(!archive.open(file, &error));
    QVERIFY2(error.contains(reason), qPrintable(error));
    QVERIFY(!archive.isOpen());
    QVERIFY(!archive.storeHistory(historyDumpOf(sn, {4}), ArchiveOutcome::Complete, "dump").ok);
    QCOMPARE(fileBytes(file), before);
}

void TestArchive::summaryOfPeriod_data()
{
    // Periods of records one every 7 minutes from 1999-01-01 00:07 (UTC),
    // in seconds from then: whole hours come from the hours table, part
    // hours at the ends from the records.
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qint64>("to");
    QTest::newRow("whole hours") << qint64(3600) << qint64(5 * 3600);
    QTest::newRow("part hours at both ends") << qint64(1000) << qint64(5 * 3600 + 1000);
    QTest::newRow("inside one hour") << qint64(3700) << qint64(5000);
    QTest::newRow("no record") << qint64(100) << qint64(200);
    QTest::newRow("everything") << qint64(-100000) << qint64(100 * 3600);
}

void TestArchive::summaryOfPeriod()
{
    QFETCH(qint64, from);
    QFETCH(qint64, to);
    const QString file = dir.filePath("summary.sqlite");
    Archive archive;
    QString error;
    QVERIFY2(openTestArchive(archive, file, &error), qPrintable(error));
    QList<int> minutes;
    for (int m = 7; m < 60 * 30; m += 7)
        minutes << m;
    minutes << 5 << 1000;      // running backwards: flagged
    minutes.insert(100, 1600); // and a gap
    const HistoryDump dump = historyDumpOf(sn, minutes);
    QVERIFY(archive.importDump(dump).ok);
    const qint64 base = QDateTime(QDate(1999, 1, 1), QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
    const QDateTime a = QDateTime::fromSecsSinceEpoch(base + from),
                    b = QDateTime::fromSecsSinceEpoch(base + to);
    // What the records of the period say, one by one.
    ArchivePeriodSummary expected;
    for (const ArchiveRecord &r : archive.recordPage(sn, a, b, nullptr, 100000)) {
        ++expected.records;
        if (r.record.eventCode == 'A')
            ++expected.events['A'];
        if (r.record.doseRate > expected.peakDoseRate) {
            expected.peakDoseRate = r.record.doseRate;
            expected.peakAt = QDateTime::fromSecsSinceEpoch(r.record.time);
        }
        expected.doseAtEnd = r.record.dose;
        expected.flagged += r.record.flags ? 1 : 0;
    }
    const ArchivePeriodSummary s = archive.summarize(sn, a, b, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(s.records, expected.records);
    QCOMPARE(s.events, expected.events);
    QCOMPARE(s.peakDoseRate, expected.peakDoseRate);
    QCOMPARE(s.peakAt, expected.peakAt);
    QCOMPARE(s.doseAtEnd, expected.doseAtEnd);
    QCOMPARE(s.flagged, expected.flagged);
}

// One wearer wears pager P1 in the first quarter of 2026 and P2 in the
// second; P2's dose falls at a switch-on on 1 June (a new battery).
// By hand: P1 from 10 Jan to 10 Mar 1.0 → 1.5 → 2.0 mSv: 1.0 mSv; its 10
// Apr record is P1 unworn (unassigned). P2 from 10 Apr 0.5 → 0.9 (+0.4),
// falls to 0 on 1 June, 0 → 0.2 (+0.2): 0.6 mSv. Half a year: 1.6 mSv.
void TestArchive::wearerDose_data()
{
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to"); // the day after the period
    QTest::addColumn<double>("total");
    QTest::addColumn<int>("parts");
    QTest::addColumn<int>("falls");
    QTest::addColumn<qint64>("unassigned");
    QTest::newRow("first quarter")
        << QDate(2026, 1, 1) << QDate(2026, 4, 1) << 1.0e-3 << 1 << 0 << qint64(0);
    QTest::newRow("second quarter")
        << QDate(2026, 4, 1) << QDate(2026, 7, 1) << 0.6e-3 << 1 << 1 << qint64(0);
    QTest::newRow("half a year") << QDate(2026, 1, 1) << QDate(2026, 7, 1) << 1.6e-3 << 2 << 1
                                 << qint64(1);
    QTest::newRow("February only")
        << QDate(2026, 2, 1) << QDate(2026, 3, 1) << 0.0 << 1 << 0 << qint64(0);
}

void TestArchive::wearerDose()
{
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(double, total);
    QFETCH(int, parts);
    QFETCH(int, falls);
    QFETCH(qint64, unassigned);
    Archive archive;
    QString error;
    QVERIFY2(openTestArchive(archive,
                             dir.filePath(QString("dose-%1.sqlite").arg(QTest::currentDataTag())),
                             &error),
             qPrintable(error));
    const auto day = [](int month, int d) {
        return QDateTime(QDate(2026, month, d), QTime(12, 0), Qt::UTC);
    };
    QVERIFY(archive
                .importDump(dumpOfRecords("P1", {{day(1, 10), 'F', 1.0e-3f},
                                                 {day(2, 10), 'F', 1.5e-3f},
                                                 {day(3, 10), 'F', 2.0e-3f},
                                                 {day(4, 10), 'F', 2.4e-3f}}))
                .ok);
    QVERIFY(archive
                .importDump(dumpOfRecords("P2", {{day(4, 10), 'F', 0.5e-3f},
                                                 {day(5, 10), 'F', 0.9e-3f},
                                                 {day(6, 1), '1', 0.0f},
                                                 {day(6, 10), 'F', 0.2e-3f},
                                                 {day(7, 10), 'F', 0.3e-3f}}))
                .ok);
    QVERIFY2(archive.addWearer("T-17", "Иванова А. П.", &error), qPrintable(error));
    QVERIFY2(archive.addWearer("T-18", "Петров", &error), qPrintable(error));
    const auto start = [](int month) { return QDateTime(QDate(2026, month, 1), QTime(0, 0)); };
    QVERIFY2(archive.assignPager("P1", "T-17", start(1), start(4), &error), qPrintable(error));
    QVERIFY2(archive.assignPager("P2", "T-17", start(4), QDateTime(), &error), qPrintable(error));
    // The worn pager is refused to another, naming who wears it; its return
    // ends the assignment, and one that begins then is taken.
    QVERIFY(!archive.assignPager("P2", "T-18", start(6), QDateTime(), &error));
    QVERIFY2(error.contains("P2 given to T-17"), qPrintable(error));
    QVERIFY2(archive.returnPager("P2", start(7), &error), qPrintable(error));
    QVERIFY2(archive.assignPager("P2", "T-18", start(7), QDateTime(), &error), qPrintable(error));

    ArchiveWearerDose dose;
    QVERIFY2(archive.wearerDose("T-17", from.startOfDay(), to.startOfDay(), &dose, &error),
             qPrintable(error));
    QVERIFY2(qAbs(dose.total - total) < 1e-9, qPrintable(QString::number(dose.total)));
    QCOMPARE(dose.parts.size(), parts);
    int fallsFound = 0;
    for (const ArchiveDosePart &p : dose.parts)
        fallsFound += p.falls.size();
    QCOMPARE(fallsFound, falls);
    qint64 unassignedFound = 0;
    for (const ArchiveUnassigned &u : dose.unassigned)
        unassignedFound += u.records;
    QCOMPARE(unassignedFound, unassigned);
    // Its downloads and wearer events linked as stored, on either engine.
    const ArchiveVerifyResult chain = archive.verifyChains();
    QVERIFY2(chain.intact && chain.events == 9, qPrintable(chain.error + chain.what));
}

void TestArchive::settingsLog()
{
    Archive archive;
    QString error;
    QVERIFY2(openTestArchive(archive, dir.filePath("log.sqlite"), &error), qPrintable(error));
    auto change = [&](const char *setting, const char *value, SettingOutcome outcome) {
        return archive.storeSettingChange(sn, setting, value, outcome, nullptr);
    };
    QVERIFY(archive.storeParameterRead({sn, {{setting::gammaSigma, "3"}}}, nullptr));
    QVERIFY(change(setting::gammaSigma, "4", SettingOutcome::Refused));
    QVERIFY(change(setting::gammaSigma, "5", SettingOutcome::Stored));
    // The stored change is what the pager holds now.
    QVERIFY(change(setting::gammaSigma, "6", SettingOutcome::NoAnswer));
    // Never read: no value before.
    QVERIFY(change(setting::historyInterval, "5", SettingOutcome::NotConfirmed));
    QStringList rows;
    for (const SettingsLogEntry &e : archive.settingsLog(sn)) {
        QCOMPARE(e.pc, archivePcName()); // read and change alike
        rows << QStringList{e.setting, e.valueBefore, e.value, e.outcome}.join('|');
    }
    QCOMPARE(rows, (QStringList{"gamma-sigma||3|read", "gamma-sigma|3|4|refused",
                                "gamma-sigma|3|5|stored", "gamma-sigma|5|6|no-answer",
                                "history-interval||5|not-confirmed"}));
    QVERIFY(archive.settingsLog("05A00999").isEmpty());
    QCOMPARE(archive.lastReadTimes().keys(), QStringList{sn});
}

void TestArchive::upgradeFromVersion1()
{
    if (testOnServer())
        QSKIP("the server's archives start at version 2");
    // An archive of the first version, with a change logged in it.
    const QString file = dir.filePath("version1.sqlite");
    for (const QString &statement : archiveStatements("sqlite", "setup"))
        runSql(file, statement);
    runSql(file, "INSERT INTO pagers (serial) VALUES ('05A00317')");
    runSql(file, "INSERT INTO setting_changes (pager, changed_at, os_user, setting, value_sent, "
                 "outcome) VALUES (1, 1, 'u', 'gamma-sigma', '4', 'stored')");
    Archive archive;
    QString error;
    QVERIFY2(archive.open(file, &error), qPrintable(error));
    QVERIFY(
        archive.storeSettingChange(sn, setting::gammaSigma, "5", SettingOutcome::Stored, nullptr));
    QCOMPARE(archive.settingsLog(sn).size(), 2);
    archive.close();
    // Each change has an id of its own, by which a server keeps it once.
    QString value;
    runSql(file, "SELECT COUNT(DISTINCT uid) FROM setting_changes", &value);
    QCOMPARE(value, QString("2"));
    runSql(file, "PRAGMA user_version", &value);
    QCOMPARE(value, QString::number(Archive::schemaVersion));
}

// A serial number through the one check where it enters: a dump's header and
// the archive's stores (the last guard, also on the server, where one such
// row once stopped every later sync).
void TestArchive::hostileSerialsRefused_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<bool>("ok");
    QTest::newRow("a pager's") << sn << true;
    QTest::newRow("exactly 64 bytes") << QString(64, '7') << true;
    QTest::newRow("65 bytes") << QString(65, '7') << false;
    QTest::newRow("2,700 bytes") << QString(2700, 'Z') << false;
    QTest::newRow("NUL") << QString::fromLatin1("05A\0"
                                                "0317",
                                                8)
                         << false;
    QTest::newRow("ESC") << QStringLiteral("05A\x1b[2J") << false;
    QTest::newRow("TAB") << QStringLiteral("05A\t0317") << false;
    QTest::newRow("LF") << QStringLiteral("05A\n0317") << false;
    QTest::newRow("not ASCII") << QStringLiteral("05А00317") << false; // a Cyrillic А
}

void TestArchive::hostileSerialsRefused()
{
    QFETCH(QString, serial);
    QFETCH(bool, ok);
    QCOMPARE(isSerialNumber(serial), ok);
    const HistoryDump named = historyDumpOf(serial, {4});
    HistoryDump read;
    bool refused = false;
    QCOMPARE(readHistoryDump(historyDumpBytes(named), &read, nullptr, &refused), ok);
    QCOMPARE(refused, !ok);
    Archive archive;
    QString error;
    QVERIFY2(openTestArchive(archive, dir.filePath("serials.sqlite"), &error), qPrintable(error));
    QCOMPARE(archive.storeParameterRead({serial, {{setting::gammaSigma, "3"}}}, &error), ok);
    QCOMPARE(archive.storeHistory(named, ArchiveOutcome::Complete, "dump").ok, ok);
}

// The archive window's model counts its rows before reading any, and shows
// each row as the decoded table does whichever is read first: the last
// (found from the end), one further down (found from the start), or each in
// turn (every page after the one before); records held twice among them.
void TestArchive::recordModelReadsAnyRow_data()
{
    QTest::addColumn<int>("pageRows");
    QTest::addColumn<QList<int>>("readFirst"); // rows, in this order; then all in turn
    QTest::newRow("in turn") << 2 << QList<int>{};
    QTest::newRow("the last row first") << 2 << QList<int>{8};
    QTest::newRow("from the end, a page starting between copies") << 3 << QList<int>{7, 3};
    QTest::newRow("from the start, past the first page") << 2 << QList<int>{3, 0};
    QTest::newRow("backwards, a row at a time") << 1 << QList<int>{8, 7, 6, 5, 4, 3, 2, 1, 0};
}

void TestArchive::recordModelReadsAnyRow()
{
    QFETCH(int, pageRows);
    QFETCH(QList<int>, readFirst);
    Archive archive;
    QString error;
    QVERIFY2(openTestArchive(archive, dir.filePath("model.sqlite"), &error), qPrintable(error));
    const HistoryDump dump = historyDumpOf(sn, {7, 8, 8, 9, 14, 14, 14, 20, 21});
    if (archive.pagers().isEmpty())
        QVERIFY(archive.importDump(dump).ok);
    HistoryTableModel table;
    fillDecodedTable(&table, dump);

    ArchiveRecordModel model(&archive);
    model.setPageRows(pageRows);
    model.setPeriod(sn, QDateTime::fromSecsSinceEpoch(0), QDateTime::currentDateTime());
    QCOMPARE(model.rowCount(), table.rowCount());
    auto sameRow = [&](int r) {
        for (int c = 0; c < table.columnCount(); ++c) {
            QCOMPARE(model.index(r, c).data(), table.index(r, c).data());
            QCOMPARE(model.index(r, c).data(Qt::ForegroundRole),
                     table.index(r, c).data(Qt::ForegroundRole));
        }
    };
    for (int r : readFirst)
        sameRow(r);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    for (int r = 0; r < table.rowCount(); ++r)
        sameRow(r);
    QVERIFY2(model.lastError().isEmpty(), qPrintable(model.lastError()));
}

void TestArchive::calibrationStatus_data()
{
    // Calibrations in the order entered, each "yyyy-MM-dd passed|failed
    // months"; the due date and status on `today` (30 days' warning).
    QTest::addColumn<QStringList>("entered");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QDate>("due");
    QTest::addColumn<CalibrationStatus>("status");
    const QDate due(2026, 1, 10);
    QTest::newRow("none") << QStringList() << due << QDate() << CalibrationStatus::Never;
    QTest::newRow("only failed") << QStringList{"2025-01-10 failed 12"} << due << QDate()
                                 << CalibrationStatus::Never;
    QTest::newRow("31 days before due") << QStringList{"2025-01-10 passed 12"} << due.addDays(-31)
                                        << due << CalibrationStatus::Current;
    QTest::newRow("30 days before due") << QStringList{"2025-01-10 passed 12"} << due.addDays(-30)
                                        << due << CalibrationStatus::DueSoon;
    QTest::newRow("on the due date")
        << QStringList{"2025-01-10 passed 12"} << due << due << CalibrationStatus::Overdue;
    QTest::newRow("interval of 24 months") << QStringList{"2024-01-10 passed 24"}
                                           << due.addDays(-40) << due << CalibrationStatus::Current;
    QTest::newRow("failed after passing")
        << QStringList{"2025-01-10 passed 12", "2025-06-01 failed 12"} << QDate(2025, 7, 1) << due
        << CalibrationStatus::Failed;
    QTest::newRow("earlier date entered later")
        << QStringList{"2025-01-10 passed 12", "2024-01-10 passed 12"} << QDate(2025, 7, 1) << due
        << CalibrationStatus::Current;
    QTest::newRow("passed again on the day it failed")
        << QStringList{"2025-01-10 failed 12", "2025-01-10 passed 12"} << QDate(2025, 7, 1) << due
        << CalibrationStatus::Current;
}

void TestArchive::calibrationStatus()
{
    QFETCH(QStringList, entered);
    QFETCH(QDate, today);
    QFETCH(QDate, due);
    QFETCH(CalibrationStatus, status);
    Archive archive;
    QString error;
    QVERIFY2(openTestArchive(
                 archive,
                 dir.filePath(
                     QStringLiteral("calibration%1.sqlite").arg(QTest::currentDataTag()[0] - 'a')),
                 &error),
             qPrintable(error));
    const QString serial = QStringLiteral("05A%1").arg(qHash(QTest::currentDataTag()));
    for (const QString &line : entered) {
        const QStringList parts = line.split(' ');
        Calibration c;
        c.serialNumber = serial;
        c.date = QDate::fromString(parts.at(0), Qt::ISODate);
        c.passed = parts.at(1) == "passed";
        c.intervalMonths = parts.at(2).toInt();
        QVERIFY2(archive.storeCalibration(c, &error), qPrintable(error));
    }
    const CalibrationState state = archive.calibrationStateOf(serial, today);
    QCOMPARE(state.due, due);
    QCOMPARE(state.status, status);
}

void TestArchive::clockDrift_data()
{
    // Offsets as "hours seconds" (a trailing "set": the clock was set there,
    // the offset read back after it); the drift in s/day, or -1 for none.
    QTest::addColumn<QStringList>("offsets");
    QTest::addColumn<double>("drift");
    QTest::newRow("one") << QStringList{"0 5"} << -1.0;
    QTest::newRow("under an hour apart") << QStringList{"0 5", "0.5 6"} << -1.0;
    QTest::newRow("gaining 2 s a day") << QStringList{"0 5", "24 7", "48 9"} << 2.0;
    QTest::newRow("losing 3 s a day") << QStringList{"0 0", "48 -6"} << -3.0;
    QTest::newRow("from the last setting on")
        << QStringList{"0 100", "24 150", "48 1 set", "72 2"} << 1.0;
}

void TestArchive::clockDrift()
{
    QFETCH(QStringList, offsets);
    QFETCH(double, drift);
    QList<ClockOffset> list;
    const QDateTime start(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
    for (const QString &o : offsets) {
        const QStringList parts = o.split(' ');
        list << ClockOffset{start.addSecs(qint64(parts.at(0).toDouble() * 3600)),
                            parts.at(1).toLongLong(), "read", parts.size() > 2};
    }
    const QVariant got = ::clockDrift(list);
    QCOMPARE(got.isNull(), drift == -1.0);
    if (!got.isNull())
        QVERIFY2(qAbs(got.toDouble() - drift) < 1e-9, qPrintable(got.toString()));
}

void TestArchive::reviewRule_data()
{
    QTest::addColumn<qint64>("alarms");
    QTest::addColumn<qint64>("thresholds");
    QTest::addColumn<qint64>("flagged");
    QTest::addColumn<bool>("overdue");
    QTest::addColumn<unsigned>("reasons");
    using namespace reviewreason;
    QTest::newRow("nothing") << qint64(0) << qint64(0) << qint64(0) << false << 0u;
    QTest::newRow("an alarm") << qint64(1) << qint64(0) << qint64(0) << false << unsigned(Alarm);
    QTest::newRow("a threshold row")
        << qint64(0) << qint64(3) << qint64(0) << false << unsigned(Threshold);
    QTest::newRow("a flagged record")
        << qint64(0) << qint64(0) << qint64(1) << false << unsigned(Flagged);
    QTest::newRow("overdue alone")
        << qint64(0) << qint64(0) << qint64(0) << true << unsigned(Overdue);
    QTest::newRow("all") << qint64(2) << qint64(1) << qint64(5) << true
                         << unsigned(Alarm | Threshold | Flagged | Overdue);
}

void TestArchive::reviewRule()
{
    DownloadFacts facts;
    QFETCH(qint64, alarms);
    QFETCH(qint64, thresholds);
    QFETCH(qint64, flagged);
    QFETCH(bool, overdue);
    facts = {alarms, thresholds, flagged, overdue};
    QTEST(reviewReasons(facts), "reasons");
}

DR7326G_SERVER_TEST_MAIN(TestArchive, false)
#include "tst_archive.moc"
