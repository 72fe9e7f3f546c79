// One archive and one settings folder for the window and the tool, whatever
// their application names, and what becomes of the files an earlier version
// of the window kept elsewhere. The user's folders are temporary ones
// (XDG_DATA_HOME, XDG_CONFIG_HOME), never Qt's test folders, which the tool
// would not see.

#include "archivelocation.h"
#include "mainwindow.h"
#include "support/cliprocess.h"
#include "support/dumpfixture.h"

#include <QSettings>
#include <QtTest>

class TestArchiveLocation : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void sameArchiveForWindowAndTool();
    void earlierFiles_data();
    void earlierFiles();

private:
    std::unique_ptr<QTemporaryDir> home;
    QString data(const QString &name) const { return home->filePath("share/" + name); }
    QString config(const QString &name) const { return home->filePath("config/" + name); }
};

void TestArchiveLocation::init()
{
    home.reset(new QTemporaryDir);
    QVERIFY(home->isValid());
    qputenv("XDG_DATA_HOME", home->filePath("share").toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home->filePath("config").toLocal8Bit());
    qunsetenv("DR7326G_ARCHIVE");
    // QSettings reads XDG_CONFIG_HOME once a process.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home->filePath("config"));
}

void TestArchiveLocation::sameArchiveForWindowAndTool()
{
    const QString dump = home->filePath("a.dump");
    QVERIFY(writeFile(dump, historyDumpBytes(historyDumpOf("05A00011", range(1, 5)))));
    const Run imported = finish(startCli({"archive", "import", dump}));
    QVERIFY2(imported.code == 0, qPrintable(imported.err));

    useProgramSettingsNames(); // as the window's main does
    MainWindow window;
    QCOMPARE(window.historyArchive().fileName(), data("dr7326g/archive.sqlite"));
    const QList<ArchivePager> pagers = window.historyArchive().pagers();
    QCOMPARE(pagers.size(), 1);
    QCOMPARE(pagers.first().records, qint64(5));
    QCOMPARE(QSettings().fileName(), config("dr7326g/dr7326g.conf"));
}

using Done = EarlierFiles::Done;

// Archives by kind: "A" a download of minutes 1-20 with a parameter read and
// a setting change, "B" a download of minutes 10-30, "damaged" not an archive.
static void makeArchive(const QString &file, const QString &kind)
{
    QDir().mkpath(QFileInfo(file).absolutePath());
    if (kind == "damaged") {
        QVERIFY(writeFile(file, QByteArray(4096, 'x')));
        return;
    }
    Archive archive;
    QVERIFY(archive.open(file, nullptr));
    if (kind == "A") {
        QVERIFY(archive
                    .storeHistory(historyDumpOf("05A00011", range(1, 20)), ArchiveOutcome::Complete,
                                  "download")
                    .ok);
        QVERIFY(archive.storeParameterRead({"05A00011", {{setting::gammaSigma, "3"}}}, nullptr));
        QVERIFY(archive.storeSettingChange("05A00011", setting::gammaSigma, "4",
                                           SettingOutcome::Stored, nullptr));
    }
    if (kind == "B")
        QVERIFY(archive
                    .storeHistory(historyDumpOf("05A00011", range(10, 21), true, 60),
                                  ArchiveOutcome::Complete, "download")
                    .ok);
}

void TestArchiveLocation::earlierFiles_data()
{
    QTest::addColumn<QString>("earlier");
    QTest::addColumn<QString>("current");
    QTest::addColumn<bool>("named"); // DR7326G_ARCHIVE set
    QTest::addColumn<int>("archiveDone");
    QTest::addColumn<int>("settingsDone");
    QTest::addColumn<int>("downloads"); // in the current archive after
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("logRows");
    const int nothing = int(Done::Nothing), moved = int(Done::Moved), merged = int(Done::Merged),
              failed = int(Done::Failed);
    QTest::newRow("neither") << ""
                             << "" << false << nothing << nothing << 0 << 0 << 0;
    QTest::newRow("earlier only") << "A"
                                  << "" << false << moved << moved << 1 << 20 << 2;
    QTest::newRow("both") << "A"
                          << "B" << false << merged << merged << 2 << 30 << 2;
    QTest::newRow("both, already held") << "A"
                                        << "A+B" << false << merged << merged << 2 << 30 << 2;
    QTest::newRow("earlier damaged") << "damaged"
                                     << "B" << false << failed << merged << 1 << 21 << 0;
    QTest::newRow("archive named") << "A"
                                   << "" << true << nothing << moved << 0 << 0 << 0;
}

void TestArchiveLocation::earlierFiles()
{
    QFETCH(QString, earlier);
    QFETCH(QString, current);
    QFETCH(bool, named);
    QFETCH(int, archiveDone);
    const QString earlierFile = data("DR7326G/dr7326g/archive.sqlite");
    const QString currentFile = data("dr7326g/archive.sqlite");
    const QString earlierConf = config("DR7326G/dr7326g.conf");
    const QString currentConf = config("dr7326g/dr7326g.conf");
    if (!earlier.isEmpty()) {
        makeArchive(earlierFile, earlier);
        QSettings(earlierConf, QSettings::IniFormat).setValue("lastFolder", "/earlier");
        QSettings(earlierConf, QSettings::IniFormat).setValue("geometry", "earlier");
    }
    if (!current.isEmpty()) {
        // "A+B": a copy of the earlier archive (the very same events), and B.
        QDir().mkpath(QFileInfo(currentFile).absolutePath());
        if (current == "A+B")
            QVERIFY(QFile::copy(earlierFile, currentFile));
        makeArchive(currentFile, current.right(1));
        QSettings(currentConf, QSettings::IniFormat).setValue("lastFolder", "/current");
    }
    if (named)
        qputenv("DR7326G_ARCHIVE", home->filePath("named.sqlite").toLocal8Bit());
    const QByteArray earlierBytes = fileBytes(earlierFile), currentBytes = fileBytes(currentFile);

    const EarlierFiles done = moveEarlierFiles(true);
    QCOMPARE(int(done.archive), archiveDone);
    QTEST(int(done.settings), "settingsDone");
    const bool gone = done.archive == Done::Moved || done.archive == Done::Merged;
    QCOMPARE(QFileInfo::exists(earlierFile), !earlier.isEmpty() && !gone);
    QCOMPARE(QFileInfo::exists(done.archiveAside), done.archive == Done::Merged);
    if (done.archive == Done::Failed) {
        QCOMPARE(fileBytes(earlierFile), earlierBytes);
        QCOMPARE(fileBytes(currentFile), currentBytes);
    }
    if (done.settings != Done::Nothing) {
        const QSettings settings(currentConf, QSettings::IniFormat);
        QCOMPARE(settings.value("geometry").toString(), QString("earlier"));
        QCOMPARE(settings.value("lastFolder").toString(),
                 QString(current.isEmpty() ? "/earlier" : "/current"));
    }

    Archive archive;
    int downloads = 0, records = 0, logRows = 0;
    if (QFileInfo::exists(currentFile)) {
        QVERIFY(archive.open(currentFile, nullptr));
        downloads = archive.downloads("05A00011").size();
        records = archive.pagers().value(0).records;
        logRows = archive.settingsLog("05A00011").size();
        // An earlier archive's chain merged as it was made.
        QVERIFY(archive.verifyChains().intact);
    }
    QTEST(downloads, "downloads");
    QTEST(records, "records");
    QTEST(logRows, "logRows");
    // Once set aside, the next start finds nothing to do.
    QCOMPARE(int(moveEarlierFiles(true).archive), int(gone ? Done::Nothing : done.archive));
}

QTEST_MAIN(TestArchiveLocation)
#include "tst_archivelocation.moc"
