#include "savenames.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {

const QString folderKey = QStringLiteral("files/lastFolder");

QString safeNamePart(QString text)
{
    for (QChar &c : text)
        if (c.unicode() < 0x20 || QStringLiteral("/\\:*?\"<>|").contains(c))
            c = QLatin1Char('_');
    return text;
}

} // namespace

// The first word of the offered name and the suffix of each kind of file.
struct SavedFileName
{
    QString stem;
    QString suffix;
};

static SavedFileName nameOf(SavedFile kind)
{
    switch (kind) {
    case SavedFile::History:
        return {QStringLiteral("История"), QStringLiteral("csv")};
    case SavedFile::Journal:
        return {QStringLiteral("Журнал"), QStringLiteral("pdf")};
    case SavedFile::Dump:
        return {QStringLiteral("Дамп"), QStringLiteral("dump")};
    case SavedFile::SettingsLogCsv:
        return {QStringLiteral("Журнал_настроек"), QStringLiteral("csv")};
    case SavedFile::SettingsLogPdf:
        return {QStringLiteral("Журнал_настроек"), QStringLiteral("pdf")};
    case SavedFile::Plot:
        break;
    }
    return {QStringLiteral("График"), QStringLiteral("png")};
}

QString savedFileSuffix(SavedFile kind)
{
    return nameOf(kind).suffix;
}

QString suggestedFileName(SavedFile kind, const QString &serialNumber, const QDate &date)
{
    return suggestedFileName(kind, serialNumber, QDate(), date);
}

QString suggestedFileName(SavedFile kind, const QString &serialNumber, const QDate &from,
                          const QDate &to)
{
    const SavedFileName name = nameOf(kind);
    QString stem = name.stem;
    const QString serial = safeNamePart(serialNumber.trimmed());
    if (!serial.isEmpty())
        stem += QLatin1Char('_') + serial;
    const QString day = QStringLiteral("yyyy-MM-dd");
    if (from.isValid())
        stem += QLatin1Char('_') + from.toString(day);
    return stem + QLatin1Char('_') + to.toString(day) + QLatin1Char('.') + name.suffix;
}

QString withDefaultSuffix(const QString &fileName, const QString &suffix)
{
    const int slash =
        qMax(fileName.lastIndexOf(QLatin1Char('/')), fileName.lastIndexOf(QDir::separator()));
    const QString last = fileName.mid(slash + 1);
    if (last.endsWith(QLatin1Char('.')))
        return fileName + suffix;
    // A leading dot alone (".csv") names a hidden file, not a suffix.
    if (last.lastIndexOf(QLatin1Char('.')) > 0)
        return fileName;
    return fileName + QLatin1Char('.') + suffix;
}

QString lastUsedFolder()
{
    const QString folder = QSettings().value(folderKey).toString();
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        return folder;
    // A new account may have no documents folder yet: a dialog offered one
    // that does not exist would fail on Enter.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir())
        return documents;
    return QDir::homePath();
}

void rememberUsedFolder(const QString &fileName)
{
    QSettings().setValue(folderKey, QFileInfo(fileName).absolutePath());
}
