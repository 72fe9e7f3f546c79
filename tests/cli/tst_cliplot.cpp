// dr7326g-cli plot: the history plot of a dump written without a display, and
// the usage and file errors of the command.
#include "support/emulatorprocess.h"

#include <QImage>
#include <QtTest>

class TstCliPlot : public QObject
{
    Q_OBJECT

    QTemporaryDir runtime;
    QTemporaryDir files;
    QString dump;

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

    static QByteArray bytes(const QString &name)
    {
        QFile f(name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(runtime.isValid() && files.isValid());
        EmulatorProcess pager(runtime.path());
        QVERIFY2(pager.start({"--records", "120", "--page-size", "16"}), qPrintable(pager.log()));
        dump = files.filePath(QStringLiteral("pages.dump"));
        QCOMPARE(cli({"history", "--dump", dump}), 0);
    }

    void plot_data()
    {
        QTest::addColumn<QStringList>("args"); // after "plot"; DUMP and OUT are replaced
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
        const QString notADump = files.filePath(QStringLiteral("notes.txt"));
        QFile notes(notADump);
        QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("not a dump\n") > 0);
        notes.close();
        QString out;
        for (QString &a : args) {
            if (a == QLatin1String("DUMP"))
                a = dump;
            else if (a == QLatin1String("NOTADUMP"))
                a = notADump;
            else if (a.startsWith(QLatin1String("OUT")))
                a = out = files.filePath(QString(a).replace(
                    QLatin1String("OUT"), QString::fromLatin1(QTest::currentDataTag())
                                              .replace(QLatin1Char(' '), QLatin1Char('-'))));
            else if (a == QLatin1String("missing.dump"))
                a = files.filePath(a);
        }
        QString err;
        QCOMPARE(cli(QStringList{QStringLiteral("plot")} + args, &err), code);
        if (written.isEmpty()) {
            QVERIFY(!QFile::exists(out));
            QVERIFY(err.startsWith(QLatin1String("dr7326g-cli: ")));
            return;
        }
        const QByteArray file = bytes(out);
        QVERIFY(file.startsWith(written));
        if (written == "\x89PNG") {
            const QImage image = QImage::fromData(file, "PNG");
            QVERIFY(image.width() > image.height());
            // Not a blank page: the curves and the alarm markers are drawn.
            QSet<QRgb> colours;
            for (int y = 0; y < image.height(); y += 3)
                for (int x = 0; x < image.width(); x += 3)
                    colours.insert(image.pixel(x, y));
            QVERIFY(colours.contains(qRgb(255, 0, 0)));
            QVERIFY(colours.size() > 10);
        }
    }
};

QTEST_GUILESS_MAIN(TstCliPlot)
#include "tst_cliplot.moc"
