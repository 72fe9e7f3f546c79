// The records of a period by position: what a table of a long period needs
// to show any row at once (its row count, and the page holding a row) without
// reading the rows before it.
#include "archive.h"
#include "archivesql.h"
#include "serverdeadline.h"

#include <QSqlError>
#include <QSqlQuery>

#include <cstring>

namespace {

void setAccessError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace

qint64 Archive::recordCount(const QString &serialNumber, const QDateTime &from, const QDateTime &to,
                            QString *error)
{
    const qint64 pager = isOpen() ? pagerId(serialNumber, false, error) : 0;
    if (!pager)
        return 0;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    const ServerDeadline deadline(db);
    if (!runArchiveQuery(query, engine, QStringLiteral("select_records_count"),
                         {pager, from.toSecsSinceEpoch(), to.toSecsSinceEpoch()}, error))
        return 0;
    if (!query.next()) {
        setAccessError(error, deadline.reason(query.lastError().text()));
        return 0;
    }
    return query.value(0).toLongLong();
}

QList<ArchiveRecord> Archive::recordsFrom(const QString &serialNumber, const QDateTime &from,
                                          const QDateTime &to, qint64 offset, int limit,
                                          QString *error)
{
    const qint64 pager = isOpen() && limit > 0 ? pagerId(serialNumber, false, error) : 0;
    if (!pager)
        return {};
    // The key of the record before the first one wanted, found on the keys
    // alone (no row read); the page then runs on from it as recordPage does.
    // Counted back from the end, that record is the (-offset)th from the last.
    const bool back = offset < 0;
    const qint64 before = back ? -offset : offset - 1;
    if (before < 0)
        return recordPage(serialNumber, from, to, nullptr, limit, error);
    QSqlQuery query(db);
    query.setForwardOnly(true);
    {
        const ServerDeadline deadline(db);
        if (!runArchiveQuery(query, engine,
                             back ? QStringLiteral("select_record_key_back")
                                  : QStringLiteral("select_record_key"),
                             {pager, from.toSecsSinceEpoch(), to.toSecsSinceEpoch(), 1, before},
                             error))
            return {};
        if (!query.next()) {
            if (query.lastError().isValid()) {
                setAccessError(error, deadline.reason(query.lastError().text()));
                return {};
            }
            // Past the end; or counted back to the first record or before it.
            return back ? recordPage(serialNumber, from, to, nullptr, limit, error)
                        : QList<ArchiveRecord>();
        }
    }
    ArchiveRecord after;
    after.record.time = std::uint32_t(query.value(0).toLongLong());
    const QByteArray stored = query.value(1).toByteArray();
    if (stored.size() != storedRecordSize)
        return {}; // the query counts no other
    std::memcpy(after.record.stored.data(), stored.constData(), storedRecordSize);
    after.copy = query.value(2).toInt();
    return recordPage(serialNumber, from, to, &after, limit, error);
}

bool Archive::forEachRecord(const QString &serialNumber, const QDateTime &from, const QDateTime &to,
                            const std::function<void(const HistoryRecord &)> &each, QString *error)
{
    QString why;
    const qint64 pager = isOpen() ? pagerId(serialNumber, false, &why) : 0;
    if (!pager) {
        setAccessError(error, why);
        return why.isEmpty();
    }
    QSqlQuery query(db);
    query.setForwardOnly(true);
    const ServerDeadline deadline(db);
    if (!runArchiveQuery(query, engine, QStringLiteral("select_records_period"),
                         {pager, from.toSecsSinceEpoch(), to.toSecsSinceEpoch()}, error))
        return false;
    while (query.next()) {
        const QByteArray stored = query.value(1).toByteArray();
        if (stored.size() != storedRecordSize)
            continue; // not written by this program
        // The instant kept is the one first decoded; the bytes give the rest.
        HistoryRecord r = decodeStoredRecord(
            reinterpret_cast<const std::uint8_t *>(stored.constData()), qint64(0));
        r.time = std::uint32_t(query.value(0).toLongLong());
        r.flags = std::uint8_t(query.value(2).toInt());
        each(r);
    }
    // A connection cut while the rows came is no end of the period.
    if (query.lastError().isValid()) {
        setAccessError(error, deadline.reason(query.lastError().text()));
        return false;
    }
    return true;
}
