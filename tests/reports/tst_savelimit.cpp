// Every writer leaves the earlier file and reports a failure when a file-size
// limit (a full disk, a quota) fails one of its writes, the last one too.
#include "csvexport.h"
#include "historydump.h"
#include "pdfjournal.h"
#include "reporttestsupport.h"

#include <QtTest>

#include <functional>

using Save = std::function<bool(const QString &name, QString *error)>;
Q_DECLARE_METATYPE(Save)

class TestSaveLimit : public QObject
{
    Q_OBJECT

    std::unique_ptr<QStandardItemModel> model = historyModel();
    HistoryDump dump;

private slots:
    void limitKeepsEarlierFile_data()
    {
        fillRows(model.get(), 40);
        dump.pages = {QByteArray(3000, 'p'), QByteArray(), QByteArray(500, 'q')};
        const QDate date(2020, 11, 27);
        const Save csv = [=](const QString &name, QString *error) {
            return saveHistoryCsv(model.get(), date, name, error, QLocale::c());
        };
        const Save journal = [=](const QString &name, QString *error) {
            return saveJournalPdf(model.get(), QStringLiteral("05A00317"), date, name, error);
        };
        const Save dumpFile = [=](const QString &name, QString *error) {
            return saveHistoryDump(dump, name, error);
        };
        QTest::addColumn<Save>("save");
        QTest::addColumn<int>("missing"); // bytes the limit leaves out of the whole file
        for (const auto &writer : {std::make_pair("CSV", csv), std::make_pair("journal", journal),
                                   std::make_pair("dump", dumpFile)}) {
            QTest::newRow(QByteArray(writer.first) + ", last byte") << writer.second << 1;
            QTest::newRow(QByteArray(writer.first) + ", last kilobyte") << writer.second << 1024;
        }
    }
    void limitKeepsEarlierFile()
    {
        QFETCH(Save, save);
        QFETCH(int, missing);
        QTemporaryDir dir;
        QString error;
        const QString whole = dir.filePath(QStringLiteral("whole"));
        QVERIFY2(save(whole, &error), qPrintable(error));
        const qint64 size = QFileInfo(whole).size();
        QVERIFY(size > 1024);
        const QString name = dir.filePath(QStringLiteral("out"));
        QFile earlier(name);
        QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier") == 7);
        earlier.close();

        bool saved = true;
        {
            FileSizeLimit limit(size - missing);
            if (!limit.valid())
                QSKIP("no file size limit here");
            saved = save(name, &error);
        }
        QVERIFY(!saved);
        QVERIFY(!error.isEmpty());
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QCOMPARE(earlier.readAll(), QByteArray("earlier"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2);
    }
};

QTEST_MAIN(TestSaveLimit)
#include "tst_savelimit.moc"
