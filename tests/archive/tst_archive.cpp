// The archive's rules: a record kept once per pager and stored bytes (k
// copies of one download kept k times, the larger count winning across
// downloads), incomplete downloads kept, files that are not an archive of
// this program refused and left untouched, the settings log's values before.
#include "archive.h"
#include "support/dumpfixture.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray fileBytes(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void runSql(const QString &file, const QStringList &statements)
{
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        db.setDatabaseName(file);
        QVERIFY(db.open());
        for (const QString &s : statements)
            QVERIFY2(QSqlQuery(db).exec(s), qPrintable(s));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
}

} // namespace

class TestArchive : public QObject
{
    Q_OBJECT

private slots:
    void mergeRule_data();
    void mergeRule();
    void refusedFile_data();
    void refusedFile();
    void settingsLog();

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
    QVERIFY2(archive.open(file, &error), qPrintable(error));
    QList<HistoryDump> dumps;
    for (int i = 0; i < downloads.size(); ++i) {
        const bool last = i == downloads.size() - 1;
        dumps << historyDumpOf(QStringLiteral("05A00317"), downloads.at(i), !last || lastEnds,
                               sameDumpAgain ? 0 : 3600 * i);
        const ArchiveStoreResult stored = archive.storeHistory(
            dumps.last(), last && !lastEnds ? ArchiveOutcome::Incomplete : ArchiveOutcome::Complete,
            QStringLiteral("download"));
        QVERIFY2(stored.ok, qPrintable(stored.error));
        QCOMPARE(stored.newRecords, newRecords.at(i));
        QCOMPARE(stored.alreadyStored, sameDumpAgain && i > 0);
    }
    const QList<ArchiveRecord> records =
        archive.recordPage(QStringLiteral("05A00317"), QDateTime::fromSecsSinceEpoch(0),
                           QDateTime::currentDateTime(), nullptr, 100);
    QCOMPARE(records.size(), kept);
    // Another pager's identical bytes are its own records.
    QVERIFY(archive
                .storeHistory(historyDumpOf(QStringLiteral("05A00999"), downloads.first()),
                              ArchiveOutcome::Complete, QStringLiteral("dump"))
                .ok);
    QCOMPARE(archive.pagers().size(), 2);
    QCOMPARE(archive.pagers().first().records, qint64(kept));

    const QList<ArchiveDownload> stored = archive.downloads(QStringLiteral("05A00317"));
    QCOMPARE(stored.size(), sameDumpAgain ? 1 : downloads.size());
    QCOMPARE(stored.last().outcome,
             lastEnds ? QStringLiteral("complete") : QStringLiteral("incomplete"));
    // The raw replies come back exactly as stored.
    HistoryDump back;
    QVERIFY2(archive.downloadDump(stored.last().id, &back, &error), qPrintable(error));
    QCOMPARE(historyDumpBytes(back), historyDumpBytes(dumps.last()));
}

void TestArchive::refusedFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("text file") << "text"
                               << "not an archive of this program or is damaged";
    QTest::newRow("another program's database") << "foreign"
                                                << "another program";
    QTest::newRow("newer archive") << "newer"
                                   << "newer version";
    QTest::newRow("cut short") << "cut"
                               << "damaged";
    QTest::newRow("folder cannot be made") << "nofolder"
                                           << "cannot make the folder";
}

void TestArchive::refusedFile()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QString file = dir.filePath(kind + ".sqlite");
    if (kind == QLatin1String("text")) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("serial;records\n05A00317;3\n");
    } else if (kind == QLatin1String("foreign")) {
        runSql(file, {QStringLiteral("CREATE TABLE contacts (name TEXT)")});
    } else {
        {
            Archive made;
            QVERIFY(made.open(file, nullptr));
            QVERIFY(made.storeHistory(historyDumpOf(QStringLiteral("05A00317"), {1, 2, 3}),
                                      ArchiveOutcome::Complete, QStringLiteral("dump"))
                        .ok);
        }
        if (kind == QLatin1String("newer"))
            runSql(file, {QStringLiteral("PRAGMA user_version = 99")});
        if (kind == QLatin1String("cut"))
            QVERIFY(QFile::resize(file, 2048));
        if (kind == QLatin1String("nofolder")) {
            // A file where the folder would be.
            file = dir.filePath(kind + ".sqlite/archive.sqlite");
        }
    }
    const QByteArray before = fileBytes(file);
    Archive archive;
    QString error;
    QVERIFY(!archive.open(file, &error));
    QVERIFY2(error.contains(reason), qPrintable(error));
    QVERIFY(!archive.isOpen());
    QVERIFY(!archive
                 .storeHistory(historyDumpOf(QStringLiteral("05A00317"), {4}),
                               ArchiveOutcome::Complete, QStringLiteral("dump"))
                 .ok);
    QCOMPARE(fileBytes(file), before);
}

void TestArchive::settingsLog()
{
    Archive archive;
    QVERIFY(archive.open(dir.filePath(QStringLiteral("log.sqlite")), nullptr));
    const QString sn = QStringLiteral("05A00317");
    QVERIFY(
        archive.storeParameterRead({sn, {{setting::gammaSigma, QStringLiteral("3")}}}, nullptr));
    QVERIFY(archive.storeSettingChange(sn, setting::gammaSigma, QStringLiteral("4"),
                                       SettingOutcome::Refused, nullptr));
    QVERIFY(archive.storeSettingChange(sn, setting::gammaSigma, QStringLiteral("5"),
                                       SettingOutcome::Stored, nullptr));
    // The stored change is what the pager holds now.
    QVERIFY(archive.storeSettingChange(sn, setting::gammaSigma, QStringLiteral("6"),
                                       SettingOutcome::NoAnswer, nullptr));
    // Never read: no value before.
    QVERIFY(archive.storeSettingChange(sn, setting::historyInterval, QStringLiteral("5"),
                                       SettingOutcome::NotConfirmed, nullptr));
    QStringList rows;
    for (const SettingsLogEntry &e : archive.settingsLog(sn))
        rows << QStringList{e.setting, e.valueBefore, e.value, e.outcome}.join('|');
    QCOMPARE(rows, (QStringList{"gamma-sigma||3|read", "gamma-sigma|3|4|refused",
                                "gamma-sigma|3|5|stored", "gamma-sigma|5|6|no-answer",
                                "history-interval||5|not-confirmed"}));
    QVERIFY(archive.settingsLog(QStringLiteral("05A00999")).isEmpty());
    QCOMPARE(archive.lastReadTimes().keys(), QStringList{sn});
}

QTEST_GUILESS_MAIN(TestArchive)
#include "tst_archive.moc"
