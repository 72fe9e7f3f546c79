#include "csvexport.h"
#include "devicewrite.h"

#include <QAbstractItemModel>
#include <QDate>
#include <QIODevice>
#include <QVariant>

#include <functional>

namespace {

// Columns below this index are text (date, event, gamma count rate); the
// further ones are numbers.
constexpr int firstNumberColumn = 3;

const char byteOrderMark[] = "\xEF\xBB\xBF";

QString quoted(QString text)
{
    text.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString displayText(const QAbstractItemModel *model, int row, int column)
{
    return model->data(model->index(row, column), Qt::DisplayRole).toString();
}

// Produces the file content line by line; `emitLine` gets each line with its
// line feed and returns false to stop.
bool produceCsv(const QAbstractItemModel *model, const QDate &calibrationDate,
                const QDate &overdueSince, const QLocale &locale,
                const std::function<bool(const QByteArray &)> &emitLine)
{
    const int columns = model ? model->columnCount() : 0;
    const int rows = model ? model->rowCount() : 0;
    const QLatin1Char separator(';');

    QStringList fields;
    fields.reserve(columns + 2);
    fields << quoted(QStringLiteral(" "));
    for (int i = 0; i < columns; ++i)
        fields << quoted(model->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString());
    fields << quoted(QStringLiteral("Дата поверки"));
    if (!emitLine(QByteArray(byteOrderMark) + fields.join(separator).toUtf8() + '\n'))
        return false;

    const QString dateText = QLocale::c().toString(calibrationDate, QStringLiteral("dd.MM.yyyy"));
    for (int r = 0; r < rows; ++r) {
        fields.clear();
        fields << quoted(model->headerData(r, Qt::Vertical, Qt::DisplayRole).toString());
        for (int i = 0; i < columns; ++i) {
            if (i < firstNumberColumn)
                fields << quoted(displayText(model, r, i));
            else
                fields << csvNumberText(model->data(model->index(r, i), Qt::DisplayRole), locale);
        }
        fields << dateText;
        if (!emitLine(fields.join(separator).toUtf8() + '\n'))
            return false;
    }
    // Last, so that every other line stays where it was.
    return !overdueSince.isValid() ||
           emitLine(quoted(overdueCalibrationText(overdueSince)).toUtf8() + '\n');
}

} // namespace

QString csvNumberText(const QVariant &cell, const QLocale &locale)
{
    double value = 0.0;
    const int type = cell.userType();
    if (type == QMetaType::Float) {
        value = double(cell.value<float>());
    } else if (type == QMetaType::Double) {
        value = cell.toDouble();
    } else {
        bool ok = false;
        const float parsed = QLocale::c().toFloat(cell.toString(), &ok);
        value = ok ? double(parsed) : 0.0;
    }
    QString text = locale.toString(value, 'g', 6);
    const QString group = locale.groupSeparator();
    if (!group.isEmpty())
        text.remove(group);
    return text;
}

QString overdueCalibrationText(const QDate &overdueSince)
{
    return QStringLiteral("Поверка просрочена с ") +
           QLocale::c().toString(overdueSince, QStringLiteral("dd.MM.yyyy"));
}

QByteArray historyCsv(const QAbstractItemModel *model, const QDate &calibrationDate,
                      const QLocale &locale, const QDate &overdueSince)
{
    QByteArray content;
    produceCsv(model, calibrationDate, overdueSince, locale, [&content](const QByteArray &line) {
        content += line;
        return true;
    });
    return content;
}

bool writeHistoryCsv(const QAbstractItemModel *model, const QDate &calibrationDate, QIODevice *out,
                     const QLocale &locale, QString *error, const QDate &overdueSince)
{
    return writeLinesInBlocks(out, error, [&](const auto &emitLine) {
        return produceCsv(model, calibrationDate, overdueSince, locale, emitLine);
    });
}

bool saveHistoryCsv(const QAbstractItemModel *model, const QDate &calibrationDate,
                    const QString &fileName, QString *error, const QLocale &locale,
                    const QDate &overdueSince)
{
    return saveAllOrNothing(fileName, error, [&](QIODevice *out) {
        return writeHistoryCsv(model, calibrationDate, out, locale, error, overdueSince);
    });
}
