#include "archiverecordmodel.h"

#include "historyflags.h"

#include "historytable.h"

#include <QBrush>

#include <limits>

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
    pages.clear();
    recent.clear();
    keepAll = false;
    error.clear();
    zones = archive->downloadZones(serial);
    // Each zone's date texts made once, not for every cell asked for.
    dates.clear();
    for (auto it = zones.cbegin(); it != zones.cend(); ++it)
        dates.insert(it.key(), HistoryDateTexts(it.value()));
    const qint64 count =
        serial.isEmpty() || !archive->isOpen() ? 0 : archive->recordCount(serial, from, to, &error);
    rows = int(qMin<qint64>(count, std::numeric_limits<int>::max()));
    endResetModel();
}

void ArchiveRecordModel::setPageRows(int pageSize)
{
    pageRows = qMax(1, pageSize);
    pages.clear();
    recent.clear();
}

const QVector<ArchiveRecord> *ArchiveRecordModel::page(int number) const
{
    const auto held = pages.constFind(number);
    if (held != pages.cend()) {
        if (recent.constLast() != number) {
            recent.removeOne(number);
            recent.append(number);
        }
        return &*held;
    }
    if (!error.isEmpty() || serial.isEmpty() || !archive->isOpen())
        return nullptr;
    const qint64 first = qint64(number) * pageRows;
    QList<ArchiveRecord> read;
    // Rows read in turn (a file being written, a view scrolled down) run on
    // from the page before; a page far down is found from the period's end.
    const auto before = pages.constFind(number - 1);
    if (before != pages.cend() && before->size() == pageRows)
        read = archive->recordPage(serial, from, to, &before->constLast(), pageRows, &error);
    else
        read = archive->recordsFrom(serial, from, to, first > rows / 2 ? first - rows : first,
                                    pageRows, &error);
    if (!error.isEmpty())
        return nullptr;
    if (!keepAll && recent.size() >= keptPages)
        pages.remove(recent.takeFirst());
    recent.append(number);
    QVector<ArchiveRecord> &kept = pages[number];
    kept = read.toVector();
    return &kept;
}

const ArchiveRecord *ArchiveRecordModel::recordAt(int row) const
{
    if (row < 0 || row >= rows)
        return nullptr;
    const QVector<ArchiveRecord> *held = page(row / pageRows);
    const int at = row % pageRows;
    return held && at < held->size() ? &held->at(at) : nullptr;
}

bool ArchiveRecordModel::readAll(Keep keep)
{
    keepAll = keep == Keep::All;
    // From the archive as it is now, not from pages read before.
    pages.clear();
    recent.clear();
    for (int number = 0; qint64(number) * pageRows < rows; ++number)
        if (!page(number))
            break;
    return error.isEmpty();
}

bool ArchiveRecordModel::readRecords(QVector<HistoryRecord> *records)
{
    records->clear();
    if (!error.isEmpty())
        return false;
    if (serial.isEmpty() || !archive->isOpen())
        return true;
    records->reserve(rows);
    const bool read = archive->forEachRecord(
        serial, from, to, [records](const HistoryRecord &r) { records->append(r); }, &error);
    if (!read)
        records->clear();
    return read;
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
    return parent.isValid() ? 0 : rows;
}

int ArchiveRecordModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : headers.size();
}

QVariant ArchiveRecordModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.column() >= headers.size() ||
        (role != Qt::DisplayRole && role != Qt::ForegroundRole && role != historyFlagsRole &&
         role != Qt::ToolTipRole && role != Qt::BackgroundRole && role != historyRecordRole &&
         role != historyUtcOffsetRole))
        return QVariant();
    const ArchiveRecord *r = recordAt(index.row());
    if (!r)
        return QVariant();
    const std::uint8_t flags = r->record.flags;
    if (role == historyFlagsRole)
        return unsigned(flags);
    if (role == historyRecordRole)
        return QVariant::fromValue(r->record);
    if (role == Qt::ToolTipRole)
        return flags ? QVariant(historyFlagTip(flags)) : QVariant();
    if (role == Qt::BackgroundRole)
        return flags && index.column() == 0 ? QVariant(QBrush(QColor(QRgb(historyFlagGroundRgb))))
                                            : QVariant();
    if (role == Qt::ForegroundRole) {
        const QColor colour = historyRowColour(r->record.eventCode);
        return colour.isValid() ? QVariant(QBrush(colour)) : QVariant();
    }
    const auto zone = dates.constFind(r->downloadId);
    const HistoryDateTexts &shown = zone != dates.cend() ? *zone : systemDates;
    if (role == historyUtcOffsetRole)
        return shown.utcOffset(r->record.time);
    const QString text = historyCellText(r->record, index.column(), shown);
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
