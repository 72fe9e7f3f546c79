#pragma once

// The history table as a semicolon-separated file: a header line, then one
// line per table row with the calibration date appended; for a download made
// on or after the pager's calibration due date (`overdueSince` valid), a last
// line "Поверка просрочена с dd.MM.yyyy". The file is UTF-8
// with a byte-order mark, every line ends with a line feed.

#include <QByteArray>
#include <QLocale>
#include <QString>

class QAbstractItemModel;
#include <QDate>
class QIODevice;
class QVariant;

// The CSV text of a numeric cell: the display value as a single-precision
// number (text is read with '.' as decimal point; text that is not a number
// counts as 0), written in `locale` with format 'g', 6 significant digits and
// no group separators.
QString csvNumberText(const QVariant &cell, const QLocale &locale);

// The whole file content: byte-order mark, header line and data lines.
QByteArray historyCsv(const QAbstractItemModel *model, const QDate &calibrationDate,
                      const QLocale &locale = QLocale(), const QDate &overdueSince = QDate());

// Writes the file content to `out` (already open for writing). Returns false
// and a reason in *error when a write fails.
bool writeHistoryCsv(const QAbstractItemModel *model, const QDate &calibrationDate, QIODevice *out,
                     const QLocale &locale = QLocale(), QString *error = nullptr,
                     const QDate &overdueSince = QDate());

// Saves the file content as `fileName`. The file is replaced only when the
// whole content has been written: on failure the previous file stays as it
// was, the result is false and *error tells why.
bool saveHistoryCsv(const QAbstractItemModel *model, const QDate &calibrationDate,
                    const QString &fileName, QString *error = nullptr,
                    const QLocale &locale = QLocale(), const QDate &overdueSince = QDate());

// The line a report's heading gets for a download made on or after the
// pager's calibration due date.
QString overdueCalibrationText(const QDate &overdueSince);
