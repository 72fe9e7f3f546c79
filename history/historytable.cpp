#include "historytable.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <QLocale>
#include <QStandardItem>
#include <QStandardItemModel>

namespace {

constexpr int eventColumn = 1;

QStringList rowTexts(const HistoryRecord &record, const QLocale &locale)
{
    const QDateTime when = QDateTime::fromSecsSinceEpoch(qint64(record.time));
    return {locale.toString(when, QLocale::ShortFormat),
            eventText(record.eventCode),
            QString::number(record.gammaCps),
            QStringLiteral("%1").arg(double(record.neutronCps), 0, 'f', 2),
            QStringLiteral("%1").arg(double(record.doseRate), 0, 'e', 2),
            QStringLiteral("%1").arg(double(record.dose), 0, 'e', 2)};
}

} // namespace

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
    return rowTexts(record, QLocale::system());
}

void fillHistoryTable(QStandardItemModel *model, const QList<HistoryRecord *> &records)
{
    const QLocale locale = QLocale::system();
    const QBrush alarmBrush(QColor(255, 0, 0));
    for (const HistoryRecord *record : records) {
        const QStringList texts = rowTexts(*record, locale);
        QList<QStandardItem *> items;
        items.reserve(texts.size());
        for (int c = 0; c < texts.size(); ++c) {
            // An unknown event code leaves its cell without an item.
            if (c == eventColumn && texts.at(c).isEmpty())
                items.append(nullptr);
            else
                items.append(new QStandardItem(texts.at(c)));
        }
        model->appendRow(items);
        if (isAlarmEvent(record->eventCode)) {
            const int r = model->rowCount() - 1;
            for (int c = 0; c < model->columnCount(); ++c)
                model->setData(model->index(r, c), alarmBrush, Qt::ForegroundRole);
        }
    }
}
