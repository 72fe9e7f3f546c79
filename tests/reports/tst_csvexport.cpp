#include "csvexport.h"
#include "historydump.h"
#include "pdfjournal.h"
#include "reporttestsupport.h"

#include <QBuffer>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray bom("\xEF\xBB\xBF");

const QByteArray headerLine = QStringLiteral("\" \";\"Дата\";\"Событие\";\"CPS гамма (имп/с)\";"
                                             "\"CPS нейтроны (имп/с)\";\"МЭД (Зв/ч)\";\"ЭД (Зв)\";"
                                             "\"Дата поверки\"\n")
                                  .toUtf8();

const QDate calibration(2020, 11, 27);

QLocale russian()
{
    return QLocale(QLocale::Russian, QLocale::Russia);
}

QByteArray readFile(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(name);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QList<QByteArray> linesAfterHeader(const QByteArray &csv)
{
    QList<QByteArray> lines = csv.split('\n');
    lines.removeFirst(); // header
    return lines;
}

using Save = std::function<bool(const QString &name, QString *error)>;

} // namespace

Q_DECLARE_METATYPE(Save)

class TestCsvExport : public QObject
{
    Q_OBJECT

private slots:
    void emptyTableHoldsHeaderLineAlone();
    void dataLines_data();
    void dataLines();
    void numberText_data();
    void numberText();
    void everyLineEndsWithCalibrationDate_data();
    void everyLineEndsWithCalibrationDate();
    void overdueCalibrationIsTheLastLine();
    void quoteInsideFieldIsDoubled();
    void emptyEventCellGivesEmptyQuotedField();
    void numberColumnsArePositional();
    void deviceReceivesTheSameBytes();
    void failingDeviceIsReported_data();
    void failingDeviceIsReported();
    void saveReplacesExistingFile();
    void saveIntoMissingFolderFails();
    void saveOntoFolderFails();
    void failedSaveKeepsOldFile();
    void limitOnLastWriteKeepsOldFile_data();
    void limitOnLastWriteKeepsOldFile();
};

void TestCsvExport::emptyTableHoldsHeaderLineAlone()
{
    const auto model = historyModel();
    QCOMPARE(historyCsv(model.get(), calibration, QLocale::c()), bom + headerLine);
    QCOMPARE(historyCsv(model.get(), calibration, russian()), bom + headerLine);
}

void TestCsvExport::dataLines_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");

    QTest::newRow("russian") << russian()
                             << QStringLiteral("\"1\";\"01.01.1999 00:01\";\"Фон\";\"5\";1;0,5;1;"
                                               "27.11.2020")
                                    .toUtf8()
                             << QStringLiteral("\"2\";\"16.02.1999 12:16\";\"Тревога нейтронная\";"
                                               "\"200\";3;7,63e-07;0,156;27.11.2020")
                                    .toUtf8();
    QTest::newRow("german") << QLocale(QLocale::German, QLocale::Germany)
                            << QStringLiteral("\"1\";\"01.01.1999 00:01\";\"Фон\";\"5\";1;0,5;1;"
                                              "27.11.2020")
                                   .toUtf8()
                            << QStringLiteral("\"2\";\"16.02.1999 12:16\";\"Тревога нейтронная\";"
                                              "\"200\";3;7,63e-07;0,156;27.11.2020")
                                   .toUtf8();
    QTest::newRow("c") << QLocale::c()
                       << QStringLiteral("\"1\";\"01.01.1999 00:01\";\"Фон\";\"5\";1;0.5;1;"
                                         "27.11.2020")
                              .toUtf8()
                       << QStringLiteral("\"2\";\"16.02.1999 12:16\";\"Тревога нейтронная\";"
                                         "\"200\";3;7.63e-07;0.156;27.11.2020")
                              .toUtf8();
}

void TestCsvExport::dataLines()
{
    QFETCH(QLocale, locale);
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);

    const auto model = historyModel();
    appendRow(model.get(), {"01.01.1999 00:01", "Фон", "5", "1.00", "5.00e-01", "1.00e+00"});
    appendRow(model.get(),
              {"16.02.1999 12:16", "Тревога нейтронная", "200", "3.00", "7.63e-07", "1.56e-01"});

    QCOMPARE(historyCsv(model.get(), calibration, locale),
             bom + headerLine + first + '\n' + second + '\n');
}

void TestCsvExport::numberText_data()
{
    QTest::addColumn<QVariant>("cell");
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("expected");

    const QLocale ru = russian();
    const QLocale de(QLocale::German, QLocale::Germany);
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QLocale c = QLocale::c();

    QTest::newRow("ru 12.50") << QVariant("12.50") << ru << "12,5";
    QTest::newRow("ru 1.20e-07") << QVariant("1.20e-07") << ru << "1,2e-07";
    QTest::newRow("ru 0.5") << QVariant("0.5") << ru << "0,5";
    QTest::newRow("ru 123456") << QVariant("123456") << ru << "123456";
    QTest::newRow("ru 1234567") << QVariant("1234567") << ru << "1,23457e+06";
    QTest::newRow("ru 1234.5") << QVariant("1234.5") << ru << "1234,5";
    QTest::newRow("ru 0.0001") << QVariant("0.0001") << ru << "0,0001";
    QTest::newRow("ru 0.00001") << QVariant("1.00e-05") << ru << "1e-05";
    QTest::newRow("ru 999999.7") << QVariant("999999.7") << ru << "1e+06";
    QTest::newRow("de 123456") << QVariant("123456") << de << "123456";
    QTest::newRow("de 1234.5") << QVariant("1234.5") << de << "1234,5";
    QTest::newRow("us 123456") << QVariant("123456") << us << "123456";
    QTest::newRow("c 12.50") << QVariant("12.50") << c << "12.5";
    QTest::newRow("c 1.20e-07") << QVariant("1.20e-07") << c << "1.2e-07";
    QTest::newRow("c 0.5") << QVariant("0.5") << c << "0.5";
    QTest::newRow("c 123456") << QVariant("123456") << c << "123456";
    QTest::newRow("c 1234567") << QVariant("1234567") << c << "1.23457e+06";
    QTest::newRow("c inf") << QVariant("inf") << c << "inf";

    // Text is always read with a decimal point, whatever the output locale.
    QTest::newRow("ru comma text") << QVariant("1,5") << ru << "0";
    QTest::newRow("not a number") << QVariant("abc") << ru << "0";
    QTest::newRow("empty text") << QVariant("") << c << "0";
    QTest::newRow("no data") << QVariant() << ru << "0";

    QTest::newRow("float value") << QVariant(2.5f) << ru << "2,5";
    QTest::newRow("double value") << QVariant(1234.5) << ru << "1234,5";
    QTest::newRow("int value") << QVariant(123456) << ru << "123456";
}

void TestCsvExport::numberText()
{
    QFETCH(QVariant, cell);
    QFETCH(QLocale, locale);
    QFETCH(QString, expected);
    QCOMPARE(csvNumberText(cell, locale), expected);
}

void TestCsvExport::everyLineEndsWithCalibrationDate_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("27.11.2020") << QDate(2020, 11, 27) << QByteArray("27.11.2020");
    QTest::newRow("05.01.2021") << QDate(2021, 1, 5) << QByteArray("05.01.2021");
    QTest::newRow("29.02.2024") << QDate(2024, 2, 29) << QByteArray("29.02.2024");
}

void TestCsvExport::everyLineEndsWithCalibrationDate()
{
    QFETCH(QDate, date);
    QFETCH(QByteArray, text);

    const auto model = historyModel();
    fillRows(model.get(), 5);
    const QByteArray csv = historyCsv(model.get(), date, russian());
    QVERIFY(csv.endsWith('\n'));
    const QList<QByteArray> lines = linesAfterHeader(csv.left(csv.size() - 1));
    QCOMPARE(lines.size(), 5);
    for (int r = 0; r < lines.size(); ++r) {
        QVERIFY2(lines.at(r).endsWith(';' + text), lines.at(r).constData());
        QVERIFY2(lines.at(r).startsWith('"' + QByteArray::number(r + 1) + "\";"),
                 lines.at(r).constData());
        QVERIFY(!lines.at(r).contains('\r'));
    }
}

void TestCsvExport::overdueCalibrationIsTheLastLine()
{
    // Every other line where it was: the file without the mark, then the mark.
    const auto model = historyModel();
    fillRows(model.get(), 3);
    QCOMPARE(historyCsv(model.get(), calibration, russian(), QDate(2026, 1, 10)),
             historyCsv(model.get(), calibration, russian()) +
                 QStringLiteral("\"Поверка просрочена с 10.01.2026\"\n").toUtf8());
}

void TestCsvExport::quoteInsideFieldIsDoubled()
{
    auto model = historyModel();
    model->setHorizontalHeaderItem(1, new QStandardItem(QStringLiteral("Со\"бытие")));
    appendRow(model.get(), {"01.01.1999 00:01", "Фон \"Б\"", "\"", "1.00", "5.00e-01", "1.00e+00"});

    const QByteArray csv = historyCsv(model.get(), calibration, QLocale::c());
    const QList<QByteArray> lines = csv.split('\n');
    QVERIFY(lines.at(0).contains(QStringLiteral(";\"Со\"\"бытие\";").toUtf8()));
    QCOMPARE(
        lines.at(1),
        QStringLiteral("\"1\";\"01.01.1999 00:01\";\"Фон \"\"Б\"\"\";\"\"\"\";1;0.5;1;27.11.2020")
            .toUtf8());
}

void TestCsvExport::emptyEventCellGivesEmptyQuotedField()
{
    const auto model = historyModel();
    appendRow(model.get(), {"01.01.1999 00:01", QString(), "5", "1.00", "5.00e-01", "1.00e+00"});
    const QList<QByteArray> fields =
        linesAfterHeader(historyCsv(model.get(), calibration, QLocale::c())).at(0).split(';');
    QCOMPARE(fields.size(), 8);
    QCOMPARE(fields.at(2), QByteArray("\"\""));
    QCOMPARE(fields.at(3), QByteArray("\"5\""));
}

void TestCsvExport::numberColumnsArePositional()
{
    // Columns from the fourth on are numbers, however many there are; the
    // date follows the last one and the header has as many fields.
    QStandardItemModel model(0, 7);
    model.setHorizontalHeaderLabels(historyLabels() << QStringLiteral("Extra"));
    appendRow(&model, {"a", "b", "7.50", "1.00", "2.00", "3.00", "4.50"});

    const QList<QByteArray> lines = historyCsv(&model, calibration, QLocale::c()).split('\n');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(0).split(';').size(), 9);
    QVERIFY(lines.at(0).endsWith(QStringLiteral(";\"Extra\";\"Дата поверки\"").toUtf8()));
    QCOMPARE(lines.at(1), QByteArray("\"1\";\"a\";\"b\";\"7.50\";1;2;3;4.5;27.11.2020"));
    QCOMPARE(lines.at(2), QByteArray());
}

void TestCsvExport::deviceReceivesTheSameBytes()
{
    // Large enough to be written in several pieces.
    const auto model = historyModel();
    fillRows(model.get(), 3000);
    const QByteArray expected = historyCsv(model.get(), calibration, russian());
    QVERIFY(expected.size() > 3 * 64 * 1024);

    QBuffer buffer;
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QString error;
    QVERIFY(writeHistoryCsv(model.get(), calibration, &buffer, russian(), &error));
    QCOMPARE(buffer.data(), expected);
    QVERIFY(error.isEmpty());
}

void TestCsvExport::failingDeviceIsReported_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<qint64>("capacity");
    QTest::newRow("nothing fits") << 0 << qint64(0);
    QTest::newRow("header cut") << 2 << qint64(20);
    QTest::newRow("last piece cut") << 3000 << qint64(200 * 1024);
}

void TestCsvExport::failingDeviceIsReported()
{
    QFETCH(int, rows);
    QFETCH(qint64, capacity);

    const auto model = historyModel();
    fillRows(model.get(), rows);
    FailingDevice device(capacity);
    QVERIFY(device.open(QIODevice::WriteOnly));
    QString error;
    QVERIFY(!writeHistoryCsv(model.get(), calibration, &device, QLocale::c(), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(error.contains(QStringLiteral("No space left on device")));
}

void TestCsvExport::saveReplacesExistingFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString name = dir.filePath(QStringLiteral("history.csv"));
    QVERIFY(writeFile(name, QByteArray(10000, 'x')));

    const auto model = historyModel();
    fillRows(model.get(), 3);
    QString error;
    QVERIFY2(saveHistoryCsv(model.get(), calibration, name, &error, russian()), qPrintable(error));
    QCOMPARE(readFile(name), historyCsv(model.get(), calibration, russian()));
    QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList{QStringLiteral("history.csv")});
}

void TestCsvExport::saveIntoMissingFolderFails()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString name = dir.filePath(QStringLiteral("missing/history.csv"));
    const auto model = historyModel();
    QString error;
    QVERIFY(!saveHistoryCsv(model.get(), calibration, name, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(name));
}

void TestCsvExport::saveOntoFolderFails()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString name = dir.filePath(QStringLiteral("history.csv"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("history.csv")));
    QVERIFY(writeFile(name + QStringLiteral("/inside.txt"), "kept"));

    const auto model = historyModel();
    fillRows(model.get(), 3);
    QString error;
    QVERIFY(!saveHistoryCsv(model.get(), calibration, name, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(QFileInfo(name).isDir());
    QCOMPARE(readFile(name + QStringLiteral("/inside.txt")), QByteArray("kept"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList{QStringLiteral("history.csv")});
}

void TestCsvExport::failedSaveKeepsOldFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString name = dir.filePath(QStringLiteral("history.csv"));
    const QByteArray old("the previous export\n");
    QVERIFY(writeFile(name, old));

    const auto model = historyModel();
    fillRows(model.get(), 500);
    QVERIFY(historyCsv(model.get(), calibration, QLocale::c()).size() > 16 * 1024);

    QString error;
    bool saved = true;
    {
        // A real write failure past 4 KiB, as on a full disk.
        FileSizeLimit limit(4096);
        if (!limit.valid())
            QSKIP("file size limit not available");
        saved = saveHistoryCsv(model.get(), calibration, name, &error, QLocale::c());
    }
    QVERIFY(!saved);
    QVERIFY(!error.isEmpty());
    QCOMPARE(readFile(name), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList{QStringLiteral("history.csv")});

    // The same save goes through once the space is there.
    QVERIFY2(saveHistoryCsv(model.get(), calibration, name, &error, QLocale::c()),
             qPrintable(error));
    QCOMPARE(readFile(name), historyCsv(model.get(), calibration, QLocale::c()));
}

// Every writer, also when the limit fails its last write (a full disk, a quota).
void TestCsvExport::limitOnLastWriteKeepsOldFile_data()
{
    static const auto model = historyModel();
    fillRows(model.get(), 40);
    static HistoryDump dump;
    dump.pages = {QByteArray(3000, 'p'), QByteArray(), QByteArray(500, 'q')};
    QTest::addColumn<Save>("save");
    QTest::newRow("CSV") << Save([](const QString &name, QString *error) {
        return saveHistoryCsv(model.get(), calibration, name, error, QLocale::c());
    });
    QTest::newRow("journal") << Save([](const QString &name, QString *error) {
        return saveJournalPdf(model.get(), QStringLiteral("05A00317"), calibration, name, error);
    });
    QTest::newRow("dump") << Save(
        [](const QString &name, QString *error) { return saveHistoryDump(dump, name, error); });
}

void TestCsvExport::limitOnLastWriteKeepsOldFile()
{
    QFETCH(Save, save);
    QTemporaryDir dir;
    QString error;
    const QString whole = dir.filePath(QStringLiteral("whole")), name = dir.filePath("out");
    QVERIFY2(save(whole, &error), qPrintable(error));
    for (const qint64 missing : {1, 1024}) {
        QVERIFY(writeFile(name, "earlier"));
        error.clear();
        bool saved = true;
        {
            FileSizeLimit limit(QFileInfo(whole).size() - missing);
            if (!limit.valid())
                QSKIP("file size limit not available");
            saved = save(name, &error);
        }
        QVERIFY(!saved && !error.isEmpty());
        QCOMPARE(readFile(name), QByteArray("earlier"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2);
    }
}

QTEST_MAIN(TestCsvExport)
#include "tst_csvexport.moc"
