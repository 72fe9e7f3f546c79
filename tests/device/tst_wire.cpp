// Checksums, the device float layout and register frames, byte for byte.
#include "pagerlink.h"

#include <QtTest>

#include <cmath>
#include <cstring>

namespace {
QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}
} // namespace

class TstWire : public QObject
{
    Q_OBJECT
private slots:
    void crcCheckValues()
    {
        const char digits[] = "123456789";
        QCOMPARE(crc16(digits, 9, 0xFFFF), std::uint16_t(0x6F91)); // MCRF4XX
        QCOMPARE(std::uint16_t(crc16(digits, 9, 0xFFFF) ^ 0xFFFF), std::uint16_t(0x906E));
        QCOMPARE(crc16(digits, 0, 0x1234), std::uint16_t(0x1234));
        QCOMPARE(crc16(static_cast<const char *>(nullptr), 5, 0xFFFF), std::uint16_t(0xFFFF));
    }

    void checksumTextForm()
    {
        PagerLink link;
        QCOMPARE(link.checksumText("123456789", 9, 0xFFFF), QStringLiteral("906E"));
        QCOMPARE(link.checksumText("", 0, 0xFFFF), QStringLiteral("0000"));
        // Leading zeros of each byte are kept.
        const QString t = link.checksumText("A", 1, 0xFFFF);
        QCOMPARE(t.size(), 4);
        const std::uint16_t v = crc16("A", 1, 0xFFFF) ^ 0xFFFF;
        QCOMPARE(t, QString::number(v, 16).rightJustified(4, QLatin1Char('0')).toUpper());
    }

    void floatEncoding_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("1e-5") << 1.0e-5f << hex("27 6F AC C5");
        QTest::newRow("1.0") << 1.0f << hex("00 80 00 00");
        QTest::newRow("0.0") << 0.0f << hex("00 01 00 00");
    }
    void floatEncoding()
    {
        QFETCH(float, value);
        QFETCH(QByteArray, wire);
        const auto bytes = encodeDeviceFloat(value);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(bytes.data()), 4), wire);
        const std::uint32_t w = deviceWordFromWireOrder(bytes.data());
        QCOMPARE(decodeDeviceFloat(w), value);
    }

    void floatDecodingWorkedWords()
    {
        QCOMPARE(decodeDeviceFloat(0x80000000u), 1.0f);
        QCOMPARE(decodeDeviceFloat(0x81400000u), 3.0f);
        QCOMPARE(decodeDeviceFloat(0x7F000000u), 0.5f);
        QCOMPARE(decodeDeviceFloat(0x01000000u), 0.0f);
        QCOMPARE(decodeDeviceFloat(0x80800000u), 1.0f); // bit 23 ignored
        QVERIFY(std::isinf(decodeDeviceFloat(0x00000000u)));
        QVERIFY(std::isnan(decodeDeviceFloat(0x00400000u)));
    }

    void floatSignIsLost()
    {
        QCOMPARE(encodeDeviceFloatWord(-2.0f), encodeDeviceFloatWord(2.0f));
        QCOMPARE(encodeDeviceFloatWord(-1.0e-5f), encodeDeviceFloatWord(1.0e-5f));
    }

    void floatRoundTripNeverMakesTopByteZero()
    {
        // Every finite non-negative value survives the trip and never yields
        // the all-ones exponent that a top byte of 0 would decode to.
        const float samples[] = {0.0f, 1e-38f, 1.17549435e-38f, 1e-10f,
                                 0.3f, 3.5f,   1e10f,           3.4028234e38f};
        for (float x : samples) {
            const std::uint32_t w = encodeDeviceFloatWord(x);
            QVERIFY2((w >> 24) != 0, qPrintable(QString::number(double(x))));
            QCOMPARE(decodeDeviceFloat(w), x);
        }
    }

    void registerFrames_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("read gamma")
            << registerReadFrame(reg::gammaSigma, 2) << hex("23 08 00 52 02 00 02 F0 E3");
        QTest::newRow("read neutron")
            << registerReadFrame(reg::neutronSigma, 2) << hex("23 08 00 52 20 00 02 73 55");
        QTest::newRow("read threshold")
            << registerReadFrame(reg::doseRateThreshold, 4) << hex("23 08 00 52 70 00 04 A6 B3");
        QTest::newRow("write gamma 3.0") << registerWriteFrame(reg::gammaSigma, hex("1E 00"))
                                         << hex("23 0A 00 57 02 00 02 1E 00 F4 B9");
        QTest::newRow("write neutron 3.5") << registerWriteFrame(reg::neutronSigma, hex("23 00"))
                                           << hex("23 0A 00 57 20 00 02 23 00 37 C9");
        QTest::newRow("write threshold 1e-5")
            << registerWriteFrame(reg::doseRateThreshold, hex("27 6F AC C5"))
            << hex("23 0C 00 57 70 00 04 27 6F AC C5 7A AB");
    }
    void registerFrames()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, expected);
        QCOMPARE(frame.toHex(' '), expected.toHex(' '));
    }

    void epochIsLocalMidnight1999()
    {
        const QDateTime e = deviceEpoch();
        QVERIFY(e.isValid());
        QCOMPARE(e.timeSpec(), Qt::LocalTime);
        QCOMPARE(e.date(), QDate(1999, 1, 1));
        QCOMPARE(e.time(), QTime(0, 0));
    }
};

QTEST_APPLESS_MAIN(TstWire)
#include "tst_wire.moc"
