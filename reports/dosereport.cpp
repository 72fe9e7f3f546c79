#include "dosereport.h"

#include "devicewrite.h"

#include <QStandardItemModel>

namespace {

QString timeText(const QDateTime &t)
{
    return t.isValid() ? t.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm"))
                       : QStringLiteral("…");
}

QString fallsText(const ArchiveDosePart &part)
{
    QStringList falls;
    for (const ArchiveDoseFall &f : part.falls)
        falls << QStringLiteral("ЭД упала %1: %2 → %3 Зв, новая сумма")
                     .arg(timeText(f.at), doseText(f.before), doseText(f.after));
    if (!part.overlapWearer.isEmpty())
        falls << QStringLiteral("выдача пересекается с выдачей носителю %1 (ПК %2): доза общего "
                                "времени посчитана обоим")
                     .arg(part.overlapWearer, part.overlapPc);
    return falls.join(QStringLiteral("; "));
}

} // namespace

QString doseText(double sieverts)
{
    return QString::number(sieverts, 'e', 3);
}

void fillDoseTable(QStandardItemModel *model, const ArchiveWearerDose &dose)
{
    model->clear();
    model->setHorizontalHeaderLabels({QStringLiteral("Прибор"), QStringLiteral("С"),
                                      QStringLiteral("По"), QStringLiteral("Записей"),
                                      QStringLiteral("С отметками"), QStringLiteral("Доза (Зв)"),
                                      QStringLiteral("Примечание")});
    const auto add = [model](const QStringList &cells) {
        QList<QStandardItem *> items;
        for (const QString &text : cells) {
            items << new QStandardItem(text);
            items.last()->setToolTip(text); // the whole text of a cut cell
        }
        model->appendRow(items);
    };
    qint64 records = 0, flagged = 0;
    for (const ArchiveDosePart &p : dose.parts) {
        add({p.serialNumber, timeText(p.from), timeText(p.to), QString::number(p.records),
             QString::number(p.flagged), doseText(p.dose), fallsText(p)});
        records += p.records;
        flagged += p.flagged;
    }
    add({QStringLiteral("Итого"), timeText(dose.from), timeText(dose.to), QString::number(records),
         QString::number(flagged), doseText(dose.total), QString()});
    for (const ArchiveUnassigned &u : dose.unassigned)
        add({u.serialNumber, timeText(u.from), timeText(u.to), QString::number(u.records),
             QString(), QString(), QStringLiteral("без назначения: не в дозе носителя")});
}

JournalHeading doseJournalHeading(const ArchiveWearerDose &dose)
{
    JournalHeading heading;
    heading.title = QStringLiteral("ЖУРНАЛ ДОЗЫ");
    heading.serialNumber = dose.wearer.number;
    heading.lines << QStringLiteral("Носитель: %1, табельный номер %2")
                         .arg(dose.wearer.name, dose.wearer.number)
                  << QStringLiteral("Период: %1 – %2")
                         .arg(dose.from.toLocalTime().toString(QStringLiteral("dd.MM.yyyy")),
                              dose.to.addSecs(-1).toLocalTime().toString(
                                  QStringLiteral("dd.MM.yyyy")))
                  << QStringLiteral("Доза за период: %1 Зв").arg(doseText(dose.total));
    return heading;
}

bool saveDoseCsv(const ArchiveWearerDose &dose, const QString &fileName, QString *error)
{
    QStandardItemModel model;
    fillDoseTable(&model, dose);
    const auto quoted = [](QString text) {
        return QLatin1Char('"') + text.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
               QLatin1Char('"');
    };
    QByteArray content("\xEF\xBB\xBF");
    QStringList fields;
    for (int c = 0; c < model.columnCount(); ++c)
        fields << quoted(model.headerData(c, Qt::Horizontal).toString());
    content += fields.join(QLatin1Char(';')).toUtf8() + '\n';
    for (int r = 0; r < model.rowCount(); ++r) {
        fields.clear();
        for (int c = 0; c < model.columnCount(); ++c)
            fields << quoted(model.item(r, c)->text());
        content += fields.join(QLatin1Char(';')).toUtf8() + '\n';
    }
    return saveAllOrNothing(fileName, error,
                            [&](QIODevice *out) { return writeAllBytes(out, content, error); });
}
