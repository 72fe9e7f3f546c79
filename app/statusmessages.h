// The words the window puts into its status bar for outcomes that need more
// than a fixed sentence: counts with their Russian plural forms, durations,
// the reason a file could not be written, the clock's outcome.
#pragma once

#include "archivelocation.h"
#include "fileerror.h"
#include "pagerlink.h"

#include <QDateTime>
#include <QString>

// "1 запись", "3 записи", "5 записей": the number and the form the Russian
// grammar asks for after it (`one` for 1, 21, ...; `few` for 2-4, 22-24, ...;
// `many` for 0, 5-20, 25-30, ...).
QString russianCount(qint64 n, const QString &one, const QString &few, const QString &many);

// "0,4 с", "12 с", "2 мин 5 с", "1 ч 3 мин": an elapsed time in whole seconds,
// under a second in tenths (rounded, at least "0,1 с").
QString russianDuration(qint64 milliseconds);

// The status message at the end of a history download: how it ended, how
// many records and pages it brought and how long it took.
enum class DownloadEnd { Complete, Incomplete, Stopped };
QString historyDownloadMessage(DownloadEnd end, qint64 records, qint64 pages, qint64 milliseconds);

// The status message when no pager answered: why the USB library could not be
// used, when that is the reason (file and missing entry point, or the system's
// error code), else the advice to check the pager and its cable.
QString noPagerMessage(const usbx::LibraryProblem &problem);

// The status message when a pager was found on USB but could not be opened:
// where it is, why, and the fix (the udev rule, re-plugging, the driver).
QString openProblemMessage(const usbx::OpenProblem &problem);

// The status message for the outcome of setting the pager's clock to `sent`.
QString clockSetMessage(PagerLink::ClockSetOutcome outcome, const QDateTime &sent);

// What became at start of the archive and settings an earlier version kept
// elsewhere (moved, merged, or left where they were and why); empty when
// there were none.
QString earlierFilesMessage(const EarlierFiles &earlier);
