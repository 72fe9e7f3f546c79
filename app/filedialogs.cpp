#include "filedialogs.h"

#include "savenames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>

QString askSaveFileName(QWidget *parent, const QString &title, const QString &filter,
                        const QString &offeredName, const QString &suffix, QString *selectedFilter)
{
    const QString folder = lastUsedFolder();
    QFileDialog dialog(parent, title, folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(suffix);
    dialog.selectFile(QDir(folder).filePath(offeredName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    // A desktop's own dialog may leave the suffix to the program.
    const QString fileName = withDefaultSuffix(dialog.selectedFiles().constFirst(), suffix);
    rememberUsedFolder(fileName);
    if (selectedFilter)
        *selectedFilter = dialog.selectedNameFilter();
    return fileName;
}

namespace {

QString machineCsvFilter()
{
    return QCoreApplication::translate("FileDialogs", "CSV для программ (*.csv)");
}

} // namespace

QString historyCsvFilters()
{
    return QCoreApplication::translate("FileDialogs", "Таблица CSV (*.csv)") +
           QStringLiteral(";;") + machineCsvFilter() + QStringLiteral(";;") +
           QCoreApplication::translate("FileDialogs", "Все файлы (*)");
}

bool isMachineCsvFilter(const QString &filter)
{
    return filter == machineCsvFilter();
}

QString askOpenFileName(QWidget *parent, const QString &title, const QString &filter)
{
    const QString fileName = QFileDialog::getOpenFileName(parent, title, lastUsedFolder(), filter);
    if (!fileName.isEmpty())
        rememberUsedFolder(fileName);
    return fileName;
}
