// The settings policy file: what it wants of each pager against what the
// pagers reported, and the problems of a bad file with their lines.
#include "settingspolicy.h"

#include <QtTest>

class TstSettingsPolicy : public QObject
{
    Q_OBJECT

private slots:
    void deviationsAndProblems_data()
    {
        QTest::addColumn<QByteArray>("ini");
        // "SN setting=value ..." a pager a line, as the archive last heard it.
        QTest::addColumn<QStringList>("reported");
        // "SN setting reported wanted", or "Lline: part of the problem".
        QTest::addColumn<QStringList>("expected");
        const QByteArray lab = "\xEF\xBB\xBF# the lab\n[all]\ngamma-sigma = 3.0\n"
                               "dose-rate-threshold = 1e-5\n\n; this one differs\n"
                               "[05A00318]\ndose-rate-threshold = 2,5e-5\n";
        QTest::newRow("a pager's section overrides, numbers compare as values")
            << lab
            << QStringList{"05A00317 gamma-sigma=3 dose-rate-threshold=1e-05",
                           "05A00318 gamma-sigma=3 dose-rate-threshold=1e-05"}
            << QStringList{"05A00318 dose-rate-threshold 1e-05 2.5e-05"};
        QTest::newRow("a setting not reported deviates")
            << QByteArray("[all]\nhistory-interval=10\nneutron-sigma = 3.5\n")
            << QStringList{"05A00317 neutron-sigma=3.5"}
            << QStringList{"05A00317 history-interval - 10"};
        QTest::newRow("bad lines")
            << QByteArray("gamma-sigma = 3\n"
                          "[all]\n"
                          "gamma-sigma = 3.57\n"
                          "dose-rate-threshold = 1\n"
                          "colour = red\n"
                          "history-interval\n"
                          "history-interval = 10\n"
                          "history-interval = 11\n"
                          "[]\n"
                          "[all]\n")
            << QStringList()
            << QStringList{"L1: outside a section",      "L3: kept as 3.5",
                           "L4: from 1e-07 to 0.001: 1", "L5: unknown setting \"colour\"",
                           "L6: not \"key = value\"",    "L8: twice in [all] (first on line 7)",
                           "L9: a section is [all] or",  "L10: given twice (first on line 2)"};
        QTest::newRow("a policy that wants nothing")
            << QByteArray("# nothing yet\n[all]\n") << QStringList()
            << QStringList{"L0: wants no setting"};
    }
    void deviationsAndProblems()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QStringList, reported);
        QFETCH(QStringList, expected);
        SettingsPolicy policy;
        QList<PolicyProblem> problems;
        const bool ok = parseSettingsPolicy(ini, &policy, &problems);
        QStringList got;
        for (const PolicyProblem &p : problems)
            got << QStringLiteral("L%1: %2").arg(p.line).arg(p.message);
        QCOMPARE(ok, got.isEmpty());
        if (!ok) {
            QCOMPARE(got.size(), expected.size());
            for (int i = 0; i < got.size(); ++i) {
                const QString line = expected.at(i).section(QLatin1Char(' '), 0, 0);
                QVERIFY2(got.at(i).startsWith(line) &&
                             got.at(i).contains(expected.at(i).section(QLatin1Char(' '), 1)),
                         qPrintable(got.at(i)));
            }
            return;
        }
        for (const QString &pager : reported) {
            const QStringList words = pager.split(QLatin1Char(' '));
            QHash<QString, QString> values;
            for (const QString &w : words.mid(1))
                values.insert(w.section(QLatin1Char('='), 0, 0), w.section(QLatin1Char('='), 1));
            for (const SettingDeviation &d : policyDeviations(policy, words.first(), values))
                got << QStringList{d.serialNumber, d.setting,
                                   d.reported.isEmpty() ? QStringLiteral("-") : d.reported,
                                   d.wanted}
                           .join(QLatin1Char(' '));
        }
        QCOMPARE(got, expected);
    }
};

QTEST_GUILESS_MAIN(TstSettingsPolicy)
#include "tst_settingspolicy.moc"
