#include "archiverecordmodel.h"

#include "historytable.h"

#include <QBrush>

ArchiveRecordModel::ArchiveRecordModel(Archive *a, QObject *parent)
    : QAbstractTableModel(parent), archive(a), headers(historyHeaderLabels())
{
}

void ArchiveRecordModel::setPeriod(const QString &serialNumber, const QDateTime &periodFrom,
                                   const QDateTime &periodTo)
{
    beginResetModel();
    serial = serialNumber;
    from = periodFrom;
    to = periodTo;
    rows.clear();
    zones = archive->downloadZones(serial);
    // Each zone's date texts made once, not for every cell asked for.
    dates.clear();
    for (auto it = zones.cbegin(); it != zones.cend(); ++it)
        dates.insert(it.key(), HistoryDateTexts(it.value()));
    error.clear();
    atEnd = serial.isEmpty() || !archive->isOpen();
    endResetModel();
}

void ArchiveRecordModel::fetchAll()
{
    while (canFetchMore(QModelIndex()))
        fetchMore(QModelIndex());
}

QTimeZone ArchiveRecordModel::mainZone() const
{
    qint64 latest = -1;
    for (auto it = zones.cbegin(); it != zones.cend(); ++it)
        latest = qMax(latest, it.key());
    return zones.value(latest, QTimeZone::systemTimeZone());
}

int ArchiveRecordModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rows.size();
}

int ArchiveRecordModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : headers.size();
}

QVariant ArchiveRecordModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rows.size() || index.column() >= headers.size())
        return QVariant();
    const ArchiveRecord &r = rows.at(index.row());
    if (role == Qt::ForegroundRole) {
        const QColor colour = historyRowColour(r.record.eventCode);
        return colour.isValid() ? QVariant(QBrush(colour)) : QVariant();
    }
    if (role != Qt::DisplayRole)
        return QVariant();
    const auto zone = dates.constFind(r.downloadId);
    const QString text =
        historyCellText(r.record, index.column(), zone != dates.cend() ? *zone : systemDates);
    // An unknown event code leaves its cell without data, as in the table.
    return text.isEmpty() ? QVariant() : QVariant(text);
}

QVariant ArchiveRecordModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < headers.size() ? QVariant(headers.at(section))
                                                        : QVariant();
    return section + 1;
}

bool ArchiveRecordModel::canFetchMore(const QModelIndex &parent) const
{
    // A view told of new rows may ask again before they are in.
    return !parent.isValid() && !atEnd && !fetching;
}

void ArchiveRecordModel::fetchMore(const QModelIndex &parent)
{
    if (!canFetchMore(parent))
        return;
    const QList<ArchiveRecord> page = archive->recordPage(
        serial, from, to, rows.isEmpty() ? nullptr : &rows.constLast(), pageRows, &error);
    atEnd = page.size() < pageRows;
    if (page.isEmpty())
        return;
    fetching = true;
    beginInsertRows(QModelIndex(), rows.size(), rows.size() + page.size() - 1);
    for (const ArchiveRecord &r : page)
        rows.append(r);
    endInsertRows();
    fetching = false;
}
