// Review and sign-off of downloads (review.h), and the rights a server
// gives its users.
#include "archive.h"
#include "archivesql.h"

#include <QSqlQuery>
#include <QUuid>

#include <algorithm>

namespace {

void setReviewError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

QDateTime secondsTime(const QVariant &seconds)
{
    return seconds.isNull() ? QDateTime() : QDateTime::fromSecsSinceEpoch(seconds.toLongLong());
}

bool hasControl(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.category() == QChar::Other_Control && c != QLatin1Char('\n');
    });
}

} // namespace

QList<ArchiveReview> Archive::pendingReviews(QString *error)
{
    QList<ArchiveReview> list;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!isOpen() ||
        !runArchiveQuery(query, engine, QStringLiteral("select_pending_reviews"), {}, error))
        return list;
    while (query.next()) {
        ArchiveReview r;
        r.downloadId = query.value(0).toLongLong();
        r.serialNumber = query.value(1).toString();
        r.downloadedAt = secondsTime(query.value(2));
        r.reasons = query.value(3).toUInt();
        list << r;
    }
    return list;
}

bool Archive::signDownload(qint64 downloadId, SignatureMeaning meaning, const QString &note,
                           const QString &givenSigner, const QDateTime &at, QString *error)
{
    if (!isOpen()) {
        setReviewError(error, QStringLiteral("no archive"));
        return false;
    }
    const QString signer =
        givenSigner.trimmed().isEmpty() ? operatingSystemUser() : givenSigner.trimmed();
    if (signer.size() > 200 || hasControl(signer)) {
        setReviewError(error, QStringLiteral("not a signer's name: at most 200 characters, no "
                                             "control character"));
        return false;
    }
    if (note.size() > 2000 || hasControl(note)) {
        setReviewError(error, QStringLiteral("the note is longer than 2000 characters or holds "
                                             "a control character"));
        return false;
    }
    if (meaning != SignatureMeaning::Accepted && note.trimmed().isEmpty()) {
        setReviewError(
            error, QStringLiteral("%1 needs a note saying why").arg(signatureMeaningName(meaning)));
        return false;
    }
    if (!beginWrite(error))
        return false;
    QSqlQuery query(db);
    if (!runArchiveQuery(query, engine, QStringLiteral("select_download_identity"), {downloadId},
                         error)) {
        rollback();
        return false;
    }
    if (!query.next()) {
        rollback();
        setReviewError(error, QStringLiteral("no download %1 in the archive").arg(downloadId));
        return false;
    }
    const QVariant pager = query.value(0), digest = query.value(1);
    query.finish();
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    if (runArchiveQuery(query, engine, QStringLiteral("insert_signature"),
                        {QUuid::createUuid().toString(QUuid::WithoutBraces), pager, digest, signer,
                         at.isValid() ? at.toSecsSinceEpoch() : now,
                         // An empty note is "", never NULL (the column refuses it).
                         signatureMeaningName(meaning), QStringLiteral("") + note.trimmed(), now,
                         operatingSystemUser(), archivePcName()},
                        error) &&
        linkEvent(ChainedEvent::Signature, archiveInsertedId(query), error) && commit(error))
        return true;
    rollback();
    return false;
}

QList<ArchiveReview> Archive::periodReviews(const QString &serialNumber, const QDateTime &from,
                                            const QDateTime &to, QString *error)
{
    QList<ArchiveReview> list;
    const qint64 pager = isOpen() ? pagerId(serialNumber, false, error) : 0;
    if (!pager)
        return list;
    QSqlQuery query(db), signatures(db);
    if (!runArchiveQuery(query, engine, QStringLiteral("select_period_downloads"),
                         {pager, from.toSecsSinceEpoch(), to.toSecsSinceEpoch()}, error))
        return list;
    while (query.next()) {
        ArchiveReview r;
        r.downloadId = query.value(0).toLongLong();
        r.serialNumber = query.value(1).toString();
        r.downloadedAt = secondsTime(query.value(2));
        r.reasons = query.value(3).toUInt();
        list << r;
    }
    query.finish();
    for (ArchiveReview &r : list) {
        if (!runArchiveQuery(query, engine, QStringLiteral("select_download_identity"),
                             {r.downloadId}, error) ||
            !query.next())
            return {};
        const QVariant digest = query.value(1);
        query.finish();
        if (!runArchiveQuery(signatures, engine, QStringLiteral("select_download_signatures"),
                             {pager, digest}, error))
            return {};
        while (signatures.next()) {
            ArchiveSignature s;
            s.uid = signatures.value(0).toString();
            s.serialNumber = r.serialNumber;
            s.digest = digest.toString();
            s.signer = signatures.value(1).toString();
            s.signedAt = secondsTime(signatures.value(2));
            signatureMeaningFromName(signatures.value(3).toString(), &s.meaning);
            s.note = signatures.value(4).toString();
            s.pc = signatures.value(5).toString();
            r.signatures << s;
        }
        signatures.finish();
    }
    return list;
}

bool Archive::downloadSpan(qint64 downloadId, QDateTime *first, QDateTime *last, QString *error)
{
    QSqlQuery query(db);
    if (!isOpen() ||
        !runArchiveQuery(query, engine, QStringLiteral("select_download_span"), {downloadId},
                         error) ||
        !query.next())
        return false;
    *first = secondsTime(query.value(0));
    *last = secondsTime(query.value(1));
    return true;
}

bool Archive::fillReviewReasons(QString *error)
{
    QList<QPair<qint64, unsigned>> reasons;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!runArchiveQuery(query, engine, QStringLiteral("select_review_facts"), {}, error))
        return false;
    while (query.next()) {
        DownloadFacts facts;
        facts.overdue = query.value(1).toBool();
        facts.alarms = query.value(2).toLongLong();
        facts.thresholds = query.value(3).toLongLong();
        facts.flagged = query.value(4).toLongLong();
        if (const unsigned r = reviewReasons(facts))
            reasons.append({query.value(0).toLongLong(), r});
    }
    query.finish();
    for (const auto &[id, r] : qAsConst(reasons))
        if (!runArchiveQuery(query, engine, QStringLiteral("update_download_review"), {r, id},
                             error))
            return false;
    return true;
}

bool Archive::rights(Rights *rights, QString *error)
{
    *rights = Rights();
    if (!isServer())
        return isOpen();
    QSqlQuery query(db);
    if (!runArchiveQuery(query, engine, QStringLiteral("select_rights"), {}, error) ||
        !query.next())
        return false;
    rights->store = query.value(0).toBool();
    rights->sign = query.value(1).toBool();
    return true;
}

bool Archive::setUpServerRoles(QString *error)
{
    if (!isServer()) {
        setReviewError(error, QStringLiteral("roles are the lab server's; give --server URI"));
        return false;
    }
    if (!beginWrite(error))
        return false;
    if (runArchiveScript(db, engine, QStringLiteral("roles"), error) && commit(error))
        return true;
    rollback();
    return false;
}
