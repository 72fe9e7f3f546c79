#pragma once

// The journal as it used to be made, kept here only as the reference the
// painted journal is measured against: one HTML text laid out by
// QTextDocument and printed to a PDF file by QPrinter.

#include <QString>

class QAbstractItemModel;
class QDate;

// Prints the HTML journal to the PDF file `fileName`; false when the printer
// reports a failure.
bool printHtmlJournal(const QAbstractItemModel *model, const QString &serialNumber,
                      const QDate &calibrationDate, const QString &fileName);
