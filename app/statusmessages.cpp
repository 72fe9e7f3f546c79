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
