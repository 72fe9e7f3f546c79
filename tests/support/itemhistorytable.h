// The history table as it was made before HistoryTableModel: a
// QStandardItemModel with one item per cell, kept to compare the model with
// (tests) and to measure it against (bench).
#pragma once

#include "historytable.h"

#include <QBrush>
#include <QStandardItemModel>

// Sets the six header labels and appends one row per record, alarms in red
// and threshold rows in magenta, dates as wall-clock time in `zone`; an
// unknown event code leaves its cell without an item.
inline void fillItemHistoryTable(QStandardItemModel *model, const QList<HistoryRecord *> &records,
                                 const QTimeZone &zone = QTimeZone::systemTimeZone())
{
    model->setHorizontalHeaderLabels(historyHeaderLabels());
    const HistoryDateTexts dates(zone);
    QList<QStandardItem *> items;
    for (const HistoryRecord *record : records) {
        const QColor colour = historyRowColour(record->eventCode);
        items.clear();
        for (int c = 0; c < 6; ++c) {
            const QString text = historyCellText(*record, c, dates);
            QStandardItem *item = text.isEmpty() ? nullptr : new QStandardItem(text);
            if (item && colour.isValid())
                item->setData(QBrush(colour), Qt::ForegroundRole);
            items.append(item);
        }
        model->appendRow(items);
    }
}
