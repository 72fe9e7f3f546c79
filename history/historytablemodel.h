// The six-column history table of the window and the command-line tool as a
// model over the records themselves: each record is held by value (about 40
// bytes) and its cell texts are made when a view or a writer asks for them,
// so that a pager's whole memory (65536 pages of 16 records) fits in a few
// dozen megabytes instead of the gigabyte and a half an item per cell takes.
#pragma once

#include "historyrecord.h"
#include "historytable.h"

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>
#include <QTimeZone>
#include <QVariant>
#include <QVector>

class HistoryTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit HistoryTableModel(QObject *parent = nullptr);

    // Shows one row per record in the list's order (copied, the list keeps
    // its records), dates as wall-clock time in `zone`, in place of the rows
    // shown before.
    void setRecords(const QList<HistoryRecord *> &records,
                    const QTimeZone &zone = QTimeZone::systemTimeZone());
    // Removes every row.
    void clear();

    const QVector<HistoryRecord> &records() const { return rows; }

    // The six header labels; row numbers from 1 down the side. Cell texts as
    // historyCellText gives them, none for an unknown event code; every cell
    // of an alarm or threshold row in historyRowColour's brush; the record
    // and its date's UTC offset under historyRecordRole and historyUtcOffsetRole.
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QVector<HistoryRecord> rows;
    HistoryDateTexts dates;
    QStringList headers;
    QVariant alarmBrush;
    QVariant thresholdBrush;
};
