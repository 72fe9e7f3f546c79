#include "archivesql.h"

#include "serverdeadline.h"

#include <QFile>
#include <QHash>
#include <QMutex>
#include <QSqlDriver>
#include <QSqlError>

// The resource tree of a static library is registered by hand.
static void registerArchiveResources()
{
    Q_INIT_RESOURCE(archive);
}

namespace {

QStringList readStatements(const QString &engine, const QString &name)
{
    static const bool registered = (registerArchiveResources(), true);
    Q_UNUSED(registered)
    QFile file(QStringLiteral(":/archive/sql/%1/%2.sql").arg(engine, name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList statements;
    QString current;
    const QString text = QString::fromUtf8(file.readAll());
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1String("--")))
            continue;
        current += line + QLatin1Char('\n');
        if (trimmed.endsWith(QLatin1Char(';'))) {
            statements << current.trimmed();
            current.clear();
        }
    }
    if (!current.trimmed().isEmpty())
        statements << current.trimmed();
    return statements;
}

} // namespace

QStringList archiveStatements(const QString &engine, const QString &name)
{
    // Read once: an import runs the same statement for every record.
    static QMutex mutex;
    static QHash<QString, QStringList> cache;
    const QString key = engine + QLatin1Char('/') + name;
    const QMutexLocker lock(&mutex);
    auto found = cache.constFind(key);
    if (found == cache.cend())
        found = cache.insert(key, readStatements(engine, name));
    return *found;
}

QString archiveStatementForRows(const QString &engine, const QString &name, int rows)
{
    const QStringList statements = archiveStatements(engine, name);
    if (statements.size() != 1 || rows < 1)
        return QString();
    QStringList lines = statements.first().split(QLatin1Char('\n'));
    for (QString &line : lines) {
        if (line.trimmed().startsWith(QLatin1Char('('))) {
            // The row may end the statement.
            QString values = line.trimmed();
            const bool last = values.endsWith(QLatin1Char(';'));
            if (last)
                values.chop(1);
            QStringList repeated;
            for (int i = 0; i < rows; ++i)
                repeated << values;
            line = repeated.join(QStringLiteral(",\n")) + (last ? QStringLiteral(";") : QString());
            break;
        }
    }
    return lines.join(QLatin1Char('\n'));
}

bool runArchiveQuery(QSqlQuery &query, const QString &engine, const QString &name,
                     const QVariantList &values, QString *error)
{
    return runArchiveQueryOn(query, engine, name, QString(), values, error);
}

bool runArchiveQueryOn(QSqlQuery &query, const QString &engine, const QString &name,
                       const QString &table, const QVariantList &values, QString *error)
{
    QStringList statements = archiveStatements(engine, name);
    if (statements.size() != 1) {
        if (error)
            *error = QStringLiteral("no statement %1").arg(name);
        return false;
    }
    if (!table.isEmpty())
        statements.first().replace(QLatin1String("{table}"), table);
    // A server's connection cut at a time limit takes nothing more.
    if (!query.driver() || !query.driver()->isOpen()) {
        if (error)
            *error = QStringLiteral("the connection is closed");
        return false;
    }
    // On the server, preparing and running each have their time.
    const ServerDeadline deadline(query.driver());
    // A statement run again with new values is prepared once.
    if (query.lastQuery() != statements.first() && !query.prepare(statements.first())) {
        if (error)
            *error = deadline.reason(query.lastError().text());
        return false;
    }
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
    if (!query.exec()) {
        if (error)
            *error = deadline.reason(query.lastError().text());
        return false;
    }
    return true;
}

bool runArchiveScript(QSqlDatabase &db, const QString &engine, const QString &name, QString *error)
{
    const QStringList statements = archiveStatements(engine, name);
    if (statements.isEmpty()) {
        if (error)
            *error = QStringLiteral("no statement %1").arg(name);
        return false;
    }
    if (!db.isOpen()) {
        if (error)
            *error = QStringLiteral("the connection is closed");
        return false;
    }
    for (const QString &statement : statements) {
        QSqlQuery query(db);
        const ServerDeadline deadline(db);
        if (!query.exec(statement)) {
            if (error)
                *error = deadline.reason(query.lastError().text());
            return false;
        }
    }
    return true;
}

QVariant archiveInsertedId(QSqlQuery &query)
{
    if (query.isSelect())
        return query.next() ? query.value(0) : QVariant();
    return query.lastInsertId();
}
