#include "historytable.h"

#include <QColor>
#include <QDateTime>
#include <QLocale>

#include <ctime>
#include <limits>

namespace {

constexpr int eventColumn = 1;

// The text of a column other than the date.
QString valueText(const HistoryRecord &record, int column)
{
    switch (column) {
    case eventColumn:
        return eventText(record.eventCode);
    case 2:
        return QString::number(record.gammaCps);
    // As "%1".arg(value, 0, format, 2) writes them, without parsing a
    // pattern each time.
    case 3:
        return QString::number(double(record.neutronCps), 'f', 2);
    case 4:
        return QString::number(double(record.doseRate), 'e', 2);
    case 5:
        return QString::number(double(record.dose), 'e', 2);
    }
    return QString();
}

QStringList rowTexts(const HistoryRecord &record, const QString &date)
{
    QStringList texts{date};
    for (int c = 1; c < 6; ++c)
        texts << valueText(record, c);
    return texts;
}

} // namespace

// Every conversion of a local date-time asks the C library to look at the
// time zone again, which costs a file system check each time. Here the zone
// is looked at once and each time is converted as QDateTime would
// (localtime_r after tzset); the wall clock is then formatted with its UTC
// offset attached, which gives the same text unless the format shows the
// zone's name. On Unix the system locale formats with its short format as
// any locale does: the format is looked up once too.
HistoryDateTexts::HistoryDateTexts(const QTimeZone &z, SystemZone system)
    : locale(QLocale::system()), zone(z),
      local(system == SystemZone::Current && z.id() == QTimeZone::systemTimeZoneId())
{
    format = locale.dateTimeFormat(QLocale::ShortFormat);
    const bool showsOffsetOnly = !format.contains(QLatin1Char('t'));
#ifdef Q_OS_UNIX
    // The C library knows the local zone only.
    fast = local && showsOffsetOnly;
    if (fast)
        tzset();
#endif
    // Another zone is looked up once per change of its offset (times come in
    // order), not for each time.
    spans = !local && showsOffsetOnly && zone.isValid() && zone.hasTransitions();
}

QString HistoryDateTexts::text(std::uint32_t time) const
{
#ifdef Q_OS_UNIX
    if (fast) {
        const std::time_t t = std::time_t(time);
        std::tm local;
        if (localtime_r(&t, &local)) {
            const QDateTime wall(QDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday),
                                 QTime(local.tm_hour, local.tm_min, local.tm_sec),
                                 Qt::OffsetFromUTC, int(local.tm_gmtoff));
            return locale.toString(wall, format);
        }
    }
#endif
    if (spans) {
        const qint64 t = qint64(time);
        if (t < spanStart || t >= spanEnd) {
            const QDateTime at = QDateTime::fromSecsSinceEpoch(t, Qt::UTC);
            const QTimeZone::OffsetData next = zone.nextTransition(at);
            spanStart = t;
            spanEnd = next.atUtc.isValid() ? next.atUtc.toSecsSinceEpoch()
                                           : std::numeric_limits<qint64>::max();
            spanOffset = zone.offsetFromUtc(at);
        }
        const QDateTime shown = QDateTime::fromSecsSinceEpoch(t, Qt::OffsetFromUTC, spanOffset);
#ifdef Q_OS_UNIX
        return locale.toString(shown, format);
#else
        return locale.toString(shown, QLocale::ShortFormat); // may be the system's own text
#endif
    }
    const QDateTime when = local ? QDateTime::fromSecsSinceEpoch(qint64(time))
                                 : QDateTime::fromSecsSinceEpoch(qint64(time), zone);
    return locale.toString(when, QLocale::ShortFormat);
}

QString historyCellText(const HistoryRecord &record, int column, const HistoryDateTexts &dates)
{
    return column == 0 ? dates.text(record.time) : valueText(record, column);
}

QList<int> historyNumberColumns()
{
    return {2, 3, 4, 5};
}

QStringList historyHeaderLabels()
{
    return {QStringLiteral("Дата"),
            QStringLiteral("Событие"),
            QStringLiteral("CPS гамма (имп/с)"),
            QStringLiteral("CPS нейтроны (имп/с)"),
            QStringLiteral("МЭД (Зв/ч)"),
            QStringLiteral("ЭД (Зв)")};
}

QStringList historyRowTexts(const HistoryRecord &record)
{
    const QDateTime when = QDateTime::fromSecsSinceEpoch(qint64(record.time));
    return rowTexts(record, QLocale::system().toString(when, QLocale::ShortFormat));
}

QStringList historyRowTexts(const HistoryRecord &record, const QTimeZone &zone)
{
    return rowTexts(record, HistoryDateTexts(zone).text(record.time));
}

QColor historyAlarmColour()
{
    return QColor(255, 0, 0);
}

QColor historyThresholdColour()
{
    return QColor(190, 0, 170);
}

QColor historyRowColour(char eventCode)
{
    if (isAlarmEvent(eventCode))
        return historyAlarmColour();
    if (eventCode == 'e')
        return historyThresholdColour();
    return QColor();
}
