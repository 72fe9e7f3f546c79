#include "recordexport.h"
#include "devicewrite.h"

#include "historyflags.h"
#include "historytable.h"

#include <QAbstractItemModel>
#include <QDateTime>
#include <QLocale>

#include <cmath>
#include <functional>

namespace {

const char *const fieldNames[] = {
    "time",    "event", "gamma_count_rate_per_s", "neutron_count_rate_per_s", "dose_rate_Sv_per_h",
    "dose_Sv", "flags"};

// The fewest significant digits that read back as the same float.
QByteArray numberText(float value, bool json)
{
    if (std::isnan(value))
        return json ? "null" : "nan";
    if (std::isinf(value))
        return json ? "null" : (value < 0 ? "-inf" : "inf");
    QByteArray text;
    for (int digits = 1; digits <= 9; ++digits) {
        text = QByteArray::number(double(value), 'g', digits);
        if (text.toFloat() == value)
            break;
    }
    return text;
}

QByteArray timeText(std::uint32_t time, int offset)
{
    const QDateTime wall = QDateTime::fromSecsSinceEpoch(qint64(time) + offset, Qt::UTC);
    const int minutes = (offset < 0 ? -offset : offset) / 60;
    return QLocale::c().toString(wall, QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")).toLatin1() +
           (offset < 0 ? '-' : '+') + QByteArray::number(minutes / 60).rightJustified(2, '0') +
           ':' + QByteArray::number(minutes % 60).rightJustified(2, '0');
}

QByteArray eventCodeText(char code)
{
    const auto c = static_cast<unsigned char>(code);
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
        return QByteArray(1, code);
    return "0x" + QByteArray::number(c, 16).toUpper().rightJustified(2, '0');
}

// The fields of a row, in order, as text: quoted for JSON where they are
// strings (none of them can hold a quote, a backslash or a control character).
QList<QByteArray> fields(const HistoryRecord &r, int offset, bool json)
{
    const auto string = [json](const QByteArray &text) {
        return json ? QByteArray("\"") + text + '"' : text;
    };
    QList<QByteArray> names = recordFlagNames(r.flags).toLatin1().split(',');
    if (names.constFirst().isEmpty())
        names.clear();
    QByteArray flags;
    if (json) {
        for (QByteArray &name : names)
            name = string(name);
        flags = QByteArray("[") + names.join(',') + ']';
    } else {
        flags = names.join('|');
    }
    return {string(timeText(r.time, offset)),
            string(eventCodeText(r.eventCode)),
            QByteArray::number(r.gammaCps),
            numberText(r.neutronCps, json),
            numberText(r.doseRate, json),
            numberText(r.dose, json),
            flags};
}

bool produce(const QAbstractItemModel *model, RecordFormat format,
             const std::function<bool(const QByteArray &)> &emitLine)
{
    const bool json = format == RecordFormat::JsonLines;
    QList<QByteArray> keys;
    for (const char *name : fieldNames)
        keys << name;
    if (!json && !emitLine(keys.join(',') + '\n'))
        return false;
    const int rows = model ? model->rowCount() : 0;
    for (int row = 0; row < rows; ++row) {
        const QModelIndex cell = model->index(row, 0);
        const QList<QByteArray> values =
            fields(model->data(cell, historyRecordRole).value<HistoryRecord>(),
                   model->data(cell, historyUtcOffsetRole).toInt(), json);
        QByteArray line;
        if (json) {
            line = "{";
            for (int i = 0; i < values.size(); ++i)
                line += QByteArray(i ? ",\"" : "\"") + keys.at(i) + "\":" + values.at(i);
            line += '}';
        } else {
            line = values.join(',');
        }
        if (!emitLine(line + '\n'))
            return false;
    }
    return true;
}

} // namespace

QByteArray recordsText(const QAbstractItemModel *model, RecordFormat format)
{
    QByteArray content;
    produce(model, format, [&content](const QByteArray &line) {
        content += line;
        return true;
    });
    return content;
}

bool writeRecords(const QAbstractItemModel *model, RecordFormat format, QIODevice *out,
                  QString *error)
{
    return writeLinesInBlocks(
        out, error, [&](const auto &emitLine) { return produce(model, format, emitLine); });
}

bool saveRecords(const QAbstractItemModel *model, RecordFormat format, const QString &fileName,
                 QString *error)
{
    return saveAllOrNothing(
        fileName, error, [&](QIODevice *out) { return writeRecords(model, format, out, error); });
}
