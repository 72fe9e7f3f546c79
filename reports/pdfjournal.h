#pragma once

// The journal: the history table with a heading, the device serial number and
// the calibration date, laid out as HTML and printed to an A4 PDF.

#include <QString>

#include <functional>

class QAbstractItemModel;
class QDate;
class QIODevice;

// The journal's HTML text. Every inserted text is HTML-escaped.
QString journalHtml(const QAbstractItemModel *model, const QString &serialNumber,
                    const QDate &calibrationDate);

// Told as each sheet of the journal is painted: the sheet's number (from 1)
// and the number of sheets of the whole journal.
using JournalProgress = std::function<void(int sheet, int sheets)>;

// Renders the journal as PDF and writes the PDF bytes to `out` (already open
// for writing). Returns false and a reason in *error on failure. *sheets gets
// the number of sheets written.
bool writeJournalPdf(const QAbstractItemModel *model, const QString &serialNumber,
                     const QDate &calibrationDate, QIODevice *out, QString *error = nullptr,
                     const JournalProgress &progress = JournalProgress(), int *sheets = nullptr);

// Saves the journal as `fileName`. The file is replaced only when the whole
// PDF has been written: on failure the previous file stays as it was, the
// result is false and *error tells why.
bool saveJournalPdf(const QAbstractItemModel *model, const QString &serialNumber,
                    const QDate &calibrationDate, const QString &fileName, QString *error = nullptr,
                    const JournalProgress &progress = JournalProgress(), int *sheets = nullptr);
