// PagerLink against the scripted USB library: what goes on the wire, how
// replies are read and what every failure gives.
#include "pagerlink.h"
#include "support/fakepager.h"
#include "usbfake.h"

#include <QtTest>

#include <iterator>
#include <limits>

using usbfake::Op;

namespace {

const QString serial = QStringLiteral("05A00317");

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// A reply line as the pager sends it: text, checksum, line feed, carriage return.
QByteArray replyLine(const QString &text)
{
    const QByteArray body = (text + QStringLiteral(" CRC=")).toUtf8();
    PagerLink p;
    return body + p.checksumText(body.constData(), std::uint16_t(body.size()), 0xFFFF).toLatin1() +
           "\n\r";
}

// The identification reply, with the serial number at positions 38-45.
QByteArray idReply(const QString &sn = serial)
{
    return replyLine(QStringLiteral("DR_Pager#12345678 $0001 GET_ID SERIAL=") + sn);
}

// The request line that the link must send, built here from its parts.
QByteArray expectedLine(const QString &sn, const char *number, const char *word,
                        const char *value = nullptr)
{
    QByteArray line = "DR_Pager#" + sn.toLatin1() + " $" + number + " " + word + " ";
    if (value)
        line += QByteArray("Time=") + value + " ";
    line += "CRC=";
    const std::uint16_t v = crc16(line.constData(), std::uint16_t(line.size()), 0xFFFF) ^ 0xFFFF;
    return line + QByteArray::number(v, 16).rightJustified(4, '0').toUpper() + "\n\r";
}

QByteArray le16(int v)
{
    return QByteArray(1, char(v & 0xFF)) + QByteArray(1, char((v >> 8) & 0xFF));
}

QByteArray registerReply(const QByteArray &data)
{
    return QByteArray("#\x08\x00R", 4) + data + QByteArray("\xAA\xBB", 2);
}

QByteArray writeReply(char status)
{
    return QByteArray("#\x07\x00W", 4) + QByteArray(1, status) + QByteArray("\xAA\xBB", 2);
}

QByteArray thresholdReply(const QByteArray &data)
{
    return QByteArray("#\x0A\x00R", 4) + data + "zz";
}

// 1: the expected value read, 0: unanswered, -1: a wrong value read.
int readOutcome(PagerLink &l, float (PagerLink::*read)(bool *), float want)
{
    bool ok = false;
    const float v = (l.*read)(&ok);
    return ok ? (qFuzzyCompare(v, want) ? 1 : -1) : 0;
}

// One register operation of each reply length, with a good reply; run gives 1 when understood.
struct RegisterOp
{
    const char *name;
    QByteArray reply;
    int (*run)(PagerLink &);
};
const RegisterOp registerOps[] = {
    {"gamma read", registerReply(le16(25)),
     [](PagerLink &l) { return readOutcome(l, &PagerLink::readGammaSigma, 2.5f); }},
    {"threshold read", thresholdReply(hex("27 6F AC C5")),
     [](PagerLink &l) { return readOutcome(l, &PagerLink::readDoseRateThreshold, 1e-5f); }},
    {"gamma write", writeReply(0), [](PagerLink &l) { return int(l.writeGammaSigma(2.5f)); }},
};

void queueReads(const QList<QByteArray> &reads)
{
    for (const QByteArray &r : reads)
        usbfake::queueRead(usbx::Success, r);
}

QByteArray withNul(QByteArray text)
{
    return text.replace('~', '\0');
}

} // namespace

class TstPagerLink : public QObject
{
    Q_OBJECT

    PagerLink link;

    // One device that answers its identification.
    void connectOne()
    {
        usbfake::setDeviceCount(1);
        usbfake::queueReply(idReply());
        QCOMPARE(link.connect(), serial);
    }
    QByteArray lastWrite() { return usbfake::writes().value(usbfake::writes().size() - 1); }

private slots:
    void init()
    {
        usbfake::reset();
        link = PagerLink();
    }

    // --- connect and disconnect -------------------------------------------

    void construction()
    {
        QVERIFY(link.serialNumber.isEmpty());
        QCOMPARE(link.usbHandle, usbx::Handle(0));
        QCOMPARE(link.deviceName, QStringLiteral("DR_Pager"));
    }

    void noDeviceAsksOnlyForTheCount()
    {
        link.serialNumber = QStringLiteral("OLDVALUE");
        usbfake::setDeviceCount(0);
        QVERIFY(link.connect().isEmpty());
        QVERIFY(link.serialNumber.isEmpty());
        QCOMPARE(usbfake::calls().size(), 1);
        QCOMPARE(usbfake::calls().first().op, Op::GetNumDevices);
    }

    void failingCountOpensNothing()
    {
        usbfake::setDeviceCount(3, 0x02);
        QVERIFY(link.connect().isEmpty());
        QCOMPARE(usbfake::calls().size(), 1);
    }

    void identificationSequenceAndLine()
    {
        connectOne();
        const QList<usbfake::Call> &c = usbfake::calls();
        QVERIFY(c.size() >= 7);
        QCOMPARE(c[0].op, Op::GetNumDevices);
        QCOMPARE(c[1].op, Op::GetProductString);
        QCOMPARE(c[1].index, 0u);
        QCOMPARE(c[1].a, 256u);
        QCOMPARE(c[1].b, 0u);
        QCOMPARE(c[2].op, Op::SetTimeouts);
        QCOMPARE(c[2].a, 1000u);
        QCOMPARE(c[2].b, 1000u);
        QCOMPARE(c[3].op, Op::Open);
        QCOMPARE(c[4].op, Op::QueryDevice);
        QCOMPARE(c[5].op, Op::SetBaudRate);
        QCOMPARE(c[5].a, 115200u);
        QCOMPARE(c[6].op, Op::Write);
        QVERIFY(c[6].overlappedNull);
        for (const usbfake::Call &r : usbfake::callsOf(Op::Read)) {
            QCOMPARE(r.a, 500u);
            QVERIFY(r.overlappedNull);
        }

        const QByteArray line = c[6].data;
        QCOMPARE(line, expectedLine(QStringLiteral("12345678"), "0001", "get_ID"));
        QCOMPARE(line.size(), 41);
        QCOMPARE(line.mid(0, 8), QByteArray("DR_Pager"));
        QCOMPARE(line.mid(19, 4), QByteArray("0001"));
        QCOMPARE(line.mid(31, 4), QByteArray("CRC="));
        QCOMPARE(line.right(2), QByteArray("\n\r"));
        QCOMPARE(link.usbHandle, usbfake::handleFor(0));
        QCOMPARE(link.requestNumber, std::uint16_t(1));
    }

    void replyChunking_data()
    {
        QTest::addColumn<int>("chunk");
        QTest::newRow("whole reply in the first read") << 500;
        QTest::newRow("one byte a read") << 1;
        QTest::newRow("usb packets") << 16;
    }
    void replyChunking()
    {
        QFETCH(int, chunk);
        usbfake::setDeviceCount(1);
        usbfake::queueReply(idReply(), chunk);
        QCOMPARE(link.connect(), serial);
        // At most the carriage return after the line feed is still on its way.
        QVERIFY(usbfake::pendingReads() <= 1);
    }

    void completeAtFirstLineFeed()
    {
        // Bytes after the line feed belong to no reply; the exchange does not wait for more.
        usbfake::setDeviceCount(1);
        usbfake::queueReply(idReply());
        usbfake::queueFailure();
        QCOMPARE(link.connect(), serial);
        QCOMPARE(usbfake::callsOf(Op::Read).size(), 1);
    }

    void staleLineEndIsDropped()
    {
        // The carriage return of the previous reply's line end arrives first.
        usbfake::setDeviceCount(1);
        usbfake::queueReply(QByteArray("\r") + idReply());
        QCOMPARE(link.connect(), serial);
        usbfake::queueReply("\r");
        usbfake::queueReply(replyLine(QStringLiteral("READ_ENTER_TIME Time=00000A")));
        QCOMPARE(link.readDeviceTime(), deviceEpoch().addSecs(600));
    }

    void shortIdentificationReplyMeansNoPager()
    {
        usbfake::setDeviceCount(1);
        usbfake::queueReply(QByteArray(38, 'x') + "\n");
        QVERIFY(link.connect().isEmpty());
        // The device that failed its identification is not left open.
        QVERIFY(usbfake::openHandles().isEmpty());
    }

    void serialIsCutAtTheReplyEnd()
    {
        // 41 characters: only three of the serial positions are there.
        usbfake::setDeviceCount(1);
        usbfake::queueReply(QByteArray(38, 'x') + "ABC\n");
        QCOMPARE(link.connect(), QStringLiteral("ABC"));
    }

    void serialNumberCharacters_data()
    {
        QTest::addColumn<QByteArray>("sn");
        QTest::addColumn<QString>("serial");
        QTest::newRow("letters and digits") << QByteArray("05A00317") << "05A00317";
        QTest::newRow("control character") << QByteArray("05A\x1b[2J") << "";
        QTest::newRow("NUL") << withNul("05A~0317") << "";
        QTest::newRow("space") << QByteArray("05A 0317") << "";
        QTest::newRow("not ASCII") << QByteArray("05A031\xc3\xa4") << "";
    }
    void serialNumberCharacters()
    {
        QFETCH(QByteArray, sn);
        QFETCH(QString, serial);
        usbfake::setDeviceCount(1);
        usbfake::queueReply("DR_Pager#12345678 $0001 GET_ID SERIAL=" + sn + " CRC=0000\n\r");
        QCOMPARE(link.connect(), serial);
        QCOMPARE(link.serialNumber, serial);
        QCOMPARE(link.refusedIdentifications, serial.isEmpty() ? 1 : 0); // and said so
    }

    void silentDeviceIsClosedAndSkipped()
    {
        usbfake::setDeviceCount(3);
        usbfake::queueFailure(); // device 0 says nothing
        usbfake::queueReply(idReply());
        QCOMPARE(link.connect(), serial);
        QCOMPARE(link.usbHandle, usbfake::handleFor(1));
        QCOMPARE(usbfake::openHandles(), QList<usbx::Handle>{usbfake::handleFor(1)});
        // Device 2 is asked too (another pager could be there), then closed.
        QCOMPARE(usbfake::callsOf(Op::Open).size(), 3);
        // Each identification starts from request number 1.
        const QList<QByteArray> w = usbfake::writes();
        QCOMPARE(w.size(), 3);
        QCOMPARE(w[0], w[1]);
        QCOMPARE(w[0], w[2]);
    }

    void failingStringQueryOrOpenSkipsTheDevice()
    {
        usbfake::setDeviceCount(3);
        usbfake::setProductStringStatus(0, 0x01);
        usbfake::setOpenStatus(1, 0x01);
        usbfake::queueReply(idReply());
        QCOMPARE(link.connect(), serial);
        QCOMPARE(link.usbHandle, usbfake::handleFor(2));
        QCOMPARE(usbfake::callsOf(Op::SetTimeouts).size(), 2); // not for index 0
    }

    // Several devices at once: the serial numbers that answer, the one device
    // left open, and the commands after connect reaching that pager only.
    void severalDevices_data()
    {
        QTest::addColumn<QStringList>("devices"); // serial numbers; "" a silent device
        QTest::addColumn<QString>("wanted");
        QTest::addColumn<QStringList>("answered");
        QTest::addColumn<int>("kept"); // device index, -1 none
        const QString a = serial, b = QStringLiteral("05A00400");
        QTest::newRow("one pager") << QStringList{a} << "" << QStringList{a} << 0;
        QTest::newRow("two, none wanted") << QStringList{a, b} << "" << QStringList{a, b} << -1;
        QTest::newRow("two, second wanted") << QStringList{a, b} << b << QStringList{a, b} << 1;
        QTest::newRow("two, first wanted") << QStringList{a, b} << a << QStringList{a} << 0;
        QTest::newRow("two, absent wanted")
            << QStringList{a, b} << "05A00999" << QStringList{a, b} << -1;
        QTest::newRow("silent, pager") << QStringList{"", b} << "" << QStringList{b} << 1;
        QTest::newRow("pager, silent") << QStringList{a, ""} << "" << QStringList{a} << 0;
    }
    void severalDevices()
    {
        QFETCH(QStringList, devices);
        QFETCH(QString, wanted);
        QFETCH(QStringList, answered);
        QFETCH(int, kept);
        std::vector<FakePager> pagers(size_t(devices.size()));
        QList<FakePager *> plugged;
        for (int i = 0; i < devices.size(); ++i) {
            pagers[size_t(i)].serial = devices.at(i);
            pagers[size_t(i)].answerText = !devices.at(i).isEmpty();
            plugged << &pagers[size_t(i)];
        }
        FakePager::plugIn(plugged);
        link.wantedSerial = wanted;
        const QString keptSerial = kept < 0 ? QString() : devices.at(kept);
        QCOMPARE(link.connect(), keptSerial);
        QCOMPARE(link.answeredSerials, answered);
        QCOMPARE(usbfake::openHandles(),
                 kept < 0 ? QList<usbx::Handle>() : QList<usbx::Handle>{usbfake::handleFor(kept)});
        // Every device is asked as a stranger, not by an earlier one's serial number.
        for (const QByteArray &w : usbfake::writes())
            QCOMPARE(w, expectedLine(QStringLiteral("12345678"), "0001", "get_ID"));
        if (kept < 0)
            return;
        link.readDeviceTime();
        QCOMPARE(lastWrite(), expectedLine(keptSerial, "0002", "read_enter_time"));
        for (int i = 0; i < devices.size(); ++i)
            QCOMPARE(pagers[size_t(i)].words.contains("read_enter_time"), i == kept);
    }

    void openFailureStillSetsTimeouts()
    {
        usbfake::setDeviceCount(1);
        usbfake::setOpenStatus(0, 0x01);
        QVERIFY(link.connect().isEmpty());
        QCOMPARE(usbfake::readTimeout(), 1000u);
        QVERIFY(usbfake::callsOf(Op::Write).isEmpty());
    }

    void serialClearedWhenConnectStarts()
    {
        connectOne();
        usbfake::setDeviceCount(0);
        QVERIFY(link.connect().isEmpty());
        QVERIFY(link.serialNumber.isEmpty());
        QCOMPARE(link.requestNumber, std::uint16_t(0));
    }

    void disconnectClosesOnce()
    {
        connectOne();
        link.disconnect();
        QCOMPARE(usbfake::readTimeout(), usbx::NoTimeout);
        QCOMPARE(usbfake::writeTimeout(), usbx::NoTimeout);
        QCOMPARE(usbfake::callsOf(Op::Close).size(), 1);
        QCOMPARE(usbfake::callsOf(Op::Close).first().handle, usbfake::handleFor(0));
        QCOMPARE(link.serialNumber, serial); // kept for the journal
        QCOMPARE(link.usbHandle, usbfake::handleFor(0));
        link.disconnect();
        QCOMPARE(usbfake::callsOf(Op::Close).size(), 1);
    }

    void disconnectWithoutConnectIsHarmless()
    {
        link.disconnect();
        QCOMPARE(usbfake::readTimeout(), usbx::NoTimeout);
        QVERIFY(usbfake::callsOf(Op::Close).isEmpty());
    }

    // --- bounds of a text exchange --------------------------------------------

    void emptyReadsAreBounded()
    {
        connectOne();
        for (int i = 0; i < exchangebounds::maxEmptyReads + 5; ++i)
            usbfake::queueRead(usbx::Success);
        usbfake::queueReply(replyLine(QStringLiteral("READ_HIST_TIME Time=003C")));
        QCOMPARE(link.readHistoryInterval(), 0);
        QCOMPARE(usbfake::pendingReads() > 0, true);
    }

    void fewEmptyReadsAreTolerated()
    {
        connectOne();
        for (int i = 0; i < 3; ++i)
            usbfake::queueRead(usbx::Success);
        usbfake::queueReply(replyLine(QStringLiteral("READ_HIST_TIME Time=003C")));
        QCOMPARE(link.readHistoryInterval(), 60);
    }

    void babblingDeviceIsBounded()
    {
        connectOne();
        for (int i = 0; i < 100; ++i)
            usbfake::queueRead(usbx::Success, QByteArray(500, 'A'));
        const int before = usbfake::callsOf(Op::Read).size();
        QVERIFY(link.readInfo().size() <= exchangebounds::maxReplyBytes + 500);
        const int reads = usbfake::callsOf(Op::Read).size() - before;
        QVERIFY(reads <= exchangebounds::maxReplyBytes / 500 + 2);
    }

    void failingReadMidReply()
    {
        connectOne();
        usbfake::queueRead(usbx::Success, "READ_ENTER_TIME Time=0000");
        usbfake::queueFailure();
        QCOMPARE(link.readDeviceTime(), deviceEpoch());
        usbfake::queueRead(usbx::Success, "DR7326G");
        usbfake::queueFailure();
        QCOMPARE(link.readInfo(), QStringLiteral("DR7326G"));
    }

    // --- text commands ----------------------------------------------------------

    void requestNumbersAndSerial()
    {
        connectOne();
        usbfake::queueReply(replyLine(QStringLiteral("READ_ENTER_TIME Time=000001")));
        link.readDeviceTime();
        QCOMPARE(lastWrite(), expectedLine(serial, "0002", "read_enter_time"));
        usbfake::queueReply(replyLine(QStringLiteral("READ_HIST_TIME Time=0001")));
        link.readHistoryInterval();
        QCOMPARE(lastWrite(), expectedLine(serial, "0003", "read_hist_time"));

        link.requestNumber = 9;
        usbfake::queueReply(replyLine(QStringLiteral("INFO")));
        link.readInfo();
        QCOMPARE(lastWrite(), expectedLine(serial, "000a", "info"));

        link.requestNumber = 0xFFFF;
        usbfake::queueReply(replyLine(QStringLiteral("INFO")));
        link.readInfo();
        QCOMPARE(lastWrite(), expectedLine(serial, "0000", "info"));
    }

    void readInfo_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("text");
        QTest::newRow("whole") << QByteArray("INFO DR7326G-05A\n\r") << true
                               << "INFO DR7326G-05A\n";
        QTest::newRow("NUL inside")
            << withNul("INFO A~B C\n") << true << QString::fromUtf16(u"INFO A\u0000B C\n", 11);
        QTest::newRow("half, then silence") << QByteArray("INFO DR73") << false << "INFO DR73";
    }
    void readInfo()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, ok);
        QFETCH(QString, text);
        connectOne();
        usbfake::queueRead(usbx::Success, reply);
        bool answered = !ok;
        QCOMPARE(link.readInfo(&answered), text);
        QCOMPARE(answered, ok);
    }

    void readDeviceTime_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<qint64>("minutes");
        QTest::newRow("ten minutes") << replyLine(QStringLiteral("X Time=00000A")) << qint64(10);
        QTest::newRow("lower case")
            << replyLine(QStringLiteral("X Time=cb4d6e")) << qint64(13323630);
        QTest::newRow("largest") << replyLine(QStringLiteral("X Time=FFFFFF")) << qint64(0xFFFFFF);
        QTest::newRow("first Time= counts")
            << replyLine(QStringLiteral("X Time=000002 Time=000005")) << qint64(2);
        QTest::newRow("no Time=") << replyLine(QStringLiteral("READ_ENTER_TIME")) << qint64(0);
        QTest::newRow("not hex") << replyLine(QStringLiteral("X Time=zz0000")) << qint64(0);
        QTest::newRow("minus sign") << replyLine(QStringLiteral("X Time=-0000A")) << qint64(0);
        QTest::newRow("leading space") << replyLine(QStringLiteral("X Time= 0000A")) << qint64(0);
        QTest::newRow("short field") << replyLine(QStringLiteral("X Time=0A")) << qint64(0);
    }
    void readDeviceTime()
    {
        QFETCH(QByteArray, reply);
        QFETCH(qint64, minutes);
        connectOne();
        usbfake::queueReply(reply);
        QCOMPARE(link.readDeviceTime(), deviceEpoch().addSecs(minutes * 60));
    }

    void readDeviceTimeFailure()
    {
        connectOne();
        QCOMPARE(link.readDeviceTime(), deviceEpoch());
    }

    void setDeviceTimeDropsSeconds()
    {
        connectOne();
        const QDateTime t(QDate(2024, 5, 1), QTime(12, 30, 59));
        usbfake::queueReply(replyLine(QStringLiteral("SET_ENTER_TIME OK")));
        QVERIFY(link.setDeviceTime(t));
        QCOMPARE(lastWrite(), expectedLine(serial, "0002", "set_enter_time", "CB4D6E"));
        usbfake::queueReply(replyLine(QStringLiteral("SET_ENTER_TIME OK")));
        QVERIFY(link.setDeviceTime(QDateTime(QDate(2024, 5, 1), QTime(12, 30, 0))));
        QCOMPARE(lastWrite(), expectedLine(serial, "0003", "set_enter_time", "CB4D6E"));
        // No reply at all: not confirmed.
        QVERIFY(!link.setDeviceTime(t));
    }

    void setDeviceTimeWidensAfter2030()
    {
        connectOne();
        usbfake::queueReply(replyLine(QStringLiteral("OK")));
        link.setDeviceTime(QDateTime(QDate(2030, 11, 24), QTime(20, 16)));
        QVERIFY(lastWrite().contains("Time=1000000 "));
    }

    // Set only when the clock reads back within a minute; a time it cannot hold is not sent.
    void clockConfirmation_data()
    {
        QTest::addColumn<QDateTime>("t");
        QTest::addColumn<QByteArray>("clock"); // the minutes read back; empty: no answer at all
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("requests");
        using O = PagerLink::ClockSetOutcome;
        const auto row = [](const char *name, const QDateTime &t, const char *clock, O outcome,
                            int requests) {
            QTest::newRow(name) << t << QByteArray(clock) << int(outcome) << requests;
        };
        const QDateTime t(QDate(2024, 5, 1), QTime(12, 30, 59));
        const QDateTime t0(QDate(2024, 5, 1), QTime(12, 30));
        const QDateTime last(QDate(2030, 11, 24), QTime(20, 15, 59));
        row("same minute", t, "CB4D6E", O::Confirmed, 2);
        row("a minute later", t0, "CB4D6F", O::Confirmed, 2);
        row("two minutes later", t0, "CB4D70", O::NotConfirmed, 2);
        row("no answer to the setting", t, "", O::NotConfirmed, 1);
        row("the last minute", last, "FFFFFF", O::Confirmed, 2);
        row("before the epoch", deviceEpoch().addSecs(-1), "000000", O::OutOfRange, 0);
        row("past the last minute", last.addSecs(1), "FFFFFF", O::OutOfRange, 0);
    }
    void clockConfirmation()
    {
        QFETCH(QDateTime, t);
        QFETCH(QByteArray, clock);
        QFETCH(int, outcome);
        QFETCH(int, requests);
        connectOne();
        const int before = usbfake::writes().size();
        usbfake::setResponder([&](const QByteArray &line) {
            const bool set = line.contains(" set_enter_time ");
            if (!clock.isEmpty())
                usbfake::queueReply(replyLine(QLatin1String(set ? "OK" : "X Time=" + clock)));
        });
        QCOMPARE(int(link.setDeviceTimeConfirmed(t)), outcome);
        const QList<QByteArray> sent = usbfake::writes().mid(before);
        QCOMPARE(sent.size(), requests);
        QVERIFY(requests < 2 || sent.at(1).contains(" read_enter_time "));
    }

    // The clock shows whole minutes: a clock set right reads up to 59 s behind.
    void clockOffBeyond_data()
    {
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<bool>("beyond"); // of 30 s
        QTest::newRow("set right, late in the minute") << qint64(-59) << false;
        QTest::newRow("ahead by the limit") << qint64(30) << false;
        QTest::newRow("ahead past it") << qint64(31) << true;
        QTest::newRow("behind: the minute may hold the limit") << qint64(-89) << false;
        QTest::newRow("behind past it") << qint64(-90) << true;
    }
    void clockOffBeyond()
    {
        QFETCH(qint64, offset);
        QTEST(deviceClockOffBeyond(offset, 30), "beyond");
    }

    void readHistoryInterval_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("minutes");
        QTest::newRow("60") << replyLine(QStringLiteral("READ_HIST_TIME Time=003C")) << 60;
        QTest::newRow("word missing") << replyLine(QStringLiteral("READ Time=003C")) << 0;
        QTest::newRow("Time= missing") << replyLine(QStringLiteral("READ_HIST_TIME")) << 0;
        QTest::newRow("max") << replyLine(QStringLiteral("READ_HIST_TIME Time=ffff")) << 65535;
        QTest::newRow("wrong case word")
            << replyLine(QStringLiteral("read_hist_time Time=003C")) << 0;
    }
    void readHistoryInterval()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, minutes);
        connectOne();
        usbfake::queueReply(reply);
        QCOMPARE(link.readHistoryInterval(), minutes);
    }

    void setHistoryInterval()
    {
        connectOne();
        usbfake::queueReply(replyLine(QStringLiteral("SET_HIST_TIME OK")));
        QVERIFY(link.setHistoryInterval(60));
        QCOMPARE(lastWrite(), expectedLine(serial, "0002", "set_hist_time", "003c"));
        usbfake::queueReply(replyLine(QStringLiteral("SET_HIST_TIME OK")));
        QVERIFY(link.setHistoryInterval(0));
        QCOMPARE(lastWrite(), expectedLine(serial, "0003", "set_hist_time", "0000"));
        usbfake::queueReply(replyLine(QStringLiteral("ERROR")));
        QVERIFY(!link.setHistoryInterval(10));
        QVERIFY(!link.setHistoryInterval(10)); // no reply at all
    }

    void intervalOutOfRangeIsNotSent()
    {
        connectOne();
        const int writes = usbfake::writes().size();
        QVERIFY(!link.setHistoryInterval(65536));
        QVERIFY(!link.setHistoryInterval(std::numeric_limits<unsigned>::max()));
        QCOMPARE(usbfake::writes().size(), writes);
    }

    // --- registers --------------------------------------------------------------

    void readSigmas()
    {
        connectOne();
        usbfake::queueReply(registerReply(hex("19 00")));
        QCOMPARE(link.readGammaSigma(), 2.5f);
        QCOMPARE(lastWrite(), hex("23 08 00 52 02 00 02 F0 E3"));
        usbfake::queueReply(registerReply(hex("23 00")));
        QCOMPARE(link.readNeutronSigma(), 3.5f);
        QCOMPARE(lastWrite(), hex("23 08 00 52 20 00 02 73 55"));
        usbfake::queueReply(registerReply(hex("FF FF")));
        QCOMPARE(link.readNeutronSigma(), 6553.5f);
        QCOMPARE(link.requestNumber, std::uint16_t(1));
    }

    void readSigmaFailures()
    {
        connectOne();
        QCOMPARE(link.readGammaSigma(), 0.0f); // no reply
        usbfake::queueReply(registerReply(hex("19 00")) + "x");
        QCOMPARE(link.readGammaSigma(), 0.0f); // 9 bytes
    }

    // However the reply is cut into reads, after whatever line end of the previous reply, each
    // operation gets its own reply and the next exchange the next one; or it is unanswered.
    void registerReplies_data()
    {
        QTest::addColumn<int>("op");
        QTest::addColumn<QList<QByteArray>>("reads");
        QTest::addColumn<bool>("answered");
        for (int op = 0; op < int(std::size(registerOps)); ++op) {
            const QByteArray r = registerOps[op].reply;
            QList<QByteArray> bytewise{"\r"};
            for (char c : r)
                bytewise << QByteArray(1, c);
            const auto row = [&](const char *how, const QList<QByteArray> &reads) {
                QTest::addRow("%s, %s", registerOps[op].name, how) << op << reads << true;
            };
            row("late carriage return", {"\r", r});
            row("line end glued on", {"\n\r" + r});
            row("two pieces", {r.left(4), r.mid(4)});
            row("late carriage return, then a byte a read", bytewise);
        }
        const QByteArray r = registerReply(le16(25));
        const auto fails = [](const char *name, int op, const QList<QByteArray> &reads) {
            QTest::newRow(name) << op << reads << false;
        };
        fails("9 bytes in two pieces", 0, {r.left(4), r.mid(4) + "x"});
        fails("7 bytes, then silence", 0, {r.left(7)});
        fails("line ends only", 0, {"\r", "\n\r"});
        QList<QByteArray> empty;
        for (int i = 0; i < exchangebounds::maxEmptyReads; ++i)
            empty << QByteArray();
        fails("too many empty reads", 0, empty + QList<QByteArray>{r});
        // A threshold word whose top byte is 0 decodes to no number.
        fails("infinite threshold", 1, {thresholdReply(hex("00 00 00 00"))});
        fails("threshold not a number", 1, {thresholdReply(hex("40 00 00 00"))});
    }
    void registerReplies()
    {
        QFETCH(int, op);
        QFETCH(QList<QByteArray>, reads);
        QFETCH(bool, answered);
        connectOne();
        queueReads(reads);
        QCOMPARE(registerOps[op].run(link), int(answered));
        if (!answered)
            return;
        usbfake::queueReply(replyLine(QStringLiteral("READ_HIST_TIME Time=003C")));
        QCOMPARE(link.readHistoryInterval(), 60);
        QCOMPARE(usbfake::pendingReads(), 0);
    }

    void readThreshold()
    {
        connectOne();
        usbfake::queueReply(QByteArray("#\x0A\x00R", 4) + hex("27 6F AC C5") + "zz");
        QCOMPARE(link.readDoseRateThreshold(), 1.0e-5f);
        QCOMPARE(lastWrite(), hex("23 08 00 52 70 00 04 A6 B3"));
        usbfake::queueReply(registerReply(hex("27 6F")));
        QCOMPARE(link.readDoseRateThreshold(), 0.0f); // 8 bytes
    }

    void writeSigmaFrames_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<int>("tenths");
        QTest::newRow("3.0") << 3.0f << 30;
        QTest::newRow("3.5") << 3.5f << 35;
        QTest::newRow("2.55 truncates") << 2.55f << 25;
        QTest::newRow("1.15 truncates") << 1.15f << 11;
        QTest::newRow("0.3") << 0.3f << 3;
        QTest::newRow("4.1") << 4.1f << 41;
        QTest::newRow("3.57") << 3.57f << 35;
        QTest::newRow("largest") << 6553.5f << 65535;
    }
    void writeSigmaFrames()
    {
        QFETCH(float, value);
        QFETCH(int, tenths);
        connectOne();
        usbfake::queueReply(writeReply(0));
        QVERIFY(link.writeGammaSigma(value));
        QCOMPARE(lastWrite().toHex(' '),
                 registerWriteFrame(reg::gammaSigma, le16(tenths)).toHex(' '));
        usbfake::queueReply(writeReply(0));
        QVERIFY(link.writeNeutronSigma(value));
        QCOMPARE(lastWrite().mid(4, 5), QByteArray("\x20\x00\x02", 3) + le16(tenths));
    }

    void workedWriteFrames()
    {
        connectOne();
        usbfake::queueReply(writeReply(0));
        link.writeGammaSigma(3.0f);
        QCOMPARE(lastWrite(), hex("23 0A 00 57 02 00 02 1E 00 F4 B9"));
        usbfake::queueReply(writeReply(0));
        link.writeNeutronSigma(3.5f);
        QCOMPARE(lastWrite(), hex("23 0A 00 57 20 00 02 23 00 37 C9"));
        usbfake::queueReply(writeReply(0));
        QVERIFY(link.writeDoseRateThreshold(1.0e-5f));
        QCOMPARE(lastWrite(), hex("23 0C 00 57 70 00 04 27 6F AC C5 7A AB"));
    }

    void writeReplies_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("accepted") << writeReply(0) << true;
        QTest::newRow("refused") << writeReply(1) << false;
        QTest::newRow("6 bytes") << writeReply(0).left(6) << false;
        QTest::newRow("8 bytes") << writeReply(0) + "x" << false;
        QTest::newRow("nothing") << QByteArray() << false;
    }
    void writeReplies()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, accepted);
        connectOne();
        if (!reply.isEmpty())
            usbfake::queueReply(reply);
        QCOMPARE(link.writeGammaSigma(3.0f), accepted);
        if (!reply.isEmpty())
            usbfake::queueReply(reply);
        QCOMPARE(link.writeDoseRateThreshold(1e-5f), accepted);
    }

    void readsTellFailureApartFromZero()
    {
        connectOne();
        bool ok = true;
        usbfake::queueReply(registerReply(hex("00 00")));
        QCOMPARE(link.readGammaSigma(&ok), 0.0f);
        QVERIFY(ok); // a register that holds 0
        QCOMPARE(link.readGammaSigma(&ok), 0.0f);
        QVERIFY(!ok); // no reply
        QCOMPARE(link.readNeutronSigma(&ok), 0.0f);
        QVERIFY(!ok);
        QCOMPARE(link.readDoseRateThreshold(&ok), 0.0f);
        QVERIFY(!ok);
        usbfake::queueReply(QByteArray("#\x0A\x00R", 4) + hex("00 01 00 00") + "zz");
        QCOMPARE(link.readDoseRateThreshold(&ok), 0.0f);
        QVERIFY(ok);

        QCOMPARE(link.readHistoryInterval(&ok), 0);
        QVERIFY(!ok);
        usbfake::queueReply(replyLine(QStringLiteral("READ_HIST_TIME Time=0000")));
        QCOMPARE(link.readHistoryInterval(&ok), 0);
        QVERIFY(ok);
        usbfake::queueReply(replyLine(QStringLiteral("NO_WORD Time=0000")));
        link.readHistoryInterval(&ok);
        QVERIFY(!ok);

        QCOMPARE(link.readDeviceTime(&ok), deviceEpoch());
        QVERIFY(!ok);
        usbfake::queueReply(replyLine(QStringLiteral("X Time=000000")));
        QCOMPARE(link.readDeviceTime(&ok), deviceEpoch());
        QVERIFY(ok);
        usbfake::queueReply(replyLine(QStringLiteral("READ_ENTER_TIME")));
        link.readDeviceTime(&ok);
        QVERIFY(!ok);
    }

    void valuesThatCannotTravelAreNotSent()
    {
        connectOne();
        const int writes = usbfake::writes().size();
        QVERIFY(!link.writeGammaSigma(-1.0f));
        QVERIFY(!link.writeNeutronSigma(6553.6f));
        QVERIFY(!link.writeNeutronSigma(std::numeric_limits<float>::quiet_NaN()));
        QVERIFY(!link.writeDoseRateThreshold(-1e-5f));
        QVERIFY(!link.writeDoseRateThreshold(std::numeric_limits<float>::infinity()));
        QCOMPARE(usbfake::writes().size(), writes);
    }
};

QTEST_APPLESS_MAIN(TstPagerLink)
#include "tst_pagerlink.moc"
