// The archive's SQL statements, one resource file each under
// :/archive/sql/<engine>/<name>.sql, and running them with bound values.
// Nothing else in the program writes SQL text.
#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariantList>

// The statements of a file: comment lines dropped, split at each ';' that
// ends a line. Empty when the file is not there.
QStringList archiveStatements(const QString &engine, const QString &name);

// Prepares the single statement of file `name`, binds `values` in order and
// runs it. False, with the driver's reason in *error, when any step fails.
bool runArchiveQuery(QSqlQuery &query, const QString &engine, const QString &name,
                     const QVariantList &values, QString *error);

// The same for a statement that names its table as {table}: one of the
// archive's own tables, given by the program (never text from outside).
bool runArchiveQueryOn(QSqlQuery &query, const QString &engine, const QString &name,
                       const QString &table, const QVariantList &values, QString *error);

// The single statement of file `name` with its line of values (the line that
// starts with "(") repeated `rows` times, for inserting many rows at once.
QString archiveStatementForRows(const QString &engine, const QString &name, int rows);

// Runs every statement of file `name` in order (no values); false at the first
// failure, with the reason in *error.
bool runArchiveScript(QSqlDatabase &db, const QString &engine, const QString &name, QString *error);

// The row an INSERT made: PostgreSQL returns it (RETURNING id), SQLite tells
// it after.
QVariant archiveInsertedId(QSqlQuery &query);
