// The history table as it was made before HistoryTableModel: a
// QStandardItemModel with one item per cell, kept to compare the model with
// (tests) and to measure it against (bench).
#pragma once

#include "historytable.h"

#include <QBrush>
#include <QDateTime>
#include <QLocale>
#include <QStandardItemModel>

// Sets the six header labels and appends one row per record, alarms in red
// and threshold rows in magenta, dates as wall-clock time in `zone`; an
// unknown event code leaves its cell without an item. The dates are made
// each by QDateTime (to check HistoryDateTexts against), or as the table
// made them (HistoryDateTexts, to measure against); the other texts as the
// table made them, each on its own.
enum class ItemDates { ByQDateTime, AsBefore };
inline void fillItemHistoryTable(QStandardItemModel *model, const QList<HistoryRecord *> &records,
                                 const QTimeZone &zone = QTimeZone::systemTimeZone(),
                                 ItemDates made = ItemDates::ByQDateTime)
{
    model->setHorizontalHeaderLabels(historyHeaderLabels());
    const HistoryDateTexts dates(zone);
    const bool local = zone.id() == QTimeZone::systemTimeZoneId();
    QList<QStandardItem *> items;
    for (const HistoryRecord *record : records) {
        const QColor colour = historyRowColour(record->eventCode);
        // Each date converted on its own, as QDateTime does.
        const qint64 t = qint64(record->time);
        const QString date =
            made == ItemDates::AsBefore
                ? dates.text(record->time)
                : QLocale::system().toString(local ? QDateTime::fromSecsSinceEpoch(t)
                                                   : QDateTime::fromSecsSinceEpoch(t, zone),
                                             QLocale::ShortFormat);
        const QStringList texts{date,
                                eventText(record->eventCode),
                                QString::number(record->gammaCps),
                                QStringLiteral("%1").arg(double(record->neutronCps), 0, 'f', 2),
                                QStringLiteral("%1").arg(double(record->doseRate), 0, 'e', 2),
                                QStringLiteral("%1").arg(double(record->dose), 0, 'e', 2)};
        items.clear();
        for (int c = 0; c < 6; ++c) {
            const QString text = texts.at(c);
            QStandardItem *item = text.isEmpty() ? nullptr : new QStandardItem(text);
            if (item && colour.isValid())
                item->setData(QBrush(colour), Qt::ForegroundRole);
            items.append(item);
        }
        model->appendRow(items);
    }
}
