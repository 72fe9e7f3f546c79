// The records of one pager over a period, straight from the archive: a
// table model with the history table's six columns, texts and red alarm
// rows. It knows its row count from the start and reads only the pages of
// rows asked for (the rows in view, or each in turn for a file), keeping a
// few pages, so that a pager with a million records shows any row at once
// (the last one too) without copying them all. Dates are shown in the zone
// of the download each record came from; historyRecordRole and
// historyUtcOffsetRole give the record and that zone's offset at its time.
#pragma once

#include "archive.h"
#include "historytable.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QHash>
#include <QTimeZone>
#include <QVector>

class ArchiveRecordModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int defaultPageRows = 500;
    // Pages kept: a screenful or two, and the page before one being read in turn.
    static constexpr int keptPages = 16;

    explicit ArchiveRecordModel(Archive *archive, QObject *parent = nullptr);

    // Shows the records of [from, to): counts them; their rows are read as asked for.
    void setPeriod(const QString &serialNumber, const QDateTime &from, const QDateTime &to);
    void setPageRows(int rows);
    // Reads every row again, page by page, so that a read error is known
    // before the rows go into a file; false on one. KeepFew keeps no more
    // than a view does; KeepAll keeps every page until the period is set
    // again (about 50 bytes a record), so that the rows are then read from
    // memory, not a second time from the archive.
    enum class Keep { Few, All };
    bool readAll(Keep keep = Keep::Few);
    // The period's records read straight from the archive (not through the
    // pages), for the plot; false on a read error (lastError()).
    bool readRecords(QVector<HistoryRecord> *records);

    QString serialNumber() const { return serial; }
    // The zone most rows are shown in (that of the latest download).
    QTimeZone mainZone() const;
    // The reason the last read failed; empty when it did not. Once a read
    // failed no other is tried until the period is set again.
    QString lastError() const { return error; }
    // The record of a row (read when not held); nullptr past the records
    // read or on a read error.
    const ArchiveRecord *recordAt(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    Archive *archive;
    QString serial;
    QDateTime from, to;
    int rows = 0;
    QHash<qint64, QTimeZone> zones;
    QHash<qint64, HistoryDateTexts> dates; // by download, as zones
    HistoryDateTexts systemDates;          // for a download without a zone
    QStringList headers;
    int pageRows = defaultPageRows;
    // Pages held, by number, and their numbers from the least recently used.
    mutable QHash<int, QVector<ArchiveRecord>> pages;
    mutable QVector<int> recent;
    bool keepAll = false;
    mutable QString error;

    const QVector<ArchiveRecord> *page(int number) const;
};
