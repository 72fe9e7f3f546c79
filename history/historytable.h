// The six-column history table shared by the window and the command-line tool.
#pragma once

#include "historyrecord.h"

#include <QColor>
#include <QList>
#include <QLocale>
#include <QStringList>
#include <QTimeZone>

class QStandardItemModel;

// The header labels in column order.
QStringList historyHeaderLabels();

// Gives a model its six header labels (and so its six columns).
void setupHistoryModel(QStandardItemModel *model);

// The six cell texts of one record; the event text is empty for unknown codes.
// The date is the wall-clock time in `zone`.
QStringList historyRowTexts(const HistoryRecord &record);
QStringList historyRowTexts(const HistoryRecord &record, const QTimeZone &zone);

// The date texts of record times as wall-clock time in one zone, the zone
// looked at once for them all rather than for each.
class HistoryDateTexts
{
public:
    explicit HistoryDateTexts(const QTimeZone &zone = QTimeZone::systemTimeZone());
    QString text(std::uint32_t time) const;

private:
    QLocale locale;
    QTimeZone zone;
    bool local;
    bool fast = false;
};

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

// Appends one row per record, alarms in red and threshold rows in magenta
// (historyRowColour), dates as wall-clock time in `zone`. Expects a model
// without rows.
void fillHistoryTable(QStandardItemModel *model, const QList<HistoryRecord *> &records,
                      const QTimeZone &zone = QTimeZone::systemTimeZone());
