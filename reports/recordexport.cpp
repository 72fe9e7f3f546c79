#include "recordexport.h"
#include "devicewrite.h"

#include "historyflags.h"
#include "historytable.h"

#include <QAbstractItemModel>
#include <QDate>
#include <QVector>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

const char *const fieldNames[] = {
    "time",    "event", "gamma_count_rate_per_s", "neutron_count_rate_per_s", "dose_rate_Sv_per_h",
    "dose_Sv", "flags"};

// The fewest digits that read back as the same float (std::to_chars: the
// C locale's form whatever the locale, '.' and e-07), or what stands for
// a value that is not a number.
void appendNumber(QByteArray &line, float value, bool json)
{
    if (!std::isfinite(value)) {
        line += json ? "null" : std::isnan(value) ? "nan" : value < 0 ? "-inf" : "inf";
        return;
    }
    char text[32];
    const char *end = std::to_chars(text, text + sizeof text, value).ptr;
    line.append(text, int(end - text));
}

// The record's time in ISO 8601 at the UTC offset it is shown at.
void appendTime(QByteArray &line, std::uint32_t time, int offset)
{
    const qint64 wall = qint64(time) + offset;
    const qint64 days = wall >= 0 ? wall / 86400 : -((-wall + 86399) / 86400);
    const int second = int(wall - days * 86400);
    int year = 0, month = 0, day = 0;
    QDate::fromJulianDay(QDate(1970, 1, 1).toJulianDay() + days).getDate(&year, &month, &day);
    const int minutes = (offset < 0 ? -offset : offset) / 60;
    char text[48];
    const int size = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d",
                                   year, month, day, second / 3600, second / 60 % 60, second % 60,
                                   offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    line.append(text, size);
}

// The event code as it is, a letter or a digit; another as 0xNN.
void appendEvent(QByteArray &line, char code)
{
    const auto c = static_cast<unsigned char>(code);
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
        line += code;
        return;
    }
    char text[8];
    line.append(text, std::snprintf(text, sizeof text, "0x%02X", unsigned(c)));
}

// One line of the file, its line feed included. The JSON strings (time,
// event, flag names) cannot hold a quote, a backslash or a control character.
void appendRecord(QByteArray &line, const HistoryRecord &r, int offset, bool json)
{
    // What comes before each JSON value: {"time": ,"event": ...
    static const QVector<QByteArray> keys = [] {
        QVector<QByteArray> made;
        for (const char *name : fieldNames)
            made << (made.isEmpty() ? "{\"" : ",\"") + QByteArray(name) + "\":";
        return made;
    }();
    int field = 0;
    const auto next = [&]() {
        if (json)
            line += keys.at(field);
        else if (field)
            line += ',';
        ++field;
    };
    const auto quote = [&]() {
        if (json)
            line += '"';
    };
    next();
    quote();
    appendTime(line, r.time, offset);
    quote();
    next();
    quote();
    appendEvent(line, r.eventCode);
    quote();
    next();
    line += QByteArray::number(r.gammaCps);
    for (const float value : {r.neutronCps, r.doseRate, r.dose}) {
        next();
        appendNumber(line, value, json);
    }
    next();
    QByteArray names = recordFlagNames(r.flags).toLatin1();
    if (!json)
        line += names.replace(',', '|');
    else if (names.isEmpty())
        line += "[]}";
    else
        line += "[\"" + names.replace(",", "\",\"") + "\"]}";
    line += '\n';
}

bool produce(const QAbstractItemModel *model, RecordFormat format,
             const std::function<bool(const QByteArray &)> &emitLine)
{
    const bool json = format == RecordFormat::JsonLines;
    QByteArray line;
    if (!json) {
        for (const char *name : fieldNames)
            line += (line.isEmpty() ? "" : ",") + QByteArray(name);
        if (!emitLine(line + '\n'))
            return false;
    }
    const int rows = model ? model->rowCount() : 0;
    for (int row = 0; row < rows; ++row) {
        const QModelIndex cell = model->index(row, 0);
        line.clear();
        appendRecord(line, model->data(cell, historyRecordRole).value<HistoryRecord>(),
                     model->data(cell, historyUtcOffsetRole).toInt(), json);
        if (!emitLine(line))
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
