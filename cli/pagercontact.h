// The steps of one contact with a pager, shared by the pager commands and
// the download station: reading its parameters, setting its clock, and
// downloading its history into the archive. They print nothing; each caller
// tells what came of them in its own way.
#pragma once

#include "archive.h"
#include "historydownload.h"
#include "pagerlink.h"

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariant>

// The pager's settings as read at one contact.
struct PagerParameters
{
    QDateTime pcTime;     // the PC's clock just before the pager's was read
    QDateTime deviceTime; // invalid when the pager did not answer
    // (setting name, value text) in the order they are read: the clock,
    // the sigmas, the threshold, the interval; "?" for one not answered.
    QList<QPair<QString, QString>> values;
    QStringList unanswered; // the names of those not answered
    // The pager's clock minus the PC's in seconds; null when not read.
    QVariant clockOffset() const;
};

PagerParameters readPagerParameters(PagerLink &link);
// Stores the settings that answered as one parameter read.
bool storePagerParameters(Archive &archive, const QString &serialNumber,
                          const PagerParameters &parameters, QString *error);

// Whether a clock read `offset` seconds off is set under the rule "set when
// off by more than `beyond` seconds" (deviceClockOffBeyond; never when
// `beyond` is negative).
inline bool clockWantsSetting(qint64 offset, qint64 beyond)
{
    return beyond >= 0 && deviceClockOffBeyond(offset, beyond);
}

struct ClockSetting
{
    QDateTime sent;
    PagerLink::ClockSetOutcome outcome = PagerLink::ClockSetOutcome::NotConfirmed;
    QDateTime readBack;     // invalid when not read back
    QString archiveProblem; // why the change was not logged; empty when it was
    bool confirmed() const { return outcome == PagerLink::ClockSetOutcome::Confirmed; }
};

// Sets the pager's clock to `t`, reads it back, and logs the change with the
// offset read back in the archive when it is open.
ClockSetting setPagerClock(PagerLink &link, const QDateTime &t, Archive &archive);

// One history download as it is kept.
struct PagerDownload
{
    HistoryDump dump;               // its pages, kept when asked or when the archive is open
    QList<HistoryRecord *> records; // decoded and flagged; the caller frees them
    HistoryDownloadResult result;
    QVariant clockOffset; // read after a complete download; null otherwise
    bool storeTried = false;
    ArchiveStoreResult stored;
    ArchiveOutcome outcome() const;
};

// The information request, then the pages (flagged by the pager's history
// interval as the archive knows it), the clock after a complete download,
// and the whole download (whatever its end) stored in the archive when it is
// open. `keepPages`: the pages are kept in the dump even without an archive.
PagerDownload downloadPagerHistory(PagerLink &link, Archive &archive, bool keepPages,
                                   HistoryProgressFunction progress,
                                   const HistoryStopFunction &stop = HistoryStopFunction());
