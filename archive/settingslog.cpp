#include "settingslog.h"

#include <QHash>
#include <QLocale>
#include <QSaveFile>
#include <QStandardItemModel>

namespace {

const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

} // namespace

QString settingTitle(const QString &name)
{
    static const QHash<QString, QString> titles{
        {QLatin1String(setting::neutronSigma), QStringLiteral("Нейтронный канал, сигм")},
        {QLatin1String(setting::gammaSigma), QStringLiteral("Гамма канал, сигм")},
        {QLatin1String(setting::doseRateThreshold), QStringLiteral("Порог МЭД, Зв/ч")},
        {QLatin1String(setting::historyInterval), QStringLiteral("Интервал истории, мин")},
        {QLatin1String(setting::deviceTime), QStringLiteral("Часы прибора")},
    };
    return titles.value(name, name);
}

QString settingOutcomeTitle(const QString &name)
{
    static const QHash<QString, QString> titles{
        {QStringLiteral("read"), QStringLiteral("прочитано")},
        {QStringLiteral("stored"), QStringLiteral("сохранено")},
        {QStringLiteral("refused"), QStringLiteral("отклонено")},
        {QStringLiteral("not-confirmed"), QStringLiteral("не подтверждено")},
        {QStringLiteral("no-answer"), QStringLiteral("нет ответа")},
    };
    return titles.value(name, name);
}

void fillSettingsLogModel(QStandardItemModel *model, const QList<SettingsLogEntry> &log)
{
    model->clear();
    model->setHorizontalHeaderLabels({QStringLiteral("Время"), QStringLiteral("Пользователь"),
                                      QStringLiteral("ПК"), QStringLiteral("Серийный номер"),
                                      QStringLiteral("Параметр"), QStringLiteral("Было"),
                                      QStringLiteral("Значение"), QStringLiteral("Итог")});
    for (const SettingsLogEntry &e : log) {
        QList<QStandardItem *> row;
        for (const QString &text :
             {e.at.toLocalTime().toString(timeFormat), e.osUser, e.pc, e.serialNumber,
              settingTitle(e.setting), e.valueBefore, e.value, settingOutcomeTitle(e.outcome)})
            row << new QStandardItem(text);
        model->appendRow(row);
    }
}

bool writeSettingsLogCsv(const QStandardItemModel *model, QIODevice *out, QString *error)
{
    auto quoted = [](QString text) {
        return QLatin1Char('"') + text.replace(QLatin1Char('"'), QLatin1String("\"\"")) +
               QLatin1Char('"');
    };
    QByteArray bytes("\xEF\xBB\xBF");
    QStringList fields;
    for (int c = 0; c < model->columnCount(); ++c)
        fields << quoted(model->headerData(c, Qt::Horizontal).toString());
    bytes += fields.join(QLatin1Char(';')).toUtf8() + '\n';
    for (int r = 0; r < model->rowCount(); ++r) {
        fields.clear();
        for (int c = 0; c < model->columnCount(); ++c)
            fields << quoted(model->index(r, c).data().toString());
        bytes += fields.join(QLatin1Char(';')).toUtf8() + '\n';
    }
    if (out->write(bytes) != bytes.size()) {
        if (error)
            *error = out->errorString();
        return false;
    }
    return true;
}

bool saveSettingsLogCsv(const QStandardItemModel *model, const QString &fileName, QString *error)
{
    QSaveFile file(fileName);
    // commit() does not report a failure of the last buffered write (a full
    // disk, a size limit): flushed and checked first.
    if (!file.open(QIODevice::WriteOnly) || !writeSettingsLogCsv(model, &file, error) ||
        !file.flush() || !file.commit()) {
        if (error && error->isEmpty())
            *error = file.errorString();
        return false;
    }
    return true;
}
