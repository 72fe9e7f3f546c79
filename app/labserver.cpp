#include "labserver.h"

#include "statusmessages.h"

#include <QCoreApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QSettings>
#include <QStringList>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

const QString hostKey = QStringLiteral("server/host");
const QString portKey = QStringLiteral("server/port");
const QString databaseKey = QStringLiteral("server/database");
const QString userKey = QStringLiteral("server/user");
const QString sslModeKey = QStringLiteral("server/sslmode");

} // namespace

bool namesServer(const ArchiveServer &server)
{
    return !server.host.isEmpty() || !server.database.isEmpty();
}

ArchiveServer loadServerSettings(const QSettings &settings, bool *stored)
{
    ArchiveServer server;
    *stored = settings.contains(hostKey) || settings.contains(databaseKey);
    server.host = settings.value(hostKey).toString();
    server.port = settings.value(portKey, 0).toInt();
    server.database = settings.value(databaseKey).toString();
    server.user = settings.value(userKey).toString();
    server.sslMode = settings.value(sslModeKey).toString();
    server.configured = namesServer(server);
    return server;
}

void saveServerSettings(QSettings &settings, const ArchiveServer &server)
{
    settings.remove(QStringLiteral("server"));
    const bool named = namesServer(server);
    settings.setValue(hostKey, server.host);
    settings.setValue(databaseKey, server.database);
    if (!named)
        return;
    settings.setValue(portKey, server.port);
    settings.setValue(userKey, server.user);
    settings.setValue(sslModeKey, server.sslMode);
}

bool LabServer::current(ArchiveServer *server, QString *why) const
{
    bool stored = false;
    *server = loadServerSettings(QSettings(), &stored);
    if (stored && !namesServer(*server)) {
        *why = tr("Сервер лаборатории не задан: укажите его в «Архив → Сервер лаборатории…».");
        return false;
    }
    if (!stored) {
        QString error;
        if (ArchiveServer::uriHoldsPassword(qEnvironmentVariable("DR7326G_SERVER"))) {
            *why = tr("Сервер лаборатории из DR7326G_SERVER не используется: в адресе пароль, "
                      "его видят все пользователи ПК. Уберите пароль из адреса и укажите его в "
                      "~/.pgpass или PGPASSWORD.");
            return false;
        }
        if (!ArchiveServer::fromEnvironment(server, &error)) {
            *why = tr("Сервер лаборатории из DR7326G_SERVER не прочитан: %1.").arg(error);
            return false;
        }
        if (!server->isSet()) {
            *why = tr("Сервер лаборатории не задан: укажите его в «Архив → Сервер лаборатории…».");
            return false;
        }
    }
    // A password typed this session goes before one the environment's URI held.
    if (!password.isEmpty())
        server->password = password;
    return true;
}

bool LabServer::askPassword(QWidget *parent, const ArchiveServer &server)
{
    bool ok = false;
    const QString user = server.user.isEmpty() ? qEnvironmentVariable("PGUSER") : server.user;
    const QString typed = QInputDialog::getText(
        parent, tr("Пароль сервера лаборатории"),
        tr("Сервер лаборатории %1 просит пароль%2.\nПароль не сохраняется: программа помнит его "
           "до закрытия окна.")
            .arg(server.uri(), user.isEmpty() ? QString() : tr(" пользователя %1").arg(user)),
        QLineEdit::Password, QString(), &ok);
    if (!ok || typed.isEmpty())
        return false;
    password = typed;
    return true;
}

QString syncOutcomeMessage(const ArchiveSyncResult &result)
{
    if (result.nothingNew())
        return tr("Синхронизация: на сервере лаборатории уже есть всё из архива этого ПК.");
    if (result.ok) {
        QStringList sent;
        if (result.downloads)
            sent << russianCount(result.downloads, tr("загрузка"), tr("загрузки"), tr("загрузок"));
        if (result.records)
            sent << russianCount(result.records, tr("запись"), tr("записи"), tr("записей"));
        if (result.reads)
            sent << russianCount(result.reads, tr("чтение параметров"), tr("чтения параметров"),
                                 tr("чтений параметров"));
        if (result.changes)
            sent << russianCount(result.changes, tr("изменение настроек"), tr("изменения настроек"),
                                 tr("изменений настроек"));
        return tr("Синхронизация: на сервер лаборатории отправлено %1.")
            .arg(sent.join(QStringLiteral(", ")));
    }
    if (result.needsPassword)
        return tr("Сервер лаборатории просит пароль: выберите «Архив → Синхронизировать», "
                  "чтобы ввести его.");
    if (result.unreachable)
        return tr("Сервер лаборатории недоступен (%1). Всё сохранено в архиве этого ПК и уйдёт "
                  "на сервер при следующей синхронизации.")
            .arg(result.error);
    return tr("Синхронизация с сервером лаборатории не удалась: %1.").arg(result.error);
}
