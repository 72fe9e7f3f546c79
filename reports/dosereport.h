// A wearer's dose for a period as a table (per assignment, the total, the
// unassigned records of the pagers worn), its journal heading and its CSV
// file: what the archive window and `archive dose` write.
#pragma once

#include "archive.h"
#include "pdfjournal.h"

#include <QString>

class QStandardItemModel;

// Columns: Прибор, С, По, Записей, С отметками, Доза (Зв), Примечание. A row
// per assignment (its falls of ЭД in the note), the total, then a row per
// stretch of unassigned records («без назначения»). Times in the PC's zone.
void fillDoseTable(QStandardItemModel *model, const ArchiveWearerDose &dose);
// "ЖУРНАЛ ДОЗЫ", the wearer, the period and the total.
JournalHeading doseJournalHeading(const ArchiveWearerDose &dose);
// The table as a semicolon-separated UTF-8 file with a byte-order mark,
// written all or nothing.
bool saveDoseCsv(const ArchiveWearerDose &dose, const QString &fileName, QString *error);
// A dose in Sv as the table shows it (scientific, 3 digits).
QString doseText(double sieverts);
