// The names offered for saved files and the suffix a typed name gets.

#include "savenames.h"

#include <QTest>

class TestSaveNames : public QObject
{
    Q_OBJECT

private slots:
    void offeredNames_data();
    void offeredNames();
    void suffixAddedWhenNoneTyped_data();
    void suffixAddedWhenNoneTyped();
};

void TestSaveNames::offeredNames_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("name");
    QTest::newRow("history") << int(SavedFile::History) << "05A00317"
                             << "История_05A00317_2026-03-05.csv";
    QTest::newRow("journal") << int(SavedFile::Journal) << "05A00317"
                             << "Журнал_05A00317_2026-03-05.pdf";
    QTest::newRow("dump") << int(SavedFile::Dump) << "05A00317"
                          << "Дамп_05A00317_2026-03-05.dump";
    QTest::newRow("plot") << int(SavedFile::Plot) << "05A00317"
                          << "График_05A00317_2026-03-05.png";
    QTest::newRow("no serial") << int(SavedFile::History) << " "
                               << "История_2026-03-05.csv";
    // A serial number from a dump is data: it never names another folder.
    QTest::newRow("separators in serial") << int(SavedFile::Dump) << "../a\\b:*"
                                          << "Дамп_.._a_b___2026-03-05.dump";
}

void TestSaveNames::offeredNames()
{
    QFETCH(int, kind);
    QFETCH(QString, serial);
    QTEST(suggestedFileName(SavedFile(kind), serial, QDate(2026, 3, 5)), "name");
}

void TestSaveNames::suffixAddedWhenNoneTyped_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("saved");
    QTest::newRow("none") << "/d/live"
                          << "/d/live.csv";
    QTest::newRow("own suffix kept") << "/d/live.txt"
                                     << "/d/live.txt";
    QTest::newRow("trailing dot") << "/d/live."
                                  << "/d/live.csv";
    QTest::newRow("dot in a folder only") << "/d.x/live"
                                          << "/d.x/live.csv";
    QTest::newRow("hidden name") << "/d/.live"
                                 << "/d/.live.csv";
}

void TestSaveNames::suffixAddedWhenNoneTyped()
{
    QFETCH(QString, typed);
    QTEST(withDefaultSuffix(typed, QStringLiteral("csv")), "saved");
}

QTEST_APPLESS_MAIN(TestSaveNames)
#include "tst_savenames.moc"
