#include "historytable.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <QLocale>
#include <QStandardItem>
#include <QStandardItemModel>

#include <ctime>

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
    case 3:
        return QStringLiteral("%1").arg(double(record.neutronCps), 0, 'f', 2);
    case 4:
        return QStringLiteral("%1").arg(double(record.doseRate), 0, 'e', 2);
    case 5:
        return QStringLiteral("%1").arg(double(record.dose), 0, 'e', 2);
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
// zone's name.
HistoryDateTexts::HistoryDateTexts(const QTimeZone &z)
    : locale(QLocale::system()), zone(z), local(z.id() == QTimeZone::systemTimeZoneId())
{
#ifdef Q_OS_UNIX
    // The C library knows the local zone only.
    fast = local && !locale.dateTimeFormat(QLocale::ShortFormat).contains(QLatin1Char('t'));
    if (fast)
        tzset();
#endif
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
            return locale.toString(wall, QLocale::ShortFormat);
        }
    }
#endif
    const QDateTime when = local ? QDateTime::fromSecsSinceEpoch(qint64(time))
                                 : QDateTime::fromSecsSinceEpoch(qint64(time), zone);
    return locale.toString(when, QLocale::ShortFormat);
}

QString historyCellText(const HistoryRecord &record, int column, const HistoryDateTexts &dates)
{
    return column == 0 ? dates.text(record.time) : valueText(record, column);
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

void setupHistoryModel(QStandardItemModel *model)
{
    model->setHorizontalHeaderLabels(historyHeaderLabels());
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

void fillHistoryTable(QStandardItemModel *model, const QList<HistoryRecord *> &records,
                      const QTimeZone &zone)
{
    const HistoryDateTexts dates(zone);
    const QVariant alarmBrush = QBrush(historyAlarmColour());
    const QVariant thresholdBrush = QBrush(historyThresholdColour());
    QList<QStandardItem *> items;
    for (const HistoryRecord *record : records) {
        const QStringList texts = rowTexts(*record, dates.text(record->time));
        const QColor colour = historyRowColour(record->eventCode);
        const bool coloured = colour.isValid();
        const QVariant &brush = colour == historyAlarmColour() ? alarmBrush : thresholdBrush;
        items.clear();
        for (int c = 0; c < texts.size(); ++c) {
            // An unknown event code leaves its cell without an item.
            if (c == eventColumn && texts.at(c).isEmpty()) {
                items.append(nullptr);
                continue;
            }
            auto *item = new QStandardItem(texts.at(c));
            // The same as setting the model's data once the row is in; done
            // before, it saves a change notice per cell.
            if (coloured)
                item->setData(brush, Qt::ForegroundRole);
            items.append(item);
        }
        model->appendRow(items);
        if (coloured) {
            // Cells of the row that have no item yet (any column beyond the
            // texts) take its colour as well.
            const int r = model->rowCount() - 1;
            for (int c = 0; c < model->columnCount(); ++c)
                if (!model->item(r, c))
                    model->setData(model->index(r, c), brush, Qt::ForegroundRole);
        }
    }
}
