// Every writer leaves the earlier file and reports a failure when a file-size
// limit (a full disk, a quota) fails one of its writes, the last one too.
#include "csvexport.h"
#include "historydump.h"
#include "pdfjournal.h"
#include "reporttestsupport.h"

#include <QtTest>

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
        QTest::addColumn<Save>("save");
        QTest::newRow("CSV") << Save([=](const QString &name, QString *error) {
            return saveHistoryCsv(model.get(), date, name, error, QLocale::c());
        });
        QTest::newRow("journal") << Save([=](const QString &name, QString *error) {
            return saveJournalPdf(model.get(), QStringLiteral("05A00317"), date, name, error);
        });
        QTest::newRow("dump") << Save([=](const QString &name, QString *error) {
            return saveHistoryDump(dump, name, error);
        });
    }
    void limitKeepsEarlierFile()
    {
        QFETCH(Save, save);
        QTemporaryDir dir;
        QString error;
        const QString whole = dir.filePath(QStringLiteral("whole"));
        QVERIFY2(save(whole, &error), qPrintable(error));
        const QString name = dir.filePath(QStringLiteral("out"));
        // The limit fails the last write, or one a kilobyte before the end.
        for (const qint64 missing : {1, 1024}) {
            QFile earlier(name);
            QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier") == 7);
            earlier.close();
            error.clear();
            bool saved = true;
            {
                FileSizeLimit limit(QFileInfo(whole).size() - missing);
                if (!limit.valid())
                    QSKIP("no file size limit here");
                saved = save(name, &error);
            }
            QVERIFY(!saved && !error.isEmpty());
            QVERIFY(earlier.open(QIODevice::ReadOnly));
            QCOMPARE(earlier.readAll(), QByteArray("earlier"));
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2);
        }
    }
};

QTEST_MAIN(TestSaveLimit)
#include "tst_savelimit.moc"
