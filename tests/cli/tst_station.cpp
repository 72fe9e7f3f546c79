// The download station against emulated pagers that arrive and leave, and
// against being killed in the middle of a download.
#include "support/cliprocess.h"
#include "support/emulatorprocess.h"

#include <QtTest>

class TstStation : public QObject
{
    Q_OBJECT

    // The rows of `archive list`, by serial number.
    static QMap<QString, QStringList> pagers(const QString &runtime, const QString &archive)
    {
        QMap<QString, QStringList> rows;
        const Run r = finish(startCli({"archive", "list", "--archive", archive}, runtime));
        for (const QString &line : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(1))
            rows.insert(line.section(QLatin1Char('\t'), 0, 0), line.split(QLatin1Char('\t')));
        return rows;
    }

private slots:
    // Each pager is read once while it stays, its clock set under the rule,
    // and the event command gets what came of each contact.
    void arrivingPagersEachReadOnce()
    {
        QTemporaryDir runtime;
        EmulatorProcess emulator(runtime.path());
        QVERIFY2(emulator.start({"--pagers", "3", "--arrive-every", "1", "--stay", "10", "--baud",
                                 "0", "--records", "100", "--clock-offset", "10"},
                                {"05A00317.sock"}),
                 qPrintable(emulator.log()));
        const QString archive = runtime.path() + QStringLiteral("/a.sqlite");
        const QString events = runtime.path() + QStringLiteral("/events");
        // The lab wants another threshold of one pager only.
        const QString policy = runtime.path() + QStringLiteral("/lab.ini");
        QFile ini(policy);
        QVERIFY(ini.open(QIODevice::WriteOnly) &&
                ini.write("[all]\ndose-rate-threshold = 1e-5\n[05A00318]\n"
                          "dose-rate-threshold = 2e-5\n") > 0);
        ini.close();
        QProcess *station =
            startCli({"station", "--archive", archive, "--policy", policy, "--set-clock-beyond",
                      "60", "--on-event",
                      QStringLiteral("env | grep ^DR7326G_ | sort | tr '\\n' ' ' >> %1; echo >> %1")
                          .arg(events)},
                     runtime.path());
        // The emulator ends once every pager has left again.
        QVERIFY2(emulator.process.waitForFinished(60000), qPrintable(emulator.log()));
        station->terminate();
        const Run r = finish(station);
        QCOMPARE(r.code, 0);

        QFile file(events);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList contacts =
            QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(contacts.size(), 3);
        const QMap<QString, QStringList> rows = pagers(runtime.path(), archive);
        for (const QString &serial : QStringList{"05A00317", "05A00318", "05A00319"}) {
            QCOMPARE(r.out.count(serial + QStringLiteral(" contact complete 100/100")), 1);
            const QStringList of = contacts.filter(QStringLiteral("DR7326G_SERIAL=") + serial);
            QCOMPARE(of.size(), 1);
            for (const QString &variable :
                 {QStringLiteral("OUTCOME=complete"), QStringLiteral("NEW_RECORDS=100"),
                  QStringLiteral("CLOCK_SET=1"), QStringLiteral("CALIBRATION_OVERDUE=0"),
                  QStringLiteral("ALARMS=") + rows.value(serial).value(5) + QLatin1Char(' '),
                  QStringLiteral("POLICY_APPLIED=%1").arg(serial == "05A00318" ? 1 : 0)})
                QVERIFY2(of.first().contains(QStringLiteral("DR7326G_") + variable),
                         qPrintable(of.first()));
        }
    }

    // Killed in the middle of a download and started again: the pager is read
    // again, nothing stored twice, nothing lost.
    void killedDuringDownloadThenRestarted()
    {
        QTemporaryDir runtime;
        EmulatorProcess emulator(runtime.path());
        QVERIFY2(emulator.start({"--records", "600", "--baud", "38400"}),
                 qPrintable(emulator.log()));
        const QString archive = runtime.path() + QStringLiteral("/a.sqlite");
        // Read whole once, then again after 2 s: killed in that second download.
        QProcess *station =
            startCli({"station", "--archive", archive, "--again-after", "0.0005"}, runtime.path());
        QString log;
        QVERIFY2(readUntil(&emulator.process, QProcess::StandardError, &log,
                           [](const QString &text) {
                               return text.count(QLatin1String("page 10 of 38")) == 2;
                           }),
                 qPrintable(log));
        station->kill();
        QString out = finish(station).out;
        QCOMPARE(out.count(QLatin1String("contact complete 600/600")), 1);
        QVERIFY2(!out.contains(QLatin1String(" 0/600")), qPrintable(out));

        station = startCli({"station", "--archive", archive}, runtime.path());
        out.clear();
        QVERIFY2(readUntil(station, QProcess::StandardOutput, &out,
                           [](const QString &text) { return text.contains(" contact "); }),
                 qPrintable(out));
        station->terminate();
        out += finish(station).out;
        QVERIFY2(out.contains(QLatin1String("contact complete 0/600")), qPrintable(out));
        QCOMPARE(pagers(runtime.path(), archive).value("05A00317").value(1), QStringLiteral("600"));
    }

    // Stopped in the middle of a download: the exchange ends, the pages read
    // are stored, and the status is 0.
    void stoppedDuringDownloadKeepsWhatWasRead()
    {
        QTemporaryDir runtime;
        EmulatorProcess emulator(runtime.path());
        QVERIFY2(emulator.start({"--records", "600", "--baud", "38400"}),
                 qPrintable(emulator.log()));
        const QString archive = runtime.path() + QStringLiteral("/a.sqlite");
        QProcess *station = startCli({"station", "--archive", archive}, runtime.path());
        QString log;
        QVERIFY2(readUntil(&emulator.process, QProcess::StandardError, &log,
                           [](const QString &text) { return text.contains("page 10 of 38"); }),
                 qPrintable(log));
        station->terminate();
        const Run r = finish(station);
        QCOMPARE(r.code, 0);
        QVERIFY2(r.out.contains(QLatin1String("05A00317 history stopped ")), qPrintable(r.out));
        const int kept = pagers(runtime.path(), archive).value("05A00317").value(1).toInt();
        QVERIFY2(kept >= 160 && kept < 600, qPrintable(QString::number(kept)));
    }

    // An event command that hangs is killed, and the station goes on.
    void hangingEventCommandKilled()
    {
        QTemporaryDir runtime;
        EmulatorProcess emulator(runtime.path());
        QVERIFY2(emulator.start({"--baud", "0"}), qPrintable(emulator.log()));
        QProcess *station = startCli({"station", "--archive", runtime.path() + "/a.sqlite",
                                      "--on-event", "sleep 600", "--event-timeout", "1"},
                                     runtime.path());
        QString out;
        QVERIFY2(readUntil(station, QProcess::StandardOutput, &out,
                           [](const QString &text) { return text.contains(" event killed "); }),
                 qPrintable(out));
        station->terminate();
        QCOMPARE(finish(station).code, 0);
    }

    // Only a station that cannot run at all has a status other than 0.
    void cannotRun_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::newRow("no archive") << QStringList{"--no-archive"} << 2;
        QTest::newRow("archive not writable") << QStringList{"--archive", "/proc/a.sqlite"} << 1;
        QTest::newRow("again-after 0") << QStringList{"--again-after", "0"} << 2;
        QTest::newRow("argument") << QStringList{"now"} << 2;
        QTest::newRow("policy file missing") << QStringList{"--policy", "/nonexistent.ini"} << 2;
    }
    void cannotRun()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QTemporaryDir runtime;
        QCOMPARE(finish(startCli(QStringList{"station"} + args, runtime.path())).code, code);
    }
};

QTEST_GUILESS_MAIN(TstStation)
#include "tst_station.moc"
