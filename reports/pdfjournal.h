#pragma once

// The journal: the history table with a heading, the device serial number and
// the calibration date, laid out as HTML and printed to an A4 PDF.

#include <QString>

class QAbstractItemModel;
class QDate;
class QIODevice;

// The journal's HTML text. Every inserted text is HTML-escaped.
QString journalHtml(const QAbstractItemModel *model, const QString &serialNumber,
                    const QDate &calibrationDate);

// Renders the journal as PDF and writes the PDF bytes to `out` (already open
// for writing). Returns false and a reason in *error on failure.
bool writeJournalPdf(const QAbstractItemModel *model, const QString &serialNumber,
                     const QDate &calibrationDate, QIODevice *out, QString *error = nullptr);

// Saves the journal as `fileName`. The file is replaced only when the whole
// PDF has been written: on failure the previous file stays as it was, the
// result is false and *error tells why.
bool saveJournalPdf(const QAbstractItemModel *model, const QString &serialNumber,
                    const QDate &calibrationDate, const QString &fileName,
                    QString *error = nullptr);
