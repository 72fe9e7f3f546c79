// The emulated pager's protocol side: what it logs of odd requests and how it
// refuses a clock setting.
#include "pagerlink.h"
#include "pagerstate.h"
#include "wireformat.h"

#include <QtTest>

class TstEmulatorCore : public QObject
{
    Q_OBJECT
private slots:
    void logKeepsEveryByte_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("NUL in a line")
            << int(WireRequest::Text) << QByteArray("DR_Pager\0tail", 13) << "DR_Pager\\x00tail";
        QTest::newRow("escape sequence")
            << int(WireRequest::Text) << QByteArray("A\x1b[2JB") << "A\\x1b[2JB";
        QTest::newRow("stray bytes")
            << int(WireRequest::Garbage) << QByteArray("\r\0", 2) << "2 stray bytes dropped: 0d 00";
    }
    void logKeepsEveryByte()
    {
        QFETCH(int, kind);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        const QString log = describeRequest({WireRequest::Kind(kind), bytes});
        QVERIFY2(log.contains(shown), qPrintable(log));
    }

    void refusedClockStaysAsItWas()
    {
        PagerProfile profile;
        profile.refuseWrites = true;
        PagerState pager(profile, {}, [] { return std::int64_t(1000); });
        pager.clockOffsetMinutes = -90;
        PagerLink link;
        link.serialNumber = QString::fromLatin1(profile.serial);
        const auto ask = [&](const char *word, const QString &value = QString()) {
            return pager.answerText(link.nextCommandLine(QLatin1String(word), value).chopped(2))
                .bytes;
        };
        QVERIFY(ask("set_enter_time", QStringLiteral("0003E8")).contains(" ERROR REFUSED "));
        QCOMPARE(pager.clockMinutes(), std::int64_t(910));
        QVERIFY(ask("read_enter_time").contains(" Time=00038E "));
    }
};

QTEST_APPLESS_MAIN(TstEmulatorCore)
#include "tst_emulatorcore.moc"
