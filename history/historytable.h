// The texts and colours of the six-column history table shared by the window
// and the command-line tool (its model: historytablemodel.h).
#pragma once

#include "historyrecord.h"

#include <QColor>
#include <QList>
#include <QLocale>
#include <QStringList>
#include <QTimeZone>
#include <Qt>

#include <limits>

// Roles of the history tables' models (this table's and the archive's), on
// every column, for writers that want a row's record rather than its texts:
// the record itself (a HistoryRecord), and the UTC offset in seconds east
// at which its date is shown (int).
constexpr int historyRecordRole = Qt::UserRole + 8;
constexpr int historyUtcOffsetRole = Qt::UserRole + 9;

// The header labels in column order.
QStringList historyHeaderLabels();

// The six cell texts of one record; the event text is empty for unknown codes.
// The date is the wall-clock time in `zone`.
QStringList historyRowTexts(const HistoryRecord &record);
QStringList historyRowTexts(const HistoryRecord &record, const QTimeZone &zone);

// The date texts of record times as wall-clock time in one zone, the zone
// looked at once for them all rather than for each.
class HistoryDateTexts
{
public:
    // For the PC's own zone: its rules as the C library sees them when a text
    // is made (quick, for texts made at once), or its rules when these were
    // made (Qt's for the zone's name), for texts made long after, which
    // should not change when the PC's zone does meanwhile.
    enum class SystemZone { Current, Kept };
    explicit HistoryDateTexts(const QTimeZone &zone = QTimeZone::systemTimeZone(),
                              SystemZone system = SystemZone::Current);
    // Not to be called from two threads at once: it remembers the zone's
    // offset up to its next change, and the text of the hour last shown.
    QString text(std::uint32_t time) const;
    // The UTC offset (seconds east) that text() shows a time at; the same
    // thread rule.
    int utcOffset(std::uint32_t time) const;

private:
    // The text of a time shown at a UTC offset.
    QString textAt(qint64 time, int offset) const;
    // The offset of the zone at a time, when known without Qt's full lookup.
    bool offsetAt(qint64 time, int *offset) const;
    QLocale locale;
    QString format; // the locale's short date-time format
    QTimeZone zone;
    bool local;
    bool fast = false;
    // A zone given by name: its offset from `spanStart` to before `spanEnd`.
    bool spans = false;
    mutable qint64 spanStart = 1;
    mutable qint64 spanEnd = 0;
    mutable int spanOffset = 0;
    // Times of one wall-clock hour differ only in the minutes and seconds:
    // the hour's text is made once and those four digits written into it,
    // where the format shows them as two digits each (`patches`).
    bool patches = false;
    mutable qint64 hour = std::numeric_limits<qint64>::min();
    mutable int hourOffset = 0;
    mutable QString hourText; // empty: this hour's text cannot be patched
    mutable int minuteAt = 0, secondAt = 0;
    mutable char16_t zeroDigit = u'0';
};

// The columns whose texts are numbers only, never with a space (2–5).
QList<int> historyNumberColumns();

// One of the six cell texts (column 0–5) of a record, the date from `dates`.
QString historyCellText(const HistoryRecord &record, int column, const HistoryDateTexts &dates);

// The text colour of alarm rows (isAlarmEvent).
QColor historyAlarmColour();
// The text colour of "dose-rate threshold exceeded" rows (event 'e'): a
// magenta of their own, also that of their markers on the plot.
QColor historyThresholdColour();
// The text colour of a record's row: one of the two above, or none (an
// invalid colour) for the other events. The table, the archive window and,
// through them, the journal colour rows by it.
QColor historyRowColour(char eventCode);
