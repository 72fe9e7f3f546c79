// The wearers window («Носители приборов», from the archive window): who wore
// which pager, in this PC's archive. The wearers (personnel number, name, the
// pagers worn now) with «Добавить носителя…»; the assignments (pager,
// wearer, from, until) with «Выдать прибор…» and «Вернуть прибор…», each an
// event appended to the archive (a refusal, such as an assignment that
// overlaps another of the pager, is told in the message line); and the
// chosen wearer's dose for a period, per pager and in total, with the falls
// of ЭД and the unassigned records, saved as CSV or as a PDF journal.
// 'Синхронизировать' sends the events to the lab's server with the rest.
#pragma once

#include "archive.h"

#include <QWidget>

class QDateEdit;
class QLabel;
class QStandardItemModel;
class QTableView;
class QTableWidget;

class WearersWindow : public QWidget
{
    Q_OBJECT

public:
    // The archive (this PC's, written to) must outlive the window.
    explicit WearersWindow(Archive *archive, QWidget *parent = nullptr);

    // Reads the wearers and assignments again.
    void reload();
    // What the buttons do, without their dialogs (false: refused, told in
    // the message line).
    bool addWearer(const QString &number, const QString &name);
    bool assign(const QString &serialNumber, const QString &wearer, const QDateTime &from);
    bool giveBack(const QString &serialNumber, const QDateTime &at);
    // The dose of the chosen wearer over the period's days.
    bool showDose(const QString &wearer, const QDate &from, const QDate &to);
    bool saveDoseCsv(const QString &fileName);
    bool saveDosePdf(const QString &fileName);
    QString messageText() const;
    QString doseSummary() const;

private:
    Archive *archive;
    QTableWidget *wearerTable;
    QTableWidget *assignmentTable;
    QDateEdit *fromEdit;
    QDateEdit *toEdit;
    QLabel *doseLabel;
    QStandardItemModel *doseModel;
    QTableView *doseView;
    QLabel *message;
    ArchiveWearerDose dose;
    bool doseShown = false;

    QString chosenWearer() const;
    QString chosenWornPager() const;
    void report(const QString &text);
    void askWearer();
    void askAssignment();
    void askReturn();
};
