// The records of one pager over a period, straight from the archive: a
// table model with the history table's six columns, texts and red alarm
// rows, that fetches its rows a page at a time as a view scrolls (keyed on
// the last row fetched), so that a pager with a million records browses
// without copying them all. Dates are shown in the zone of the download each
// record came from.
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
    static constexpr int defaultPageRows = 1000;

    explicit ArchiveRecordModel(Archive *archive, QObject *parent = nullptr);

    // Shows the records of [from, to); no rows until fetched.
    void setPeriod(const QString &serialNumber, const QDateTime &from, const QDateTime &to);
    void setPageRows(int rows) { pageRows = rows; }
    // Fetches every remaining row (for the files and the plot).
    void fetchAll();

    const QVector<ArchiveRecord> &records() const { return rows; }
    QString serialNumber() const { return serial; }
    // The zone most rows are shown in (that of the latest download).
    QTimeZone mainZone() const;
    // The reason the last fetch failed; empty when it did not.
    QString lastError() const { return error; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

private:
    Archive *archive;
    QString serial;
    QDateTime from, to;
    QVector<ArchiveRecord> rows;
    QHash<qint64, QTimeZone> zones;
    QHash<qint64, HistoryDateTexts> dates; // by download, as zones
    HistoryDateTexts systemDates;          // for a download without a zone
    QStringList headers;
    bool atEnd = true;
    bool fetching = false;
    int pageRows = defaultPageRows;
    QString error;
};
