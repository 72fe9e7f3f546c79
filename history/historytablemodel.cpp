#include "historytablemodel.h"

#include "historyflags.h"

#include <QBrush>

HistoryTableModel::HistoryTableModel(QObject *parent)
    : QAbstractTableModel(parent), headers(historyHeaderLabels()),
      alarmBrush(QBrush(historyAlarmColour())), thresholdBrush(QBrush(historyThresholdColour()))
{
}

void HistoryTableModel::setRecords(const QList<HistoryRecord *> &records, const QTimeZone &zone)
{
    beginResetModel();
    rows.clear();
    rows.reserve(records.size());
    for (const HistoryRecord *record : records)
        rows.append(*record);
    // Texts are made as the rows are shown, maybe long after: in the zone's
    // rules of now, as the PC's zone may change meanwhile.
    dates = HistoryDateTexts(zone, HistoryDateTexts::SystemZone::Kept);
    endResetModel();
}

void HistoryTableModel::clear()
{
    beginResetModel();
    rows = QVector<HistoryRecord>();
    endResetModel();
}

int HistoryTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rows.size();
}

int HistoryTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : headers.size();
}

QVariant HistoryTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rows.size() || index.column() >= headers.size())
        return QVariant();
    const HistoryRecord &record = rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: {
        const QString text = historyCellText(record, index.column(), dates);
        // An unknown event code leaves its cell without data.
        return text.isEmpty() ? QVariant() : QVariant(text);
    }
    case historyFlagsRole:
        return unsigned(record.flags);
    case historyRecordRole:
        return QVariant::fromValue(record);
    case historyUtcOffsetRole:
        return dates.utcOffset(record.time);
    case Qt::ToolTipRole:
        return record.flags ? QVariant(historyFlagTip(record.flags)) : QVariant();
    case Qt::BackgroundRole:
        return record.flags && index.column() == 0
                   ? QVariant(QBrush(QColor(QRgb(historyFlagGroundRgb))))
                   : QVariant();
    case Qt::ForegroundRole: {
        const QColor colour = historyRowColour(record.eventCode);
        if (!colour.isValid())
            return QVariant();
        return colour == historyAlarmColour() ? alarmBrush : thresholdBrush;
    }
    default:
        return QVariant();
    }
}

QVariant HistoryTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section < 0 || section >= (orientation == Qt::Horizontal ? headers.size() : rows.size()))
        return QVariant();
    if (orientation == Qt::Vertical)
        return QAbstractTableModel::headerData(section, orientation, role); // the row's number
    return role == Qt::DisplayRole || role == Qt::EditRole ? QVariant(headers.at(section))
                                                           : QVariant();
}
