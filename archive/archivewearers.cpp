// Who wore which pager: wearers and assignments as events appended to the
// archive, and a wearer's dose over a period from the records worn.
#include "archive.h"
#include "archivesql.h"
#include "serialnumber.h"

#include <QSqlQuery>
#include <QUuid>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

void setWearerError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

QVariant nullText()
{
    return QVariant(QVariant::String);
}

QVariant nullId()
{
    return QVariant(QVariant::LongLong);
}

constexpr qint64 endless = std::numeric_limits<qint64>::max();

qint64 secondsOr(const QDateTime &t, qint64 otherwise)
{
    return t.isValid() ? t.toSecsSinceEpoch() : otherwise;
}

QString assignmentText(const ArchiveAssignment &a)
{
    const auto at = [](const QDateTime &t) { return t.toString(Qt::ISODate); };
    return QStringLiteral("%1 given to %2 from %3 %4")
        .arg(a.serialNumber, a.wearer, at(a.from),
             a.worn() ? QStringLiteral("(worn)") : QStringLiteral("until %1").arg(at(a.to)));
}

} // namespace

bool isPersonnelNumber(const QString &text)
{
    if (text.trimmed().isEmpty() || text.size() > 64)
        return false;
    return std::none_of(text.cbegin(), text.cend(),
                        [](QChar c) { return c.category() == QChar::Other_Control; });
}

bool Archive::appendWearerEvent(const QVariantList &values, QString *error)
{
    QSqlQuery query(db);
    if (runArchiveQuery(query, engine, QStringLiteral("insert_wearer_event"),
                        QVariantList{QUuid::createUuid().toString(QUuid::WithoutBraces)} + values +
                            QVariantList{QDateTime::currentSecsSinceEpoch(), operatingSystemUser(),
                                         archivePcName()},
                        error) &&
        linkEvent(ChainedEvent::WearerEvent, archiveInsertedId(query), error) && commit(error))
        return true;
    rollback();
    return false;
}

bool Archive::addWearer(const QString &number, const QString &name, QString *error)
{
    if (!isOpen()) {
        setWearerError(error, QStringLiteral("no archive"));
        return false;
    }
    if (!isPersonnelNumber(number)) {
        setWearerError(error, QStringLiteral("not a personnel number: \"%1\"").arg(number));
        return false;
    }
    if (name.trimmed().isEmpty() || name.size() > 200) {
        setWearerError(error, QStringLiteral("a wearer needs a name (at most 200 characters)"));
        return false;
    }
    if (!beginWrite(error))
        return false;
    // kind, wearer, name, pager, at, assignment
    return appendWearerEvent({QStringLiteral("wearer"), number, name.simplified(), nullId(),
                              QDateTime::currentSecsSinceEpoch(), nullText()},
                             error);
}

QList<ArchiveWearer> Archive::wearers(QString *error)
{
    QList<ArchiveWearer> list;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!isOpen() || !runArchiveQuery(query, engine, QStringLiteral("select_wearers"), {}, error))
        return list;
    while (query.next())
        list << ArchiveWearer{query.value(0).toString(), query.value(1).toString(),
                              QDateTime::fromSecsSinceEpoch(query.value(2).toLongLong())};
    return list;
}

QList<ArchiveAssignment> Archive::assignments(QString *error)
{
    QList<ArchiveAssignment> list;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!isOpen() ||
        !runArchiveQuery(query, engine, QStringLiteral("select_assignments"), {}, error))
        return list;
    while (query.next()) {
        ArchiveAssignment a;
        a.uid = query.value(0).toString();
        a.wearer = query.value(1).toString();
        a.serialNumber = query.value(2).toString();
        a.from = QDateTime::fromSecsSinceEpoch(query.value(3).toLongLong());
        if (!query.value(4).isNull())
            a.to = QDateTime::fromSecsSinceEpoch(query.value(4).toLongLong());
        a.enteredAt = QDateTime::fromSecsSinceEpoch(query.value(5).toLongLong());
        a.osUser = query.value(6).toString();
        a.pc = query.value(7).toString();
        list << a;
    }
    // In pager and time order: the assignments after one that begin before
    // it ends overlap it.
    for (int i = 0; i < list.size(); ++i) {
        const qint64 end = secondsOr(list.at(i).to, endless);
        for (int j = i + 1; j < list.size() && list.at(j).serialNumber == list.at(i).serialNumber &&
                            list.at(j).from.toSecsSinceEpoch() < end;
             ++j) {
            list[i].overlapWearer = list.at(j).wearer;
            list[i].overlapPc = list.at(j).pc;
            list[j].overlapWearer = list.at(i).wearer;
            list[j].overlapPc = list.at(i).pc;
        }
    }
    return list;
}

bool Archive::assignPager(const QString &serialNumber, const QString &wearer, const QDateTime &from,
                          const QDateTime &until, QString *error)
{
    if (!isOpen()) {
        setWearerError(error, QStringLiteral("no archive"));
        return false;
    }
    if (!from.isValid() || (until.isValid() && until <= from)) {
        setWearerError(error, QStringLiteral("an assignment ends after it begins"));
        return false;
    }
    if (!isSerialNumber(serialNumber)) {
        setWearerError(error, serialNumberProblem(serialNumber));
        return false;
    }
    if (!beginWrite(error))
        return false;
    // Looked at inside the write, so that two programs cannot both pass.
    QString reason;
    const QList<ArchiveWearer> known = wearers(&reason);
    if (!reason.isEmpty() ||
        std::none_of(known.cbegin(), known.cend(),
                     [&](const ArchiveWearer &w) { return w.number == wearer; })) {
        rollback();
        setWearerError(error,
                       reason.isEmpty() ? QStringLiteral("no wearer %1").arg(wearer) : reason);
        return false;
    }
    const qint64 start = from.toSecsSinceEpoch(), end = secondsOr(until, endless);
    const QList<ArchiveAssignment> all = assignments(&reason);
    for (const ArchiveAssignment &a : all) {
        if (a.serialNumber != serialNumber)
            continue;
        if (start < secondsOr(a.to, endless) && a.from.toSecsSinceEpoch() < end) {
            rollback();
            setWearerError(error, QStringLiteral("overlaps %1").arg(assignmentText(a)));
            return false;
        }
    }
    const qint64 pager = reason.isEmpty() ? pagerId(serialNumber, true, &reason) : 0;
    if (!pager) {
        rollback();
        setWearerError(error, reason);
        return false;
    }
    const QString give = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QSqlQuery query(db);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const QVariantList by{now, operatingSystemUser(), archivePcName()};
    // uid, kind, wearer, name, pager, at, assignment, entered_at, os_user, pc
    bool ok = runArchiveQuery(query, engine, QStringLiteral("insert_wearer_event"),
                              QVariantList{give, QStringLiteral("give"), wearer, nullText(), pager,
                                           start, nullText()} +
                                  by,
                              error) &&
              linkEvent(ChainedEvent::WearerEvent, archiveInsertedId(query), error);
    if (ok && until.isValid())
        ok = runArchiveQuery(query, engine, QStringLiteral("insert_wearer_event"),
                             QVariantList{QUuid::createUuid().toString(QUuid::WithoutBraces),
                                          QStringLiteral("return"), wearer, nullText(), nullId(),
                                          end, give} +
                                 by,
                             error) &&
             linkEvent(ChainedEvent::WearerEvent, archiveInsertedId(query), error);
    if (ok && commit(error))
        return true;
    rollback();
    return false;
}

bool Archive::returnPager(const QString &serialNumber, const QDateTime &at, QString *error)
{
    if (!isOpen()) {
        setWearerError(error, QStringLiteral("no archive"));
        return false;
    }
    if (!beginWrite(error))
        return false;
    QString reason;
    const QList<ArchiveAssignment> all = assignments(&reason);
    const auto worn = std::find_if(all.cbegin(), all.cend(), [&](const ArchiveAssignment &a) {
        return a.serialNumber == serialNumber && a.worn();
    });
    if (!reason.isEmpty() || worn == all.cend() || !at.isValid() || at <= worn->from) {
        rollback();
        setWearerError(error,
                       !reason.isEmpty() ? reason
                       : worn == all.cend()
                           ? QStringLiteral("%1 is not worn").arg(serialNumber)
                           : QStringLiteral("a return comes after %1").arg(assignmentText(*worn)));
        return false;
    }
    return appendWearerEvent({QStringLiteral("return"), worn->wearer, nullText(), nullId(),
                              at.toSecsSinceEpoch(), worn->uid},
                             error);
}

bool Archive::wearerDose(const QString &wearer, const QDateTime &from, const QDateTime &to,
                         ArchiveWearerDose *dose, QString *error)
{
    *dose = ArchiveWearerDose();
    dose->from = from;
    dose->to = to;
    QString reason;
    const QList<ArchiveWearer> known = wearers(&reason);
    const auto found = std::find_if(known.cbegin(), known.cend(),
                                    [&](const ArchiveWearer &w) { return w.number == wearer; });
    if (!reason.isEmpty() || found == known.cend()) {
        setWearerError(error,
                       reason.isEmpty() ? QStringLiteral("no wearer %1").arg(wearer) : reason);
        return false;
    }
    dose->wearer = *found;
    const QList<ArchiveAssignment> all = assignments(&reason);
    if (!reason.isEmpty()) {
        setWearerError(error, reason);
        return false;
    }
    const qint64 start = from.toSecsSinceEpoch(), end = to.toSecsSinceEpoch();
    QStringList worn;
    for (const ArchiveAssignment &a : all) {
        if (a.wearer != wearer)
            continue;
        const qint64 partFrom = qMax(start, a.from.toSecsSinceEpoch());
        const qint64 partTo = qMin(end, secondsOr(a.to, endless));
        if (partFrom >= partTo)
            continue;
        ArchiveDosePart part;
        part.serialNumber = a.serialNumber;
        part.from = QDateTime::fromSecsSinceEpoch(partFrom);
        part.to = QDateTime::fromSecsSinceEpoch(partTo);
        part.overlapWearer = a.overlapWearer;
        part.overlapPc = a.overlapPc;
        // The sum of the increases from record to record; a fall starts a
        // new sum from the record after it. A dose that is no number is
        // passed over.
        bool any = false;
        float last = 0;
        const bool ok = hasPager(a.serialNumber, &reason)
                            ? forEachRecord(
                                  a.serialNumber, part.from, part.to,
                                  [&](const HistoryRecord &r) {
                                      ++part.records;
                                      part.flagged += r.flags ? 1 : 0;
                                      if (!std::isfinite(r.dose))
                                          return;
                                      if (any && r.dose < last)
                                          part.falls << ArchiveDoseFall{
                                              QDateTime::fromSecsSinceEpoch(r.time), last, r.dose};
                                      else if (any)
                                          part.dose += double(r.dose) - double(last);
                                      last = r.dose;
                                      any = true;
                                  },
                                  &reason)
                            : reason.isEmpty();
        if (!ok) {
            setWearerError(error, reason);
            return false;
        }
        dose->total += part.dose;
        dose->parts << part;
        if (!worn.contains(a.serialNumber))
            worn << a.serialNumber;
    }
    std::sort(dose->parts.begin(), dose->parts.end(),
              [](const ArchiveDosePart &x, const ArchiveDosePart &y) { return x.from < y.from; });
    // The records of the pagers worn that no assignment covers: the period
    // less every assignment of the pager, whoever wore it.
    for (const QString &serial : qAsConst(worn)) {
        QList<QPair<qint64, qint64>> taken;
        for (const ArchiveAssignment &a : all)
            if (a.serialNumber == serial)
                taken << qMakePair(a.from.toSecsSinceEpoch(), secondsOr(a.to, endless));
        std::sort(taken.begin(), taken.end());
        qint64 at = start;
        taken << qMakePair(end, end);
        for (const auto &t : qAsConst(taken)) {
            const qint64 gapEnd = qMin(end, t.first);
            if (at < gapEnd) {
                ArchiveUnassigned u{serial, QDateTime::fromSecsSinceEpoch(at),
                                    QDateTime::fromSecsSinceEpoch(gapEnd), 0};
                u.records = recordCount(serial, u.from, u.to, &reason);
                if (!reason.isEmpty()) {
                    setWearerError(error, reason);
                    return false;
                }
                if (u.records > 0)
                    dose->unassigned << u;
            }
            at = qMax(at, t.second);
            if (at >= end)
                break;
        }
    }
    return true;
}
