// Arbitrary pager bytes as the replies to the text commands: identification,
// clock, interval, information, the two settings and the confirmed clock
// setting. The input is a script of reads for the scripted USB library (see
// usbfake::queueScript). Besides memory faults, any reply that yields a value
// the link must never report (a serial number that is not visible ASCII, a
// clock outside what the pager can hold, a failure reported with a value)
// stops the run.
#include "pagerlink.h"
#include "usbfake.h"

#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

bool visibleAscii(const QString &text)
{
    for (const QChar c : text)
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7F)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    usbfake::reset();
    usbfake::setDeviceCount(1);
    usbfake::queueScript(QByteArray(reinterpret_cast<const char *>(data), int(size)));

    PagerLink link;
    const QString serial = link.connect();
    check(serial == link.serialNumber);
    check(serial.size() <= 8 && visibleAscii(serial));
    if (serial.isEmpty())
        return 0;

    bool ok = false;
    const QDateTime clock = link.readDeviceTime(&ok);
    check(ok ? deviceClockCanHold(clock) : clock == deviceEpoch());
    const int interval = link.readHistoryInterval(&ok);
    check(ok ? interval >= 0 && interval <= 0xFFFF : interval == 0);
    const QString info = link.readInfo(&ok);
    check(info.size() <= exchangebounds::maxReplyBytes + 500);
    check(!ok || (info.endsWith(QLatin1Char('\n')) && info.count(QLatin1Char('\n')) == 1));

    link.setDeviceTime(clock);
    link.setHistoryInterval(unsigned(interval));
    const QDateTime t(QDate(2024, 5, 1), QTime(12, 30));
    check(link.setDeviceTimeConfirmed(t) != PagerLink::ClockSetOutcome::OutOfRange);
    link.disconnect();

    // Whatever came back, every request line stayed one line with the serial number.
    for (const QByteArray &line : usbfake::writes()) {
        check(line.endsWith("\n\r") && line.count('\n') == 1 && line.count('\r') == 1);
        check(line == usbfake::writes().first() || line.contains(serial.toLatin1()));
    }
    return 0;
}
