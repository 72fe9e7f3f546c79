// The lab server's URI: read, checked and written back.
#include "archiveserver.h"

#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>
#include <cstring>

namespace {

// The libpq parameters a URI may carry besides host, port, dbname, user,
// password and sslmode.
const QStringList &knownOptions()
{
    static const QStringList names{QStringLiteral("connect_timeout"),
                                   QStringLiteral("application_name"),
                                   QStringLiteral("sslrootcert"),
                                   QStringLiteral("sslcert"),
                                   QStringLiteral("sslkey"),
                                   QStringLiteral("sslcrl"),
                                   QStringLiteral("sslcompression"),
                                   QStringLiteral("gssencmode"),
                                   QStringLiteral("target_session_attrs"),
                                   QStringLiteral("keepalives"),
                                   QStringLiteral("keepalives_idle"),
                                   QStringLiteral("passfile"),
                                   QStringLiteral("hostaddr"),
                                   QStringLiteral("options")};
    return names;
}

const QStringList &sslModes()
{
    static const QStringList modes{QStringLiteral("disable"),   QStringLiteral("allow"),
                                   QStringLiteral("prefer"),    QStringLiteral("require"),
                                   QStringLiteral("verify-ca"), QStringLiteral("verify-full")};
    return modes;
}

// Qt hands the options to libpq as "key=value" words: a value with a space,
// quote or backslash would be read as something else.
bool safeOptionValue(const QString &value)
{
    static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9._/:@%+,~-]+$"));
    return safe.match(value).hasMatch();
}

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

// The URI's parts, without checking that uri() gives them back.
static bool readUri(const QString &text, ArchiveServer *server, QString *error)
{
    ArchiveServer s;
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid() ||
        (url.scheme() != QLatin1String("postgresql") && url.scheme() != QLatin1String("postgres")))
        return fail(error, QStringLiteral("not a server URI (postgresql://user@host:5432/"
                                          "database): %1")
                               .arg(url.isValid() ? url.toString(QUrl::RemovePassword)
                                                  : QStringLiteral("unreadable")));
    s.host = url.host(QUrl::FullyDecoded);
    s.port = url.port(0);
    s.user = url.userName(QUrl::FullyDecoded);
    // A libpq URI names its database after "//authority/"; "postgresql:db"
    // has no such path and would lose the name's first letter.
    const QString path = url.path(QUrl::FullyDecoded);
    if (!path.isEmpty() && !path.startsWith(QLatin1Char('/')))
        return fail(error, QStringLiteral("not a server URI (postgresql://user@host:5432/"
                                          "database): no // before the server"));
    s.database = path.mid(1);
    if (ArchiveServer::uriHoldsPassword(text))
        return fail(error,
                    QStringLiteral("the server URI holds a password, which every user of this PC "
                                   "can read (ps -ef): take it out and put it in ~/.pgpass "
                                   "(host:port:database:user:password, mode 600) or in "
                                   "PGPASSWORD"));
    if (s.database.contains(QLatin1Char('/')))
        return fail(error, QStringLiteral("the database name has a '/': %1").arg(s.database));
    for (const auto &item : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        const QString &key = item.first;
        const QString &value = item.second;
        if (key == QLatin1String("host"))
            s.host = value;
        else if (key == QLatin1String("port"))
            s.port = value.toInt();
        else if (key == QLatin1String("dbname"))
            s.database = value;
        else if (key == QLatin1String("user"))
            s.user = value;
        else if (key == QLatin1String("password"))
            continue; // empty: one with a value was refused above
        else if (key == QLatin1String("sslmode"))
            s.sslMode = value;
        else if (knownOptions().contains(key))
            s.options << qMakePair(key, value);
        else
            return fail(error, QStringLiteral("unknown parameter in the server URI: %1").arg(key));
    }
    // A host name the URI can carry back (a socket folder goes to the query).
    if (!s.host.isEmpty() && !s.host.startsWith(QLatin1Char('/'))) {
        QUrl check;
        check.setHost(s.host, QUrl::DecodedMode);
        if (!check.isValid() || check.host(QUrl::FullyDecoded) != s.host)
            return fail(error, QStringLiteral("not a host name in the server URI: %1").arg(s.host));
    }
    if (s.port < 0 || s.port > 65535 || (url.port(0) == 0 && url.authority().endsWith(':')))
        return fail(error, QStringLiteral("not a port number in the server URI"));
    QString reason;
    serverConnectOptions(s, &reason);
    if (!reason.isEmpty())
        return fail(error, reason);
    s.configured = true;
    *server = s;
    return true;
}

bool ArchiveServer::parse(const QString &text, ArchiveServer *server, QString *error)
{
    ArchiveServer s, again;
    if (!readUri(text, &s, error))
        return false;
    // What the program keeps and shows is uri(): it must name this very
    // server (a user or database name with characters QUrl cannot carry
    // back, such as U+FFFF, would name another).
    if (!readUri(s.uri(), &again, nullptr) || again.host != s.host || again.port != s.port ||
        again.database != s.database || again.user != s.user || again.sslMode != s.sslMode ||
        again.options != s.options)
        return fail(error, QStringLiteral("the server URI has parts it cannot carry back "
                                          "(user, host or database name): %1")
                               .arg(s.uri()));
    *server = s;
    return true;
}

bool ArchiveServer::uriHoldsPassword(const QString &text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.password(QUrl::FullyDecoded).isEmpty())
        return true;
    for (const auto &item : QUrlQuery(url).queryItems(QUrl::FullyDecoded))
        if (item.first == QLatin1String("password") && !item.second.isEmpty())
            return true;
    return false;
}

bool ArchiveServer::fromEnvironment(ArchiveServer *server, QString *error)
{
    *server = ArchiveServer();
    const QString named = qEnvironmentVariable("DR7326G_SERVER").trimmed();
    if (named.isEmpty())
        return true;
    if (!parse(named, server, error)) {
        if (error)
            *error = QStringLiteral("DR7326G_SERVER: %1").arg(*error);
        return false;
    }
    return true;
}

QString ArchiveServer::uri() const
{
    if (!configured)
        return QString();
    QUrl url;
    url.setScheme(QStringLiteral("postgresql"));
    // A socket folder is no host name for QUrl, and without a host name QUrl
    // keeps no user or port: those go to the query then.
    const bool inAuthority = !host.isEmpty() && !host.startsWith(QLatin1Char('/'));
    QUrlQuery query;
    if (inAuthority) {
        url.setHost(host);
        if (port > 0)
            url.setPort(port);
        url.setUserName(user);
    } else {
        if (!host.isEmpty())
            query.addQueryItem(QStringLiteral("host"), host);
        if (port > 0)
            query.addQueryItem(QStringLiteral("port"), QString::number(port));
        if (!user.isEmpty())
            query.addQueryItem(QStringLiteral("user"), user);
    }
    url.setPath(QLatin1Char('/') + database);
    if (!sslMode.isEmpty())
        query.addQueryItem(QStringLiteral("sslmode"), sslMode);
    for (const auto &option : options)
        query.addQueryItem(option.first, option.second);
    url.setQuery(query);
    QString text = url.toString(QUrl::FullyEncoded);
    // QUrl leaves "postgresql:/db" without an authority.
    if (!text.startsWith(QLatin1String("postgresql://")))
        text.replace(0, int(std::strlen("postgresql:")), QStringLiteral("postgresql://"));
    return text;
}

QStringList serverConnectOptions(const ArchiveServer &server, QString *reason)
{
    QStringList options;
    if (!server.sslMode.isEmpty()) {
        if (!sslModes().contains(server.sslMode)) {
            fail(reason, QStringLiteral("unknown TLS mode (sslmode): %1").arg(server.sslMode));
            return {};
        }
        options << QStringLiteral("sslmode=") + server.sslMode;
    }
    for (const auto &option : server.options) {
        if (!knownOptions().contains(option.first) || !safeOptionValue(option.second)) {
            fail(reason, QStringLiteral("the server URI's %1 has characters it cannot carry: %2")
                             .arg(option.first, option.second));
            return {};
        }
        options << option.first + QLatin1Char('=') + option.second;
    }
    // An unreachable server is told within seconds, not after minutes, and a
    // connection whose server went away is given up within seconds too.
    for (const char *fallback : {"connect_timeout=5", "tcp_user_timeout=15000"}) {
        const QString option = QString::fromLatin1(fallback);
        const QString key = option.section(QLatin1Char('='), 0, 0);
        const bool given = std::any_of(server.options.cbegin(), server.options.cend(),
                                       [&](const auto &o) { return o.first == key; });
        if (!given)
            options << option;
    }
    return options;
}
