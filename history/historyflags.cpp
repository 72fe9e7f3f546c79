#include "historyflags.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr float maxDoseRate = 1.0f;        // Sv/h
constexpr float maxNeutronRate = 100000.f; // counts/s
constexpr std::uint16_t gammaFull = 0xFFFF;
constexpr qint64 timeResolution = 60; // s

bool outOfRange(const HistoryRecord &r)
{
    return !std::isfinite(r.doseRate) || r.doseRate < 0 || r.doseRate > maxDoseRate ||
           !std::isfinite(r.neutronCps) || r.neutronCps < 0 || r.neutronCps > maxNeutronRate ||
           r.gammaCps == gammaFull;
}

// The codes of the event table (eventText), without making its texts.
bool knownEvent(char code)
{
    switch (code) {
    case '0':
    case '1':
    case 'A':
    case 'C':
    case 'F':
    case 'N':
    case 'S':
    case 'e':
    case 's':
        return true;
    default:
        return false;
    }
}

constexpr char powerOn = '1';
constexpr char powerOff = '0';

} // namespace

qint64 usualRecordSpacing(const QList<HistoryRecord *> &records)
{
    std::vector<qint64> steps;
    steps.reserve(size_t(records.size()));
    for (int i = 1; i < records.size(); ++i) {
        const qint64 step = qint64(records.at(i)->time) - qint64(records.at(i - 1)->time);
        if (step > 0)
            steps.push_back(step);
    }
    if (steps.empty())
        return 0;
    auto middle = steps.begin() + std::ptrdiff_t(steps.size() / 2);
    std::nth_element(steps.begin(), middle, steps.end());
    return *middle;
}

void flagHistoryRecords(const QList<HistoryRecord *> &records, const HistoryFlagContext &context)
{
    const qint64 spacing = context.intervalMinutes > 0 ? qint64(context.intervalMinutes) * 60
                                                       : usualRecordSpacing(records);
    const HistoryRecord *before = nullptr;
    for (int i = 0; i < records.size(); ++i) {
        HistoryRecord &r = *records.at(i);
        std::uint8_t flags = 0;
        if (before) {
            const qint64 step = qint64(r.time) - qint64(before->time);
            if (step < 0)
                flags |= recordflag::Backwards;
            else if (spacing > 0 && step > 2 * spacing && before->eventCode != powerOff &&
                     r.eventCode != powerOn)
                flags |= recordflag::Gap;
            if (r.dose < before->dose && r.eventCode != powerOn && before->eventCode != powerOn)
                flags |= recordflag::DoseFall;
        }
        if (context.downloadedAt > 0 && qint64(r.time) > context.downloadedAt + timeResolution)
            flags |= recordflag::Future;
        if (outOfRange(r))
            flags |= recordflag::OutOfRange;
        if (!knownEvent(r.eventCode))
            flags |= recordflag::UnknownEvent;
        if (i < context.unverified.size() && context.unverified.at(i))
            flags |= recordflag::UnverifiedPage;
        r.flags = flags;
        before = &r;
    }
}

QStringList recordFlagReasons(std::uint8_t flags)
{
    static const char *const reasons[] = {
        "время раньше, чем у предыдущей записи",        "время позже момента считывания",
        "пропуск больше двух интервалов записи",        "ЭД уменьшилась без включения прибора",
        "МЭД или скорость счёта вне диапазона прибора", "неизвестный код события",
        "контрольная сумма страницы не сошлась",
    };
    QStringList list;
    for (int bit = 0; bit < 7; ++bit)
        if (flags & (1u << bit))
            list << QString::fromUtf8(reasons[bit]);
    return list;
}

QString historyFlagTip(std::uint8_t flags)
{
    const QStringList reasons = recordFlagReasons(flags);
    return reasons.isEmpty()
               ? QString()
               : QStringLiteral("Отметки:\n– ") + reasons.join(QStringLiteral("\n– "));
}

QString recordFlagNames(std::uint8_t flags)
{
    static const char *const names[] = {"backwards", "future", "gap",     "dose-fall",
                                        "range",     "event",  "checksum"};
    QStringList list;
    for (int bit = 0; bit < 7; ++bit)
        if (flags & (1u << bit))
            list << QLatin1String(names[bit]);
    return list.join(QLatin1Char(','));
}
