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
    const QString sn = QStringLiteral("05A00317");
    QTest::newRow("csv") << int(SavedFile::History) << sn << "История_05A00317_2026-03-05.csv";
    QTest::newRow("png") << int(SavedFile::Plot) << sn << "График_05A00317_2026-03-05.png";
    QTest::newRow("no serial") << int(SavedFile::History) << " "
                               << "История_2026-03-05.csv";
    // A serial number from a dump is data: it never names another folder.
    QTest::newRow("separators") << int(SavedFile::Dump) << "../a\\b:*"
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
    const char *rows[][2] = {{"/d/live", "/d/live.csv"},
                             {"/d/live.txt", "/d/live.txt"},
                             {"/d/live.", "/d/live.csv"},
                             {"/d.x/live", "/d.x/live.csv"},
                             {"/d/.live", "/d/.live.csv"}};
    for (const auto &r : rows)
        QTest::newRow(r[0]) << QString::fromUtf8(r[0]) << QString::fromUtf8(r[1]);
}

void TestSaveNames::suffixAddedWhenNoneTyped()
{
    QFETCH(QString, typed);
    QTEST(withDefaultSuffix(typed, QStringLiteral("csv")), "saved");
}

QTEST_APPLESS_MAIN(TestSaveNames)
#include "tst_savenames.moc"
