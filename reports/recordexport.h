#pragma once

// The history records as other programs read them, from a history table's
// model (the window's or the archive's: historyRecordRole and
// historyUtcOffsetRole): the same bytes whatever the PC's locale, UTF-8
// without a byte-order mark, a line feed after every line.
//
// Fields, in this order (the CSV's header row names them):
//  time                      ISO 8601 with the UTC offset the table shows
//                            the record at: 2026-03-29T01:59:00+01:00
//  event                     the pager's event code ('A', 'F', ...); a code
//                            other than a letter or digit as 0xNN
//  gamma_count_rate_per_s    integer
//  neutron_count_rate_per_s  number
//  dose_rate_Sv_per_h        number (the pager keeps Sv/h: written unchanged)
//  dose_Sv                   number (Sv, unchanged)
//  flags                     why the record looks wrong (historyflags.h
//                            recordFlagNames), none when it does not
// Numbers have '.' as decimal point and the fewest digits that read back as
// the stored single-precision value (1.2e-07, 0.5, 100); a value that is not
// a number is nan, inf or -inf in the CSV and null in JSON. About 1.5 s
// (CSV) and 2 s (JSON Lines) a million records.
//
// The CSV: one header row, fields separated by ',', the flags joined by '|';
// no field ever needs quotes. JSON Lines: one object a line with the same
// keys, the flags as an array of names.

#include <QByteArray>
#include <QString>

class QAbstractItemModel;
class QIODevice;

enum class RecordFormat { Csv, JsonLines };

// The whole content of the rows of `model`.
QByteArray recordsText(const QAbstractItemModel *model, RecordFormat format);

// Writes the content to `out` (already open for writing). Returns false and
// a reason in *error when a write fails.
bool writeRecords(const QAbstractItemModel *model, RecordFormat format, QIODevice *out,
                  QString *error = nullptr);

// Saves the content as `fileName`, all or nothing (devicewrite.h).
bool saveRecords(const QAbstractItemModel *model, RecordFormat format, const QString &fileName,
                 QString *error = nullptr);
