#include "statusmessages.h"

#include <QCoreApplication>
#include <QDir>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

} // namespace

QString russianCount(qint64 n, const QString &one, const QString &few, const QString &many)
{
    const qint64 lastTwo = (n < 0 ? -n : n) % 100;
    const qint64 last = lastTwo % 10;
    const QString &form = lastTwo >= 11 && lastTwo <= 14 ? many
                          : last == 1                    ? one
                          : last >= 2 && last <= 4       ? few
                                                         : many;
    return QStringLiteral("%1 %2").arg(n).arg(form);
}

QString russianDuration(qint64 milliseconds)
{
    milliseconds = qMax<qint64>(0, milliseconds);
    // Under a second in tenths, at least one: a download is never "0 с".
    if (milliseconds < 950)
        return tr("0,%1 с").arg(qMax<qint64>(1, (milliseconds + 50) / 100));
    const qint64 seconds = qMax<qint64>(1, milliseconds / 1000);
    const qint64 h = seconds / 3600;
    const qint64 m = seconds / 60 % 60;
    const qint64 s = seconds % 60;
    if (h > 0)
        return tr("%1 ч %2 мин").arg(h).arg(m);
    if (m > 0)
        return tr("%1 мин %2 с").arg(m).arg(s);
    return tr("%1 с").arg(s);
}

QString noPagerMessage(const usbx::LibraryProblem &problem)
{
    const QString library = QDir::toNativeSeparators(QString::fromStdString(problem.library));
    switch (problem.kind) {
    case usbx::LibraryProblem::Kind::NotLoaded:
        return tr("Библиотека USB %1 не загружена (код ошибки Windows %2): нужна %3-битная "
                  "SiUSBXp.dll рядом с программой или в системном пути.")
            .arg(library)
            .arg(problem.systemError)
            .arg(QT_POINTER_SIZE * 8);
    case usbx::LibraryProblem::Kind::MissingEntryPoint:
        return tr("Библиотека USB %1 не подходит: в ней нет функции %2.")
            .arg(library, QString::fromStdString(problem.entryPoint));
    case usbx::LibraryProblem::Kind::None:
        break;
    }
    return tr("Прибор не ответил. Проверьте, что он включён и подключён к USB.");
}

QString openProblemMessage(const usbx::OpenProblem &problem)
{
    const QString where = QString::fromStdString(problem.device);
    switch (problem.kind) {
    case usbx::OpenProblem::Kind::AccessDenied:
        return tr("Прибор найден на USB (%1), но нет прав открыть его. Нужно правило "
                  "/usr/lib/udev/rules.d/70-dr7326g.rules (его ставит пакет): выполните "
                  "«sudo udevadm trigger» и переподключите прибор.")
            .arg(where);
    case usbx::OpenProblem::Kind::DriverBound:
        return tr("Прибор найден на USB (%1), но его держит драйвер ядра. Переподключите "
                  "прибор или выгрузите драйвер: «sudo modprobe -r cp210x».")
            .arg(where);
    case usbx::OpenProblem::Kind::Busy:
        return tr("Прибор найден на USB (%1), но занят другой программой. Закройте её и "
                  "повторите.")
            .arg(where);
    case usbx::OpenProblem::Kind::Other:
        break;
    }
    return tr("Прибор найден на USB (%1), но не открывается (%2). Переподключите прибор.")
        .arg(where, QString::fromStdString(problem.detail));
}

QString historyDownloadMessage(DownloadEnd end, qint64 records, qint64 pages, qint64 milliseconds)
{
    // Pages as "стр.": the line has room for the widest counts only so.
    const QString counts =
        tr("%1, %2 стр. за %3")
            .arg(russianCount(records, tr("запись"), tr("записи"), tr("записей")))
            .arg(pages)
            .arg(russianDuration(milliseconds));
    switch (end) {
    case DownloadEnd::Complete:
        return tr("История прочитана: %1.").arg(counts);
    case DownloadEnd::Stopped:
        return tr("Чтение истории остановлено: %1.").arg(counts);
    case DownloadEnd::Incomplete:
        break;
    }
    return tr("История прочитана не полностью: %1.").arg(counts);
}

QString clockSetMessage(PagerLink::ClockSetOutcome outcome, const QDateTime &sent)
{
    const QString format = QStringLiteral("dd.MM.yyyy HH:mm");
    switch (outcome) {
    case PagerLink::ClockSetOutcome::Confirmed:
        return tr("Часы прибора установлены: %1.").arg(sent.toString(format));
    case PagerLink::ClockSetOutcome::NotConfirmed:
        return tr("Прибор не подтвердил установку часов.");
    case PagerLink::ClockSetOutcome::OutOfRange:
        break;
    }
    return tr("Часы не установлены: часы прибора хранят %1 – %2.")
        .arg(deviceEpoch().toString(QStringLiteral("dd.MM.yyyy")),
             deviceClockLast().toString(format));
}

namespace {

QString earlierArchiveRefusal(const EarlierFiles &earlier)
{
    const bool earlierOne = earlier.refusal == EarlierFiles::Refusal::EarlierUnusable;
    const QString file =
        QDir::toNativeSeparators(earlierOne ? earlier.earlierArchive : earlier.currentArchive);
    switch (earlier.refusal) {
    case EarlierFiles::Refusal::InUse:
        return tr("прежний архив открыт другой программой — закройте её и перезапустите "
                  "программу");
    case EarlierFiles::Refusal::EarlierUnusable:
    case EarlierFiles::Refusal::CurrentUnusable:
        switch (earlier.archiveProblem) {
        case Archive::Problem::Damaged:
            return tr("%1 повреждён или это не архив программы").arg(file);
        case Archive::Problem::Foreign:
            return tr("%1 — база данных другой программы").arg(file);
        case Archive::Problem::Newer:
            return tr("%1 создан более новой версией программы").arg(file);
        case Archive::Problem::NoDriver:
            return tr("нет драйвера SQLite (libqt5sql5-sqlite)");
        default:
            return tr("%1 не открывается для записи").arg(file);
        }
    case EarlierFiles::Refusal::NotWritten:
    case EarlierFiles::Refusal::None:
        break;
    }
    return tr("запись не удалась (%1)").arg(earlier.error);
}

} // namespace

QString earlierFilesMessage(const EarlierFiles &earlier)
{
    const auto shown = [](const QString &file) { return QDir::toNativeSeparators(file); };
    QStringList parts;
    switch (earlier.archive) {
    case EarlierFiles::Done::Nothing:
        break;
    case EarlierFiles::Done::Moved:
        parts << tr("Архив прежней версии перенесён в %1.").arg(shown(earlier.currentArchive));
        break;
    case EarlierFiles::Done::Merged: {
        const ArchiveSyncResult &m = earlier.merged;
        QStringList added;
        if (m.downloads)
            added << russianCount(m.downloads, tr("загрузка"), tr("загрузки"), tr("загрузок"));
        if (m.records)
            added << russianCount(m.records, tr("запись"), tr("записи"), tr("записей"));
        if (m.reads)
            added << russianCount(m.reads, tr("чтение параметров"), tr("чтения параметров"),
                                  tr("чтений параметров"));
        if (m.changes)
            added << russianCount(m.changes, tr("изменение настроек"), tr("изменения настроек"),
                                  tr("изменений настроек"));
        parts << tr("Архив прежней версии объединён с архивом %1 (%2); прежний файл сохранён "
                    "как %3.")
                     .arg(shown(earlier.currentArchive),
                          added.isEmpty()
                              ? tr("нового в нём не было")
                              : tr("добавлено: %1").arg(added.join(QStringLiteral(", "))),
                          shown(earlier.archiveAside));
        break;
    }
    case EarlierFiles::Done::Failed:
        parts << tr("Архив прежней версии %1 не перенесён в %2: %3. Оба файла оставлены как были; "
                    "программа попробует снова при следующем запуске.")
                     .arg(shown(earlier.earlierArchive), shown(earlier.currentArchive),
                          earlierArchiveRefusal(earlier));
        break;
    }
    switch (earlier.settings) {
    case EarlierFiles::Done::Nothing:
        break;
    case EarlierFiles::Done::Moved:
        parts
            << tr("Настройки прежней версии перенесены в %1.").arg(shown(earlier.currentSettings));
        break;
    case EarlierFiles::Done::Merged:
        parts << tr("Настройки прежней версии добавлены в %1; прежний файл сохранён как %2.")
                     .arg(shown(earlier.currentSettings), shown(earlier.settingsAside));
        break;
    case EarlierFiles::Done::Failed:
        parts << tr("Настройки прежней версии (%1) не перенесены: %2.")
                     .arg(shown(earlier.earlierSettings), earlier.settingsError);
        break;
    }
    return parts.join(QLatin1Char(' '));
}
