#pragma once

// The journal: the history table with a heading, the device serial number and
// the calibration date, laid out and painted page by page into an A4 PDF.
//
// The table has a bordered grid with the model's header labels and every
// cell's display text, written as it is, in the cell's foreground colour (the
// window's red alarm rows stay red). Each column is as wide as its widest
// cell, header labels wrap at their spaces, every page after the first
// repeats the header row, and every page ends with the footer
// "Журнал <serial number> · лист N из M".

#include "review.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QAbstractItemModel;
#include <QDate>
class QIODevice;

// Told as each sheet of the journal is painted: the sheet's number (from 1)
// and the number of sheets of the whole journal.
using JournalProgress = std::function<void(int sheet, int sheets)>;

// The first sheet's heading: the title and the lines under it; the serial
// number also goes into the footer of every sheet.
struct JournalHeading
{
    QString title = QStringLiteral("ЖУРНАЛ");
    QString serialNumber;
    QStringList lines;
};
// The history journal's heading: "Серийный номер: ..." and "Дата поверки: dd.MM.yyyy"
// (as the window shows the date); for a download made on or after the pager's
// calibration due date, a third line "Поверка просрочена с dd.MM.yyyy".
JournalHeading journalHeading(const QString &serialNumber, const QDate &calibrationDate,
                              const QDate &overdueSince = QDate());

// The journal of a period of the archive: the history journal's heading
// with "Период: <period>" under the serial number and, after it, the
// sign-off of each download that brought the period's records: "Чтение
// dd.MM.yyyy HH:mm: Проверил: name, time, meaning" for each of its
// signatures, or "Чтение dd.MM.yyyy HH:mm: Не проверено".
JournalHeading periodJournalHeading(const QString &serialNumber, const QDate &calibrationDate,
                                    const QDate &overdueSince, const QString &period,
                                    const QList<ArchiveReview> &reviews);

// Renders the journal as PDF and writes the PDF bytes to `out` (already open
// for writing), as they are made. Returns false and a reason in *error on
// failure. *sheets gets the number of sheets of the journal.
bool writeJournalPdf(const QAbstractItemModel *model, const QString &serialNumber,
                     const QDate &calibrationDate, QIODevice *out, QString *error = nullptr,
                     const JournalProgress &progress = JournalProgress(), int *sheets = nullptr);

// Saves the journal as `fileName`. The file is replaced only when the whole
// PDF has been written: on failure the previous file stays as it was, the
// result is false and *error tells why.
bool saveJournalPdf(const QAbstractItemModel *model, const QString &serialNumber,
                    const QDate &calibrationDate, const QString &fileName, QString *error = nullptr,
                    const JournalProgress &progress = JournalProgress(), int *sheets = nullptr,
                    const QDate &overdueSince = QDate());

// The same with a heading of the caller's (the archive's period journal, the
// settings log).
bool writeJournalPdf(const QAbstractItemModel *model, const JournalHeading &heading, QIODevice *out,
                     QString *error = nullptr, const JournalProgress &progress = JournalProgress(),
                     int *sheets = nullptr);
bool saveJournalPdf(const QAbstractItemModel *model, const JournalHeading &heading,
                    const QString &fileName, QString *error = nullptr,
                    const JournalProgress &progress = JournalProgress(), int *sheets = nullptr);
