#include "usbsettings.h"

#include "usbids.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace {

const QString idsKey = QStringLiteral("usb/ids");
const QString traceKey = QStringLiteral("usb/trace");

} // namespace

usbx::UsbSettings loadUsbSettings(const QSettings &settings)
{
    usbx::UsbSettings s;
    parseUsbIds(settings.value(idsKey).toString(), &s.extraIds);
    s.traceFile = settings.value(traceKey).toString().toStdString();
    return s;
}

void applyUsbSettings()
{
    usbx::configure(loadUsbSettings(QSettings()));
}

UsbSettingsDialog::UsbSettingsDialog(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(tr("Подключение USB"));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    ids = new QLineEdit(QSettings().value(idsKey).toString(), this);
    ids->setObjectName(QStringLiteral("edtUsbIds"));
    ids->setPlaceholderText(QStringLiteral("10c4:ea61"));
    ids->setToolTip(tr("Идентификаторы USB прибора VID:PID через запятую, как их показывает "
                       "lsusb; 10c4:ea61 ищется всегда."));
    form->addRow(tr("Идентификаторы USB:"), ids);
    trace = new QLineEdit(QSettings().value(traceKey).toString(), this);
    trace->setObjectName(QStringLiteral("edtUsbTrace"));
    trace->setPlaceholderText(tr("не записывать"));
    auto *browse = new QPushButton(tr("Обзор…"), this);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getSaveFileName(this, tr("Журнал обмена USB"),
                                                          trace->text(), tr("Текст (*.txt)"));
        if (!file.isEmpty())
            trace->setText(file);
    });
    auto *traceRow = new QHBoxLayout;
    traceRow->addWidget(trace, 1);
    traceRow->addWidget(browse);
    form->addRow(tr("Журнал обмена USB:"), traceRow);
    layout->addLayout(form);
    problem = new QLabel(this);
    problem->setWordWrap(true);
    layout->addWidget(problem);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("Сохранить"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, &UsbSettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &UsbSettingsDialog::reject);
    layout->addWidget(buttons);
}

void UsbSettingsDialog::accept()
{
    std::vector<usbx::UsbId> parsed;
    if (!parseUsbIds(ids->text(), &parsed)) {
        problem->setText(tr("Идентификатор USB пишется как VID:PID, по четыре шестнадцатеричные "
                            "цифры, например 10c4:ea61."));
        return;
    }
    QSettings settings;
    settings.setValue(idsKey, ids->text().trimmed());
    settings.setValue(traceKey, trace->text().trimmed());
    QDialog::accept();
}
