#include "pagerchooser.h"

#include "pagerlink.h"
#include "statusmessages.h"
#include "usbsettings.h"
#include "usbxpress.h"

#include <QColor>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

} // namespace

QString askForPager(QWidget *parent, const QStringList &serials, const LastReadLookup &lastRead,
                    const CalibrationLookup &calibration)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("dlgChoosePager"));
    dialog.setWindowTitle(tr("Выбор прибора"));
    auto *layout = new QVBoxLayout(&dialog);
    auto *label = new QLabel(tr("Отвечают несколько приборов. Выберите прибор, с которым "
                                "работать до следующего «Читать параметры»:"),
                             &dialog);
    label->setWordWrap(true);
    layout->addWidget(label);

    QStringList headers{tr("Серийный номер")};
    if (lastRead)
        headers << tr("Последнее чтение");
    if (calibration)
        headers << tr("Поверка");
    auto *table = new QTableWidget(serials.size(), headers.size(), &dialog);
    table->setObjectName(QStringLiteral("tblPagers"));
    table->setHorizontalHeaderLabels(headers);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int row = 0; row < serials.size(); ++row) {
        table->setItem(row, 0, new QTableWidgetItem(serials.at(row)));
        if (lastRead) {
            const QDateTime when = lastRead(serials.at(row));
            table->setItem(
                row, 1,
                new QTableWidgetItem(
                    when.isValid() ? when.toString(QStringLiteral("dd.MM.yyyy HH:mm")) : tr("—")));
        }
        if (!calibration)
            continue;
        const QString warning = calibration(serials.at(row));
        table->setItem(row, headers.size() - 1,
                       new QTableWidgetItem(warning.isEmpty() ? tr("—") : warning));
        for (int c = 0; !warning.isEmpty() && c < headers.size(); ++c)
            table->item(row, c)->setBackground(QColor(255, 205, 205));
    }
    table->resizeColumnsToContents();
    // Every column in view, the calibration's warning too.
    int width = 2 * table->frameWidth();
    for (int c = 0; c < table->columnCount(); ++c)
        width += table->columnWidth(c);
    table->setMinimumWidth(width);
    table->selectRow(0);
    layout->addWidget(table);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("Выбрать"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Отмена"));
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(table, &QTableWidget::cellDoubleClicked, &dialog, &QDialog::accept);

    if (dialog.exec() != QDialog::Accepted || table->currentRow() < 0)
        return QString();
    return serials.value(table->currentRow());
}

bool connectChosenPager(PagerLink &link, QWidget *parent, const LastReadLookup &lastRead,
                        QString *failure, const CalibrationLookup &calibration)
{
    applyUsbSettings();
    if (!link.connect().isEmpty())
        return true;
    if (link.wantedSerial.isEmpty() && link.answeredSerials.size() > 1) {
        const QStringList serials = link.answeredSerials;
        const QString chosen = askForPager(parent, serials, lastRead, calibration);
        if (chosen.isEmpty()) {
            *failure = tr("Прибор не выбран: отвечают несколько приборов (%1).")
                           .arg(serials.join(QStringLiteral(", ")));
            return false;
        }
        link.wantedSerial = chosen;
        if (!link.connect().isEmpty())
            return true;
    }
    if (!link.wantedSerial.isEmpty())
        *failure = tr("Прибор %1 не ответил. Проверьте, что он включён и подключён к USB; "
                      "другой прибор выбирается в «Прибор → Читать параметры».")
                       .arg(link.wantedSerial);
    else if (!usbx::openProblems().empty())
        *failure = openProblemMessage(usbx::openProblems().front());
    else if (link.refusedIdentifications > 0)
        *failure = tr("Прибор ответил с недопустимым серийным номером (управляющие символы или "
                      "не латиница) и не используется.");
    else
        *failure = noPagerMessage(usbx::libraryProblem());
    return false;
}
