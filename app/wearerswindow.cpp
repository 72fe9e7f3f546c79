#include "wearerswindow.h"

#include "dosereport.h"
#include "filedialogs.h"
#include "historyview.h"
#include "pdfjournal.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDateTimeEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardItemModel>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QString timeText(const QDateTime &t)
{
    return t.isValid() ? t.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm")) : QString();
}

// Narrow enough for the assignments table's columns.
QString shortTime(const QDateTime &t)
{
    return t.isValid() ? t.toLocalTime().toString(QStringLiteral("dd.MM.yy HH:mm")) : QString();
}

QPushButton *button(const QString &text, const char *name, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

QTableWidget *table(const QStringList &headers, const char *name, QWidget *parent)
{
    auto *t = new QTableWidget(0, headers.size(), parent);
    t->setObjectName(QLatin1String(name));
    t->setHorizontalHeaderLabels(headers);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

// A dialog of a form and OK / Cancel.
bool runForm(QWidget *parent, const QString &title, const QList<QPair<QString, QWidget *>> &rows)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(title);
    auto *form = new QFormLayout;
    for (const auto &row : rows) {
        row.second->setParent(&dialog);
        form->addRow(row.first, row.second);
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addLayout(form);
    layout->addWidget(buttons);
    return dialog.exec() == QDialog::Accepted;
}

QDateTimeEdit *timeEdit(const QDateTime &t)
{
    auto *edit = new QDateTimeEdit(t);
    edit->setCalendarPopup(true);
    edit->setDisplayFormat(QStringLiteral("dd.MM.yyyy HH:mm"));
    return edit;
}

} // namespace

WearersWindow::WearersWindow(Archive *a, QWidget *parent) : QWidget(parent, Qt::Window), archive(a)
{
    setWindowTitle(tr("Носители приборов"));
    resize(900, 650);

    wearerTable = table({tr("Таб. №"), tr("Носитель"), tr("Носит сейчас")}, "tableWearers", this);
    assignmentTable = table({tr("Прибор"), tr("Носитель"), tr("Выдан"), tr("Возвращён")},
                            "tableAssignments", this);
    QPushButton *add = button(tr("Добавить носителя…"), "btnAddWearer", this);
    QPushButton *give = button(tr("Выдать прибор…"), "btnAssignPager", this);
    QPushButton *back = button(tr("Вернуть прибор…"), "btnReturnPager", this);

    fromEdit = new QDateEdit(QDate(QDate::currentDate().year(), 1, 1), this);
    fromEdit->setObjectName(QStringLiteral("dateDoseFrom"));
    toEdit = new QDateEdit(QDate::currentDate(), this);
    toEdit->setObjectName(QStringLiteral("dateDoseTo"));
    for (QDateEdit *edit : {fromEdit, toEdit}) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    }
    QPushButton *compute = button(tr("Доза за период"), "btnWearerDose", this);
    QPushButton *csv = button(tr("Сохранить CSV…"), "btnDoseCsv", this);
    QPushButton *pdf = button(tr("Сохранить отчёт PDF…"), "btnDosePdf", this);
    doseLabel = new QLabel(this);
    doseLabel->setObjectName(QStringLiteral("lblDose"));
    doseLabel->setWordWrap(true);
    doseModel = new QStandardItemModel(this);
    doseView = new QTableView(this);
    doseView->setObjectName(QStringLiteral("tableDose"));
    doseView->setModel(doseModel);
    doseView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    doseView->verticalHeader()->hide();
    doseView->horizontalHeader()->setStretchLastSection(true);
    message = new QLabel(this);
    message->setObjectName(QStringLiteral("lblWearersMessage"));
    message->setWordWrap(true);

    auto *people = new QHBoxLayout;
    auto *left = new QVBoxLayout;
    left->addWidget(new QLabel(tr("Носители"), this));
    left->addWidget(wearerTable);
    left->addWidget(add, 0, Qt::AlignLeft);
    auto *right = new QVBoxLayout;
    right->addWidget(new QLabel(tr("Выдачи приборов"), this));
    right->addWidget(assignmentTable);
    auto *giveButtons = new QHBoxLayout;
    giveButtons->addWidget(give);
    giveButtons->addWidget(back);
    giveButtons->addStretch();
    right->addLayout(giveButtons);
    people->addLayout(left, 1);
    people->addLayout(right, 1);
    auto *period = new QHBoxLayout;
    period->addWidget(new QLabel(tr("Доза выбранного носителя: период с"), this));
    period->addWidget(fromEdit);
    period->addWidget(new QLabel(tr("по"), this));
    period->addWidget(toEdit);
    period->addWidget(compute);
    period->addStretch();
    auto *files = new QHBoxLayout;
    files->addWidget(csv);
    files->addWidget(pdf);
    files->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(people, 2);
    layout->addLayout(period);
    layout->addWidget(doseLabel);
    layout->addWidget(doseView, 3);
    layout->addLayout(files);
    layout->addWidget(message);

    connect(add, &QPushButton::clicked, this, &WearersWindow::askWearer);
    connect(give, &QPushButton::clicked, this, &WearersWindow::askAssignment);
    connect(back, &QPushButton::clicked, this, &WearersWindow::askReturn);
    connect(compute, &QPushButton::clicked, this, [this]() {
        const QString wearer = chosenWearer();
        if (wearer.isEmpty())
            report(tr("Выберите носителя в таблице носителей."));
        else
            showDose(wearer, fromEdit->date(), toEdit->date());
    });
    const auto offered = [this](const QString &suffix) {
        return QStringLiteral("Доза_%1_%2_%3.%4")
            .arg(QString(dose.wearer.number)
                     .replace(QRegularExpression(QStringLiteral("[^\\w-]")), QStringLiteral("_")),
                 dose.from.date().toString(Qt::ISODate),
                 dose.to.date().addDays(-1).toString(Qt::ISODate), suffix);
    };
    connect(csv, &QPushButton::clicked, this, [this, offered]() {
        if (!doseShown) {
            report(tr("Файл не сохранён: сначала покажите дозу за период."));
            return;
        }
        const QString name = askSaveFileName(this, tr("Сохранить дозу носителя"),
                                             tr("Таблица CSV (*.csv);;Все файлы (*)"),
                                             offered(QStringLiteral("csv")), QStringLiteral("csv"));
        if (!name.isEmpty())
            saveDoseCsv(name);
    });
    connect(pdf, &QPushButton::clicked, this, [this, offered]() {
        if (!doseShown) {
            report(tr("Отчёт не сохранён: сначала покажите дозу за период."));
            return;
        }
        const QString name =
            askSaveFileName(this, tr("Сохранить отчёт о дозе"), tr("Документ PDF (*.pdf)"),
                            offered(QStringLiteral("pdf")), QStringLiteral("pdf"));
        if (!name.isEmpty())
            saveDosePdf(name);
    });
    reload();
}

void WearersWindow::reload()
{
    QString error;
    const QList<ArchiveWearer> wearers = archive->wearers(&error);
    const QList<ArchiveAssignment> assignments =
        error.isEmpty() ? archive->assignments(&error) : QList<ArchiveAssignment>();
    if (!error.isEmpty())
        report(tr("Носители не прочитаны: %1").arg(error));
    const QString chosen = chosenWearer();
    wearerTable->setRowCount(wearers.size());
    for (int r = 0; r < wearers.size(); ++r) {
        const ArchiveWearer &w = wearers.at(r);
        QStringList worn;
        for (const ArchiveAssignment &a : assignments)
            if (a.wearer == w.number && a.worn())
                worn << a.serialNumber;
        const QStringList cells{w.number, w.name, worn.join(QStringLiteral(", "))};
        for (int c = 0; c < cells.size(); ++c)
            wearerTable->setItem(r, c, new QTableWidgetItem(cells.at(c)));
        for (int c = 0; c < cells.size(); ++c)
            wearerTable->item(r, c)->setToolTip(cells.at(c));
        if (w.number == chosen)
            wearerTable->selectRow(r);
    }
    assignmentTable->setRowCount(assignments.size());
    for (int r = 0; r < assignments.size(); ++r) {
        const ArchiveAssignment &a = assignments.at(r);
        const QStringList cells{a.serialNumber, a.wearer, shortTime(a.from),
                                a.worn() ? tr("носит") : shortTime(a.to)};
        for (int c = 0; c < cells.size(); ++c)
            assignmentTable->setItem(r, c, new QTableWidgetItem(cells.at(c)));
        for (int c = 0; c < cells.size(); ++c)
            assignmentTable->item(r, c)->setToolTip(cells.at(c));
    }
    wearerTable->resizeColumnsToContents();
    assignmentTable->resizeColumnsToContents();
}

QString WearersWindow::chosenWearer() const
{
    const QList<QTableWidgetItem *> chosen = wearerTable->selectedItems();
    return chosen.isEmpty() ? QString() : wearerTable->item(chosen.first()->row(), 0)->text();
}

QString WearersWindow::chosenWornPager() const
{
    const QList<QTableWidgetItem *> chosen = assignmentTable->selectedItems();
    if (chosen.isEmpty())
        return QString();
    const int row = chosen.first()->row();
    return assignmentTable->item(row, 3)->text() == tr("носит")
               ? assignmentTable->item(row, 0)->text()
               : QString();
}

void WearersWindow::report(const QString &text)
{
    message->setText(text);
}

QString WearersWindow::messageText() const
{
    return message->text();
}

QString WearersWindow::doseSummary() const
{
    return doseLabel->text();
}

bool WearersWindow::addWearer(const QString &number, const QString &name)
{
    QString error;
    if (!archive->addWearer(number.trimmed(), name, &error)) {
        report(tr("Носитель не добавлен: %1").arg(error));
        return false;
    }
    report(tr("Носитель %1 добавлен.").arg(number.trimmed()));
    reload();
    return true;
}

bool WearersWindow::assign(const QString &serialNumber, const QString &wearer,
                           const QDateTime &from)
{
    QString error;
    if (!archive->assignPager(serialNumber.trimmed(), wearer, from, QDateTime(), &error)) {
        report(tr("Прибор не выдан: %1").arg(error));
        return false;
    }
    report(tr("Прибор %1 выдан носителю %2 с %3.")
               .arg(serialNumber.trimmed(), wearer, timeText(from)));
    reload();
    return true;
}

bool WearersWindow::giveBack(const QString &serialNumber, const QDateTime &at)
{
    QString error;
    if (!archive->returnPager(serialNumber, at, &error)) {
        report(tr("Возврат не записан: %1").arg(error));
        return false;
    }
    report(tr("Прибор %1 возвращён %2.").arg(serialNumber, timeText(at)));
    reload();
    return true;
}

void WearersWindow::askWearer()
{
    auto *number = new QLineEdit;
    auto *name = new QLineEdit;
    if (runForm(this, tr("Новый носитель"),
                {{tr("Табельный номер:"), number}, {tr("Фамилия, имя, отчество:"), name}}))
        addWearer(number->text(), name->text());
}

void WearersWindow::askAssignment()
{
    auto *pager = new QComboBox;
    pager->setEditable(true);
    for (const ArchivePager &p : archive->pagers())
        pager->addItem(p.serialNumber);
    auto *wearer = new QComboBox;
    for (const ArchiveWearer &w : archive->wearers())
        wearer->addItem(QStringLiteral("%1 — %2").arg(w.number, w.name), w.number);
    const int chosen = wearer->findData(chosenWearer());
    if (chosen >= 0)
        wearer->setCurrentIndex(chosen);
    auto *from = timeEdit(QDateTime::currentDateTime());
    if (wearer->count() == 0) {
        delete pager;
        delete wearer;
        delete from;
        report(tr("Прибор не выдан: сначала добавьте носителя."));
        return;
    }
    if (runForm(this, tr("Выдать прибор"),
                {{tr("Прибор:"), pager}, {tr("Носитель:"), wearer}, {tr("Выдан с:"), from}}))
        assign(pager->currentText(), wearer->currentData().toString(), from->dateTime());
}

void WearersWindow::askReturn()
{
    const QString serial = chosenWornPager();
    if (serial.isEmpty()) {
        report(tr("Выберите в таблице выдач прибор, который носят сейчас."));
        return;
    }
    auto *at = timeEdit(QDateTime::currentDateTime());
    if (runForm(this, tr("Вернуть прибор %1").arg(serial), {{tr("Возвращён:"), at}}))
        giveBack(serial, at->dateTime());
}

bool WearersWindow::showDose(const QString &wearer, const QDate &from, const QDate &to)
{
    QString error;
    doseShown =
        archive->wearerDose(wearer, from.startOfDay(), to.addDays(1).startOfDay(), &dose, &error);
    if (!doseShown) {
        doseModel->clear();
        doseLabel->clear();
        report(tr("Доза не рассчитана: %1").arg(error));
        return false;
    }
    fillDoseTable(doseModel, dose);
    doseView->resizeColumnsToContents();
    int falls = 0, overlaps = 0;
    qint64 unassigned = 0;
    for (const ArchiveDosePart &p : dose.parts) {
        falls += p.falls.size();
        overlaps += p.overlapWearer.isEmpty() ? 0 : 1;
    }
    for (const ArchiveUnassigned &u : dose.unassigned)
        unassigned += u.records;
    doseLabel->setText(tr("%1 (%2), %3 – %4: доза %5 Зв по %6 выдачам; падений ЭД: %7; записей "
                          "без назначения: %8.")
                           .arg(dose.wearer.name, dose.wearer.number,
                                from.toString(QStringLiteral("dd.MM.yyyy")),
                                to.toString(QStringLiteral("dd.MM.yyyy")), doseText(dose.total))
                           .arg(dose.parts.size())
                           .arg(falls)
                           .arg(unassigned));
    // Assignments made apart on two PCs that overlap: both kept, said here.
    report(overlaps ? tr("Выдачи пересекаются с выдачами другим носителям (%1): доза общего "
                         "времени посчитана обоим.")
                          .arg(overlaps)
                    : QString());
    return true;
}

bool WearersWindow::saveDoseCsv(const QString &fileName)
{
    QString error;
    const bool ok = ::saveDoseCsv(dose, fileName, &error);
    const QString file = QDir::toNativeSeparators(fileName);
    report(ok ? tr("Доза сохранена в %1.").arg(file)
              : tr("Файл не сохранён: %1 — %2.").arg(file, error));
    return ok;
}

bool WearersWindow::saveDosePdf(const QString &fileName)
{
    QString error;
    const bool ok = saveJournalPdf(doseModel, doseJournalHeading(dose), fileName, &error);
    const QString file = QDir::toNativeSeparators(fileName);
    report(ok ? tr("Отчёт о дозе сохранён в %1.").arg(file)
              : tr("Файл не сохранён: %1 — %2.").arg(file, error));
    return ok;
}
