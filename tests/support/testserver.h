// A throwaway PostgreSQL server for the tests that need one. The test command
// runs the suite under pg_virtualenv, which makes a temporary cluster and sets
// PGHOST, PGPORT, PGUSER and PGPASSWORD; libpq takes them as its defaults.
//
// Without PGHOST there is no server: a test program made with
// DR7326G_SERVER_TEST_MAIN then says so and exits 77, which CTest reports as
// skipped (dr7326g_add_test(... SERVER)), never as passed. A test that needs a
// server only in some cases calls QSKIP itself.
#pragma once

#include "archiveserver.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>

#include <cstdio>

inline bool testServerAvailable()
{
    return !qEnvironmentVariableIsEmpty("PGHOST");
}

// Runs SQL text of the test's own (never a value from a pager) on `database`
// of the test server; false with the reason in *error. *value: the first
// column of the first row, when asked for.
inline bool runOnTestServer(const QString &database, const QString &sql, QString *error = nullptr,
                            QString *value = nullptr)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), "test-admin");
        db.setDatabaseName(database);
        ok = db.open();
        QSqlQuery query(db);
        // No notice ("does not exist, skipping") among the test's output.
        ok = ok && query.exec(QStringLiteral("SET client_min_messages = warning")) &&
             query.exec(sql);
        if (!ok && error)
            *error = db.lastError().text() + QLatin1Char(' ') + query.lastError().text();
        if (ok && value)
            *value = query.next() ? query.value(0).toString() : QString();
    }
    QSqlDatabase::removeDatabase("test-admin");
    return ok;
}

// The first value `sql` gives on `database` (for checks).
inline QString testServerValue(const QString &database, const QString &sql)
{
    QString value, error;
    return runOnTestServer(database, sql, &error, &value) ? value
                                                          : QStringLiteral("error: ") + error;
}

// Makes the database `name` anew (dropped first when it is there) and gives
// the server URI naming it; an unset server when it could not be made.
inline ArchiveServer freshTestDatabase(const QString &name, QString *error = nullptr)
{
    ArchiveServer server;
    if (!runOnTestServer(QStringLiteral("postgres"),
                         QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name),
                         error) ||
        !runOnTestServer(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE %1").arg(name),
                         error))
        return server;
    ArchiveServer::parse(QStringLiteral("postgresql:///") + name, &server, error);
    return server;
}

// The engine an archive test runs on: $DR7326G_TEST_ENGINE, "sqlite" by default.
inline bool testOnServer()
{
    return qEnvironmentVariable("DR7326G_TEST_ENGINE") == QLatin1String("postgresql");
}

// The main of a test program that needs the server throughout (`always`), or
// when its engine is the server's.
#define DR7326G_SERVER_TEST_MAIN(TestObject, always)                                               \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        QCoreApplication app(argc, argv);                                                          \
        if ((always || testOnServer()) && !testServerAvailable()) {                                \
            std::fprintf(stderr, "SKIPPED: no PostgreSQL server (PGHOST is not set; the test "     \
                                 "command runs the tests under pg_virtualenv)\n");                 \
            return 77;                                                                             \
        }                                                                                          \
        TestObject test;                                                                           \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
