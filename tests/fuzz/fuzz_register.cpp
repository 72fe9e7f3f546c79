// Arbitrary pager bytes as the replies to the register frames: the three reads
// and the three writes, then one text exchange. The input is a script of reads
// for the scripted USB library (see usbfake::queueScript) that follows a good
// identification. Besides memory faults, a read that reports a value it cannot
// have received (out of range, not a number, or a value with a failure) stops
// the run.
#include "pagerlink.h"
#include "usbfake.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

void checkSigma(float value, bool ok)
{
    if (!ok) {
        check(value == 0.0f);
        return;
    }
    check(value >= 0.0f && value <= 6553.5f);
    check(float(std::lround(value * 10.0f)) / 10.0f == value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    usbfake::reset();
    usbfake::setDeviceCount(1);
    usbfake::queueReply("DR_Pager#12345678 $0001 GET_ID SERIAL=05A00317 CRC=0000\n\r");
    usbfake::queueScript(QByteArray(reinterpret_cast<const char *>(data), int(size)));

    PagerLink link;
    check(link.connect() == QLatin1String("05A00317"));
    bool ok = false;
    float value = link.readGammaSigma(&ok);
    checkSigma(value, ok);
    value = link.readNeutronSigma(&ok);
    checkSigma(value, ok);
    value = link.readDoseRateThreshold(&ok);
    check(ok ? std::isfinite(value) && value >= 0.0f : value == 0.0f);
    link.writeGammaSigma(3.0f);
    link.writeNeutronSigma(3.5f);
    link.writeDoseRateThreshold(1.0e-5f);
    link.readHistoryInterval(&ok);
    link.disconnect();

    // The frames went out byte for byte, whatever came back.
    const QList<QByteArray> w = usbfake::writes();
    check(w.size() == 8);
    check(w.at(1) == registerReadFrame(reg::gammaSigma, 2));
    check(w.at(3) == registerReadFrame(reg::doseRateThreshold, 4));
    check(w.at(6) == registerWriteFrame(reg::doseRateThreshold, QByteArray("\x27\x6F\xAC\xC5")));
    return 0;
}
