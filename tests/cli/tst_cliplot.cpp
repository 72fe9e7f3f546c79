// dr7326g-cli plot: the history plot of a dump written without a display, and
// the usage and file errors of the command.
#include "support/cliprocess.h"
#include "support/emulatorprocess.h"

#include <QImage>
#include <QtTest>

class TstCliPlot : public QObject
{
    Q_OBJECT

    QTemporaryDir runtime;
    QTemporaryDir files;
    QString dump;
    QString notADump;

    int cli(const QStringList &args, QString *err = nullptr)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        // As from a shell without a display.
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("DISPLAY"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(DR7326G_CLI), args);
        if (!p.waitForStarted(5000) || !p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished();
            return -1;
        }
        if (err)
            *err = QString::fromUtf8(p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(runtime.isValid() && files.isValid());
        EmulatorProcess pager(runtime.path());
        QVERIFY2(pager.start({"--records", "120", "--page-size", "16"}), qPrintable(pager.log()));
        dump = files.filePath(QStringLiteral("pages.dump"));
        QCOMPARE(cli({"history", "--dump", dump}), 0);
        QFile notes(notADump = files.filePath(QStringLiteral("notes.txt")));
        QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("not a dump\n") > 0);
    }

    void plot_data()
    {
        QTest::addColumn<QStringList>("args"); // after "plot"; files in a new folder
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("written"); // magic of OUT, empty when none

        QTest::newRow("png") << QStringList{"DUMP", "--png", "OUT.png"} << 0
                             << QByteArray("\x89PNG");
        QTest::newRow("pdf first")
            << QStringList{"--pdf", "OUT.pdf", "DUMP"} << 0 << QByteArray("%PDF-");
        QTest::newRow("no output named") << QStringList{"DUMP"} << 2 << QByteArray();
        QTest::newRow("no dump named") << QStringList{"--png", "OUT.png"} << 2 << QByteArray();
        QTest::newRow("suffix against the option")
            << QStringList{"DUMP", "--png", "OUT.pdf"} << 2 << QByteArray();
        QTest::newRow("option of another command")
            << QStringList{"DUMP", "--png", "OUT.png", "--csv", "x.csv"} << 2 << QByteArray();
        QTest::newRow("missing dump")
            << QStringList{"missing.dump", "--png", "OUT.png"} << 1 << QByteArray();
        QTest::newRow("not a dump")
            << QStringList{"NOTADUMP", "--png", "OUT.png"} << 1 << QByteArray();
    }

    void plot()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QByteArray, written);
        QTemporaryDir dir;
        QString out;
        for (QString &a : args) {
            a = a == QLatin1String("DUMP")       ? dump
                : a == QLatin1String("NOTADUMP") ? notADump
                : a.contains(QLatin1Char('.'))   ? dir.filePath(a)
                                                 : a;
            if (a.contains(QLatin1String("/OUT.")))
                out = a;
        }
        QString err;
        QCOMPARE(cli(QStringList{QStringLiteral("plot")} + args, &err), code);
        QFile file(out);
        if (written.isEmpty()) {
            QVERIFY(!file.exists());
            QVERIFY(err.startsWith(QLatin1String("dr7326g-cli: ")));
            return;
        }
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith(written));
        if (written == "\x89PNG") {
            // Not a blank page: the curves and the alarm markers are drawn.
            const QImage image = QImage::fromData(bytes, "PNG");
            QSet<QRgb> colours;
            for (int y = 0; y < image.height(); y += 3)
                for (int x = 0; x < image.width(); x += 3)
                    colours.insert(image.pixel(x, y));
            QVERIFY(image.width() > image.height() && colours.size() > 10);
            QVERIFY(colours.contains(qRgb(255, 0, 0)));
        }
    }

    // A PDF the file-size limit cuts is never left in place of the earlier
    // file, and the exit status says so (QPdfWriter reports no short write).
    void pdfUnderFileSizeLimit_data()
    {
        QTest::addColumn<int>("kilobytes");
        for (int kb = 1; kb <= 24; ++kb)
            QTest::addRow("%d KB", kb) << kb;
    }
    void pdfUnderFileSizeLimit()
    {
        QFETCH(int, kilobytes);
        const QString whole = files.filePath(QStringLiteral("whole.pdf"));
        if (!QFileInfo::exists(whole))
            QCOMPARE(cli({"plot", dump, "--pdf", whole}), 0);
        QVERIFY(QFileInfo(whole).size() > 24 * 1024); // every limit cuts it
        const QString out = files.filePath(QStringLiteral("limited.pdf"));
        QFile earlier(out);
        QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier") == 7);
        earlier.close();
        QCOMPARE(finish(startCli({"plot", dump, "--pdf", out}, runtime.path(),
                                 QStringLiteral("ulimit -f %1").arg(kilobytes * 2)))
                     .code,
                 1);
        QVERIFY(earlier.open(QIODevice::ReadOnly) && earlier.readAll() == "earlier");
    }
};

QTEST_GUILESS_MAIN(TstCliPlot)
#include "tst_cliplot.moc"
