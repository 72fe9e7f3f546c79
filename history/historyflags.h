// Records that look wrong: flagged, never dropped or changed. A flag is
// found from the record's place in its download (the record before it, the
// page it came from, the download's instant), so it is worked out once, when
// the records are decoded from a download or a dump, and kept beside them.
//
// The kinds, a bit each:
//  - Backwards: its time is earlier than that of the record before it.
//  - Future: its time is later than the download (more than a minute, the
//    resolution of a record's time).
//  - Gap: more than twice the history interval since the record before it,
//    unless the pager was off between them (a switch-off before, or a
//    switch-on at it).
//    The interval is the one the pager last reported (a parameter read kept
//    in the archive) when known, otherwise the records' usual spacing (the
//    median of the positive steps between them).
//  - DoseFall: the dose (ЭД) is lower than the record before it, and neither
//    of the two is a power-on event ('1'), after which the pager counts anew.
//  - OutOfRange: a dose rate or count rate the pager cannot measure: the dose
//    rate not a number, negative or above 1 Sv/h (the pager's scale ends at
//    0.1 Sv/h; ten times that allows for its overload reading); the neutron
//    rate not a number, negative or above 100,000 counts/s; the gamma rate at
//    65,535 counts/s (its 16-bit counter full).
//  - UnknownEvent: an event code outside the event table (eventText empty).
//  - UnverifiedPage: it came from a page reply whose checksum did not verify.
#pragma once

#include "historyrecord.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>
#include <Qt>

namespace recordflag {
enum : std::uint8_t {
    Backwards = 1,
    Future = 2,
    Gap = 4,
    DoseFall = 8,
    OutOfRange = 16,
    UnknownEvent = 32,
    UnverifiedPage = 64,
};
constexpr std::uint8_t all = 127;
} // namespace recordflag

// The role under which the history tables' models give a row's flags (an
// unsigned number, for every column); views show a mark (an amber ground
// behind the date, Qt::BackgroundRole, which takes no room from its text)
// and the reasons (Qt::ToolTipRole), writers count them.
constexpr int historyFlagsRole = Qt::UserRole + 7;
// The colour of the plot's mark, and the date's ground in the tables.
constexpr unsigned historyFlagMarkRgb = 0xE0A000;
constexpr unsigned historyFlagGroundRgb = 0xFFE08A;

struct HistoryFlagContext
{
    qint64 downloadedAt = 0; // POSIX seconds; 0: not known (no Future flag)
    int intervalMinutes = 0; // the pager's history interval; 0: the records' usual spacing
    // Per record, in order: it came from a page whose checksum did not
    // verify. Empty: every page verified.
    QVector<bool> unverified;
};

// Sets each record's flags, in the records' download order.
void flagHistoryRecords(const QList<HistoryRecord *> &records, const HistoryFlagContext &context);
// The median of the positive steps between consecutive records, in seconds;
// 0 with fewer than two records.
qint64 usualRecordSpacing(const QList<HistoryRecord *> &records);

// The reasons, in Russian, one a flag, for a tooltip or a journal's note;
// empty for 0.
QStringList recordFlagReasons(std::uint8_t flags);
// The tooltip of a flagged row: «Отметки:» and the reasons, one a line.
QString historyFlagTip(std::uint8_t flags);
// Short names, comma-separated (backwards,future,gap,dose-fall,range,event,
// checksum), for the tool's last column; empty for 0.
QString recordFlagNames(std::uint8_t flags);
