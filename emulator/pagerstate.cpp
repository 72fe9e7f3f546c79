#include "pagerstate.h"

#include "devicefloat.h"
#include "wireformat.h"

#include <QByteArrayList>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>

namespace {

const QByteArray deviceName = QByteArrayLiteral("DR_Pager");
const QByteArray model = QByteArrayLiteral("DR7326G-05A");
const QByteArray firmware = QByteArrayLiteral("1.12");

// Upper-case hex with at least `digits` digits.
QByteArray hexField(std::int64_t value, int digits)
{
    return QByteArray::number(qlonglong(value), 16).rightJustified(digits, '0').toUpper();
}

// A value after "Time=": 1 to 8 hex digits, either case.
bool readHexValue(const QByteArray &text, std::uint32_t *value)
{
    if (text.isEmpty() || text.size() > 8)
        return false;
    bool ok = false;
    const uint v = text.toUInt(&ok, 16);
    if (!ok)
        return false;
    for (const char c : text) // toUInt would also take a sign or "0x"
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    *value = v;
    return true;
}

QByteArray wireBytes(std::uint32_t w)
{
    QByteArray b;
    b.append(char(w >> 16));
    b.append(char(w >> 24));
    b.append(char(w));
    b.append(char(w >> 8));
    return b;
}

QString hex4(std::uint16_t v)
{
    return QStringLiteral("0x%1").arg(v, 4, 16, QLatin1Char('0'));
}

} // namespace

PagerState::PagerState(const PagerProfile &p, std::vector<HistoryEntry> history, MinuteClock clock)
    : thresholdWord(encodeDeviceFloatWord(1.0e-5f)), profile(p), records(std::move(history)),
      pcMinutes(std::move(clock))
{
    profile.recordsPerPage = std::max(1, profile.recordsPerPage);
}

std::int64_t PagerState::clockMinutes() const
{
    return std::max<std::int64_t>(0, pcMinutes() + clockOffsetMinutes);
}

int PagerState::pageCount() const
{
    if (profile.noEnd)
        return std::max(1, (int(records.size()) + profile.recordsPerPage - 1) /
                               profile.recordsPerPage);
    return int(records.size()) / profile.recordsPerPage + 1;
}

PagerReply PagerState::lineReply(const QByteArray &header, const QByteArray &text) const
{
    PagerReply r;
    r.bytes = replyLine(header + ' ' + text);
    r.summary = wireText(text);
    return r;
}

PagerReply PagerState::answerText(const QByteArray &line)
{
    const CommandLine c = parseCommandLine(line);
    const QByteArray header = deviceName + '#' + profile.serial + " $" + replyNumber(c.number);
    if (!c.wellFormed)
        return lineReply(header, "ERROR BAD_REQUEST");
    // A line damaged on the way is not acted upon.
    if (!c.checksumMatches())
        return lineReply(header, "ERROR BAD_CRC");

    const QByteArray &word = c.word;
    const bool takesValue = word == "set_enter_time" || word == "set_hist_time";
    const bool known = takesValue || word == "get_ID" || word == "info" ||
                       word == "read_enter_time" || word == "read_hist_time" ||
                       word == "read_history";
    if (!known)
        return lineReply(header, "ERROR UNKNOWN_COMMAND");
    if (c.hasValue != takesValue)
        return lineReply(header, "ERROR BAD_REQUEST");

    if (word == "get_ID")
        return lineReply(header, "GET_ID SERIAL=" + profile.serial);
    if (word == "info")
        return lineReply(header, "INFO MODEL=" + model + " FW=" + firmware +
                                     " SERIAL=" + profile.serial +
                                     " RECORDS=" + QByteArray::number(int(records.size())));
    if (word == "read_enter_time")
        return lineReply(header, "READ_ENTER_TIME Time=" + hexField(clockMinutes(), 6));
    if (word == "read_hist_time")
        return lineReply(header, "READ_HIST_TIME Time=" + hexField(intervalMinutes, 4));
    if (word == "read_history")
        return readHistoryPage(header);

    std::uint32_t value = 0;
    if (word == "set_enter_time") {
        if (!readHexValue(c.value, &value))
            return lineReply(header, "ERROR BAD_VALUE");
        if (profile.refuseWrites)
            return lineReply(header, "ERROR REFUSED");
        clockOffsetMinutes = std::int64_t(value) - pcMinutes();
        return lineReply(header, "SET_ENTER_TIME OK Time=" + hexField(value, 6));
    }
    // set_hist_time
    if (!readHexValue(c.value, &value) || value > 0xFFFF)
        return lineReply(header, "ERROR BAD_VALUE");
    if (profile.refuseWrites)
        return lineReply(header, "ERROR REFUSED");
    intervalMinutes = std::uint16_t(value);
    return lineReply(header, "SET_HIST_TIME OK Time=" + hexField(value, 4));
}

QByteArray PagerState::historyPageLine(const QByteArray &header, int index) const
{
    const int perPage = profile.recordsPerPage;
    QList<QByteArray> words;
    words.reserve(perPage * 8);
    for (int r = 0; r < perPage; ++r) {
        const std::size_t i = std::size_t(index) * std::size_t(perPage) + std::size_t(r);
        // Past the last record the page is filled with empty records; the
        // first of them (minute count 0) ends the history.
        std::array<std::uint16_t, 8> w{};
        if (i >= records.size() && profile.noEnd)
            break;
        if (i < records.size())
            w = recordWords(records[i]);
        for (const std::uint16_t v : w)
            words << hexField(v, 4);
    }

    const int number = index + 1;
    QByteArray text = header + " READ_HISTORY ";
    if (number != profile.noBlkPage)
        text += "BLK=" + QByteArray::number(number % 10000).rightJustified(4, '0') + ' ';
    const QByteArray clean = text + words.join(' ');
    if (number == profile.staleChecksumPage) {
        QByteArray stale = lineChecksum(clean + " CRC=");
        stale[0] = stale.at(0) == '0' ? '1' : '0';
        return clean + " CRC=" + stale + "\n\r";
    }
    if (number != profile.garbledPage)
        return replyLine(clean);

    // Line noise: the second record (the first on a one-record page) turns
    // into non-hex characters, and the checksum no longer fits the line.
    const int damaged = std::min(1, perPage - 1);
    for (int k = 0; k < 8; ++k)
        words[damaged * 8 + k] = "Z?Z?";
    const QByteArray checksum = lineChecksum(clean + " CRC=");
    return text + words.join(' ') + " CRC=" + checksum + "\n\r";
}

PagerReply PagerState::readHistoryPage(const QByteArray &header)
{
    const int pages = pageCount();
    const int index = std::min(nextPage, pages - 1);
    if (nextPage < pages)
        ++nextPage;
    PagerReply r;
    r.bytes = historyPageLine(header, index);
    const int first = index * profile.recordsPerPage;
    const int last = std::min(int(records.size()), first + profile.recordsPerPage);
    r.summary = QStringLiteral("READ_HISTORY page %1 of %2").arg(index + 1).arg(pages);
    if (last > first)
        r.summary +=
            QStringLiteral(", records %1-%2 of %3").arg(first + 1).arg(last).arg(records.size());
    if (index == pages - 1)
        r.summary += profile.noEnd ? QStringLiteral(", last page (sent again, no end record)")
                                   : QStringLiteral(", end of history");
    if (index + 1 == profile.garbledPage)
        r.summary += QStringLiteral(" (garbled)");
    if (index + 1 == profile.noBlkPage)
        r.summary += QStringLiteral(" (without BLK=)");
    return r;
}

PagerReply PagerState::answerFrame(const QByteArray &frame)
{
    PagerReply r;
    r.isFrame = true;
    const RegisterFrame f = parseRegisterFrame(frame);
    const auto refuse = [&r, &f](std::uint8_t status, const QString &why) {
        const char op = (f.op == 'R' || f.op == 'W') ? f.op : 'E';
        r.bytes = registerStatusReply(op, status);
        r.summary =
            QStringLiteral("status 0x%1 (%2)").arg(status, 2, 16, QLatin1Char('0')).arg(why);
        return r;
    };
    if (!f.wellFormed)
        return refuse(regstatus::malformed, QStringLiteral("malformed frame"));
    if (!f.checksumMatches())
        return refuse(regstatus::badChecksum, QStringLiteral("checksum mismatch"));

    int size = 0;
    switch (f.address) {
    case pagerreg::gammaSigma:
    case pagerreg::neutronSigma:
        size = 2;
        break;
    case pagerreg::doseRateThreshold:
        size = 4;
        break;
    default:
        return refuse(regstatus::unknownRegister,
                      QStringLiteral("no register %1").arg(hex4(f.address)));
    }
    if (f.size != size)
        return refuse(regstatus::wrongSize,
                      QStringLiteral("register %1 has %2 bytes").arg(hex4(f.address)).arg(size));

    std::uint16_t *sigma = f.address == pagerreg::gammaSigma     ? &gammaSigmaTenths
                           : f.address == pagerreg::neutronSigma ? &neutronSigmaTenths
                                                                 : nullptr;
    if (f.op == 'R') {
        QByteArray data;
        if (sigma) {
            data.append(char(*sigma & 0xFF));
            data.append(char(*sigma >> 8));
            r.summary = QStringLiteral("R %1 = %2 tenths").arg(hex4(f.address)).arg(*sigma);
        } else {
            data = wireBytes(thresholdWord);
            r.summary = QStringLiteral("R %1 = word 0x%2 (%3 Sv/h)")
                            .arg(hex4(f.address))
                            .arg(thresholdWord, 8, 16, QLatin1Char('0'))
                            .arg(double(decodeDeviceFloat(thresholdWord)));
        }
        r.bytes = registerReadReply(data);
        return r;
    }

    if (profile.refuseWrites)
        return refuse(regstatus::refused, QStringLiteral("writes refused"));
    const auto *d = reinterpret_cast<const std::uint8_t *>(f.data.constData());
    if (sigma) {
        *sigma = std::uint16_t(d[0] | (d[1] << 8));
        r.summary = QStringLiteral("W %1 := %2 tenths, accepted").arg(hex4(f.address)).arg(*sigma);
    } else {
        const std::uint32_t w = deviceWordFromWireOrder(d);
        const float value = decodeDeviceFloat(w);
        if (!std::isfinite(value))
            return refuse(
                regstatus::badValue,
                QStringLiteral("threshold word 0x%1 is no number").arg(w, 8, 16, QLatin1Char('0')));
        thresholdWord = w;
        r.summary = QStringLiteral("W %1 := word 0x%2 (%3 Sv/h), accepted")
                        .arg(hex4(f.address))
                        .arg(w, 8, 16, QLatin1Char('0'))
                        .arg(double(value));
    }
    r.bytes = registerStatusReply('W', regstatus::accepted);
    return r;
}
