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

QString withDetail(const QString &text, const QString &detail)
{
    return detail.isEmpty() ? text : tr("%1 Подробно: %2").arg(text, detail);
}

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
            *why = withDetail(tr("Сервер лаборатории из DR7326G_SERVER не прочитан."), error);
            return false;
        }
        if (!server->isSet()) {
            *why = tr("Сервер лаборатории не задан: укажите его в «Архив → Сервер лаборатории…».");
            return false;
        }
    }
    // A password typed this session (a URI never carries one).
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

namespace {

// What a server refused: the first row named, the others counted, the
// server's reason as a detail.
QString refusedMessage(const QList<ArchiveSyncRefusal> &refused)
{
    const ArchiveSyncRefusal &first = refused.first();
    // A serial number as the archive holds it may be long or hold control
    // characters: the status bar shows a short, printable form.
    QString serial = first.serialNumber.left(32);
    for (QChar &c : serial)
        if (!c.isPrint())
            c = QLatin1Char('?');
    if (first.serialNumber.size() > serial.size())
        serial += QStringLiteral("…");
    const QString what = first.kind == QLatin1String("download") ? tr("загрузку № %1")
                         : first.kind == QLatin1String("parameter read")
                             ? tr("чтение параметров № %1")
                             : tr("изменение настроек № %1");
    const QString when =
        first.at.isValid() ? QStringLiteral(", ") +
                                 first.at.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm"))
                           : QString();
    QString text =
        tr("Сервер лаборатории не принял %1 (прибор %2%3)").arg(what.arg(first.id), serial, when);
    if (refused.size() > 1)
        text += tr(" и ещё %1 из архива этого ПК").arg(refused.size() - 1);
    return withDetail(text + tr(": это остаётся только в архиве этого ПК, каждая синхронизация "
                                "предлагает это снова."),
                      first.reason);
}

} // namespace

QString syncOutcomeMessage(const ArchiveSyncResult &result)
{
    if (!result.refused.isEmpty()) {
        ArchiveSyncResult rest = result;
        rest.refused.clear();
        const bool sent = rest.ok && !rest.nothingNew();
        return refusedMessage(result.refused) +
               (sent || !rest.ok ? QLatin1Char(' ') + syncOutcomeMessage(rest) : QString());
    }
    if (result.noRights)
        return withDetail(
            rightsRefusalMessage(result.roleNeeded == QLatin1String(serverrole::reviewers)
                                     ? tr("на подпись (подписи этого ПК не отправлены)")
                                     : tr("на запись (ничего не отправлено)"),
                                 result.roleNeeded),
            result.error);
    if (result.stalled)
        return withDetail(tr("Сервер лаборатории не ответил вовремя: синхронизация остановлена. "
                             "Всё сохранено в архиве этого ПК; то, что сервер уже принял, учтено, "
                             "остальное уйдёт при следующей синхронизации."),
                          result.error);
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
        if (result.wearerEvents)
            sent << russianCount(result.wearerEvents, tr("событие носителей"),
                                 tr("события носителей"), tr("событий носителей"));
        if (result.calibrations)
            sent << russianCount(result.calibrations, tr("поверка"), tr("поверки"), tr("поверок"));
        if (result.signatures)
            sent << russianCount(result.signatures, tr("подпись"), tr("подписи"), tr("подписей"));
        return tr("Синхронизация: на сервер лаборатории отправлено %1.")
            .arg(sent.join(QStringLiteral(", ")));
    }
    const QString kept = tr("Всё сохранено в архиве этого ПК и уйдёт на сервер при следующей "
                            "синхронизации.");
    switch (result.problem) {
    case Archive::Problem::NeedsPassword:
        return tr("Сервер лаборатории просит пароль: выберите «Архив → Синхронизировать», "
                  "чтобы ввести его.");
    case Archive::Problem::PasswordRefused:
        return tr("Сервер лаборатории не принял пароль: выберите «Архив → Синхронизировать», "
                  "чтобы ввести его снова.");
    case Archive::Problem::None:
        break;
    default: {
        const QString why = serverProblemMessage(result.problem, QString());
        return withDetail(why + QLatin1Char(' ') + kept, result.detail);
    }
    }
    if (!result.connected)
        return withDetail(tr("Синхронизация не выполнена: архив этого ПК не открыт."),
                          result.error);
    return withDetail(tr("Синхронизация с сервером лаборатории не закончена. %1").arg(kept),
                      result.error);
}

QString rightsRefusalMessage(const QString &what, const QString &role)
{
    return tr("Сервер лаборатории отказал: у этого пользователя нет прав %1. Нужна роль %2; её "
              "даёт владелец базы данных.")
        .arg(what, role);
}

QString serverProblemMessage(Archive::Problem problem, const QString &detail)
{
    QString text;
    switch (problem) {
    case Archive::Problem::Unreachable:
        text = tr("Сервер лаборатории недоступен.");
        break;
    case Archive::Problem::NeedsPassword:
        text = tr("Сервер лаборатории просит пароль, а он не введён.");
        break;
    case Archive::Problem::PasswordRefused:
        text = tr("Сервер лаборатории не принял пароль.");
        break;
    case Archive::Problem::Newer:
        text = tr("Архив на сервере лаборатории создан более новой версией программы; он не "
                  "изменён.");
        break;
    case Archive::Problem::Foreign:
        text = tr("База данных на сервере лаборатории — другой программы; она не изменена.");
        break;
    case Archive::Problem::Damaged:
        text = tr("База данных на сервере лаборатории не читается как архив; она не изменена.");
        break;
    case Archive::Problem::NoDriver:
        text = tr("Нет драйвера PostgreSQL (libqt5sql5-psql).");
        break;
    // The archive of this PC, which a sync also writes (how far it got).
    case Archive::Problem::NotWritable:
        text = tr("Архив этого ПК нельзя записать здесь; он не изменён.");
        break;
    case Archive::Problem::NoSpace:
        text = tr("Для архива этого ПК нет места на диске (или превышен предел размера файла); "
                  "он не изменён.");
        break;
    case Archive::Problem::NoRights:
        text = tr("Сервер лаборатории отказал: у этого пользователя нет прав обновить архив на "
                  "сервере до этой версии программы; это делает владелец базы данных "
                  "(dr7326g-cli archive server-setup).");
        break;
    case Archive::Problem::CannotOpen:
    case Archive::Problem::None:
        text = tr("Архив сервера лаборатории не открыт.");
        break;
    }
    return withDetail(text, detail);
}

ServerCheck checkServer(const ArchiveServer &server)
{
    ServerCheck check;
    Archive tried;
    QString error;
    check.reached = tried.openServer(server, &error);
    check.problem = tried.openProblem();
    // The server's words when it said any; else the archive's reason.
    check.detail = check.reached                  ? QString()
                   : tried.openDetail().isEmpty() ? error
                                                  : tried.openDetail();
    return check;
}

QString serverCheckMessage(const ServerCheck &check)
{
    if (check.reached)
        return tr("Соединение установлено: на сервере архив этой программы.");
    switch (check.problem) {
    case Archive::Problem::NeedsPassword:
        return tr("Сервер отвечает и просит пароль: его возьмут из ~/.pgpass или PGPASSWORD, "
                  "а иначе программа спросит его при синхронизации.");
    case Archive::Problem::PasswordRefused:
        return withDetail(tr("Сервер отвечает, но не принял пароль."), check.detail);
    case Archive::Problem::Newer:
        return tr("Сервер отвечает, но архив на нём создан более новой версией программы; он не "
                  "изменён.");
    case Archive::Problem::Foreign:
        return tr("Сервер отвечает, но его база данных — другой программы; она не изменена.");
    default:
        return serverProblemMessage(check.problem, check.detail);
    }
}
