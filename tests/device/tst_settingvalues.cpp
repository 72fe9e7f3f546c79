// What the operator types and what the link is allowed to send.
#include "pagerlink.h"
#include "settingvalues.h"

#include <QtTest>

#include <cmath>
#include <limits>

class TstSettingValues : public QObject
{
    Q_OBJECT
private slots:
    void parseNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<float>("value");
        QTest::newRow("point") << "3.5" << true << 3.5f;
        QTest::newRow("comma") << "1,5" << true << 1.5f;
        QTest::newRow("exponent") << "1.5e-6" << true << 1.5e-6f;
        QTest::newRow("comma exponent") << "1,5e-06" << true << 1.5e-6f;
        QTest::newRow("spaces") << "  2.5 " << true << 2.5f;
        QTest::newRow("integer") << "3" << true << 3.0f;
        QTest::newRow("empty") << "" << false << 0.0f;
        QTest::newRow("blank") << "   " << false << 0.0f;
        QTest::newRow("letters") << "abc" << false << 0.0f;
        QTest::newRow("trailing junk") << "3.5x" << false << 0.0f;
        QTest::newRow("two separators") << "1,5.2" << false << 0.0f;
        QTest::newRow("overflow") << "1e60" << false << 0.0f;
    }
    void parseNumber()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(float, value);
        const auto parsed = parseSettingNumber(text);
        QCOMPARE(parsed.has_value(), ok);
        if (ok)
            QCOMPARE(*parsed, value);
    }

    void parseInterval_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<unsigned>("value");
        QTest::newRow("60") << "60" << true << 60u;
        QTest::newRow("0") << "0" << true << 0u;
        QTest::newRow("max") << "65535" << true << 65535u;
        QTest::newRow("above max") << "65536" << false << 0u;
        QTest::newRow("negative") << "-5" << false << 0u;
        QTest::newRow("letters") << "ab" << false << 0u;
        QTest::newRow("fraction") << "1.5" << false << 0u;
        QTest::newRow("empty") << "" << false << 0u;
    }
    void parseInterval()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(unsigned, value);
        const auto parsed = parseHistoryInterval(text);
        QCOMPARE(parsed.has_value(), ok);
        if (ok)
            QCOMPARE(*parsed, value);
    }

    void render_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("3") << 3.0f << "3";
        QTest::newRow("2.5") << 2.5f << "2.5";
        QTest::newRow("3.5") << 3.5f << "3.5";
        QTest::newRow("1e-4") << 0.0001f << "0.0001";
        QTest::newRow("1e-6") << 0.000001f << "1e-06";
        QTest::newRow("1.5e-5") << 1.5e-5f << "1.5e-05";
        QTest::newRow("100.5") << 100.5f << "100.5";
        QTest::newRow("0") << 0.0f << "0";
    }
    void render()
    {
        QFETCH(float, value);
        QFETCH(QString, text);
        QCOMPARE(renderSetting(value), text);
    }

    void renderIgnoresLocale()
    {
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        QCOMPARE(renderSetting(2.5f), QStringLiteral("2.5"));
        QLocale::setDefault(QLocale::c());
    }

    void sigmaRange()
    {
        QVERIFY(sigmaFitsWire(0.0f));
        QVERIFY(sigmaFitsWire(3.5f));
        QVERIFY(sigmaFitsWire(6553.5f));
        QVERIFY(!sigmaFitsWire(6553.6f)); // would travel as 0
        QVERIFY(!sigmaFitsWire(-1.0f));   // would travel as 0xFFF6
        QVERIFY(!sigmaFitsWire(std::numeric_limits<float>::quiet_NaN()));
        QVERIFY(!sigmaFitsWire(std::numeric_limits<float>::infinity()));
    }

    // Tenths of the single-precision product, truncated: the same from every compiler.
    void sigmaAsKept_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<float>("kept");
        QTest::newRow("0.3") << 0.3f << 0.3f;
        QTest::newRow("4.1") << 4.1f << 4.1f;
        QTest::newRow("3.57") << 3.57f << 3.5f;
        QTest::newRow("0.09") << 0.09f << 0.0f;
        QTest::newRow("largest") << 6553.5f << 6553.5f;
    }
    void sigmaAsKept()
    {
        QFETCH(float, value);
        QFETCH(float, kept);
        QCOMPARE(::sigmaAsKept(value), kept);
    }

    void thresholdRange()
    {
        QVERIFY(thresholdFitsWire(0.0f));
        QVERIFY(thresholdFitsWire(1e-5f));
        QVERIFY(thresholdFitsWire(1e30f));
        QVERIFY(!thresholdFitsWire(-1e-5f)); // would travel as its magnitude
        QVERIFY(!thresholdFitsWire(std::numeric_limits<float>::quiet_NaN()));
        QVERIFY(!thresholdFitsWire(std::numeric_limits<float>::infinity()));
    }
};

QTEST_APPLESS_MAIN(TstSettingValues)
#include "tst_settingvalues.moc"
