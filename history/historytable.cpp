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
    // A zone of one offset (UTC) needs no lookup at all.
    if (!local && showsOffsetOnly && zone.isValid() && !zone.hasTransitions() &&
        !zone.hasDaylightTime()) {
        spans = true;
        spanStart = std::numeric_limits<qint64>::min();
        spanEnd = std::numeric_limits<qint64>::max();
        spanOffset = zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(0, Qt::UTC));
    }
    // Two-digit minutes (and seconds, when shown), once each, and no quoted
    // text in which such letters could stand for themselves.
    patches = format.count(QLatin1Char('m')) == 2 && format.contains(QLatin1String("mm")) &&
              (format.count(QLatin1Char('s')) == 0 ||
               (format.count(QLatin1Char('s')) == 2 && format.contains(QLatin1String("ss")))) &&
              !format.contains(QLatin1Char('\''));
}

bool HistoryDateTexts::offsetAt(qint64 t, int *offset) const
{
#ifdef Q_OS_UNIX
    if (fast) {
        const std::time_t at = std::time_t(t);
        std::tm wall;
        if (!localtime_r(&at, &wall))
            return false;
        *offset = int(wall.tm_gmtoff);
        return true;
    }
#endif
    if (spans) {
        if (t < spanStart || t >= spanEnd) {
            const QDateTime at = QDateTime::fromSecsSinceEpoch(t, Qt::UTC);
            const QTimeZone::OffsetData next = zone.nextTransition(at);
            spanStart = t;
            spanEnd = next.atUtc.isValid() ? next.atUtc.toSecsSinceEpoch()
                                           : std::numeric_limits<qint64>::max();
            spanOffset = zone.offsetFromUtc(at);
        }
        *offset = spanOffset;
        return true;
    }
    return false;
}

int HistoryDateTexts::utcOffset(std::uint32_t time) const
{
    int offset = 0;
    if (offsetAt(qint64(time), &offset))
        return offset;
    const QDateTime at = QDateTime::fromSecsSinceEpoch(qint64(time), Qt::UTC);
    return local ? at.toLocalTime().offsetFromUtc() : zone.offsetFromUtc(at);
}

QString HistoryDateTexts::textAt(qint64 t, int offset) const
{
    const QDateTime shown = QDateTime::fromSecsSinceEpoch(t, Qt::OffsetFromUTC, offset);
#ifdef Q_OS_UNIX
    return locale.toString(shown, format);
#else
    // The system's own short format may not be a Qt format.
    return fast ? locale.toString(shown, format) : locale.toString(shown, QLocale::ShortFormat);
#endif
}

QString HistoryDateTexts::text(std::uint32_t time) const
{
    const qint64 t = qint64(time);
    int offset = 0;
    if (!offsetAt(t, &offset)) {
        const QDateTime when =
            local ? QDateTime::fromSecsSinceEpoch(t) : QDateTime::fromSecsSinceEpoch(t, zone);
        return locale.toString(when, QLocale::ShortFormat);
    }
    if (!patches)
        return textAt(t, offset);
    const qint64 wall = t + offset;
    const qint64 wallHour = wall >= 0 ? wall / 3600 : -((-wall + 3599) / 3600);
    const int inHour = int(wall - wallHour * 3600);
    if (wallHour != hour || offset != hourOffset) {
        hour = wallHour;
        hourOffset = offset;
        // The hour's first and last second: their texts differ in the
        // minutes' (and the seconds') two digits only, or the hour is not patched.
        const qint64 start = t - inHour;
        hourText = textAt(start, offset);
        const QString last = textAt(start + 3599, offset);
        QVector<int> differ;
        for (int i = 0; i < hourText.size() && last.size() == hourText.size(); ++i)
            if (hourText.at(i) != last.at(i))
                differ << i;
        const bool seconds = format.contains(QLatin1String("ss"));
        bool fits = differ.size() == (seconds ? 4 : 2);
        const char16_t zero = fits ? char16_t(hourText.at(differ.at(0)).unicode()) : u'0';
        for (int pair = 0; fits && pair < differ.size(); pair += 2) {
            const int at = differ.at(pair);
            fits = differ.at(pair + 1) == at + 1 && hourText.at(at) == QChar(zero) &&
                   hourText.at(at + 1) == QChar(zero) && last.at(at) == QChar(char16_t(zero + 5)) &&
                   last.at(at + 1) == QChar(char16_t(zero + 9));
        }
        if (!fits) {
            hourText.clear();
        } else {
            // Which pair is the minutes: the one the format names first.
            const bool minutesFirst = !seconds || format.indexOf(QLatin1String("mm")) <
                                                      format.indexOf(QLatin1String("ss"));
            minuteAt = minutesFirst ? differ.at(0) : differ.at(2);
            secondAt = seconds ? (minutesFirst ? differ.at(2) : differ.at(0)) : -1;
            zeroDigit = zero;
        }
    }
    if (hourText.isEmpty())
        return textAt(t, offset);
    QString text = hourText;
    QChar *digits = text.data();
    const int minute = inHour / 60, second = inHour % 60;
    digits[minuteAt] = QChar(char16_t(zeroDigit + minute / 10));
    digits[minuteAt + 1] = QChar(char16_t(zeroDigit + minute % 10));
    if (secondAt >= 0) {
        digits[secondAt] = QChar(char16_t(zeroDigit + second / 10));
        digits[secondAt + 1] = QChar(char16_t(zeroDigit + second % 10));
    }
    return text;
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
