#include "fileerror.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStorageInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#endif

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

// Below this much free space a failed write is taken for a full disk.
constexpr qint64 nearlyFullBytes = 64 * 1024;

bool mentionsFullDisk(const QString &writerError)
{
#ifdef Q_OS_WIN
    const int codes[] = {ERROR_DISK_FULL, ERROR_HANDLE_DISK_FULL};
#else
    const int codes[] = {ENOSPC};
#endif
    for (int code : codes) {
        const QString text = qt_error_string(code);
        if (!text.isEmpty() && writerError.contains(text))
            return true;
    }
    return false;
}

} // namespace

FileErrorKind fileErrorKind(const QString &fileName, const QString &writerError)
{
    const QFileInfo file(fileName);
    if (file.isDir())
        return FileErrorKind::IsFolder;
    const QFileInfo folder(file.absolutePath());
    if (!folder.isDir())
        return FileErrorKind::NoFolder;
    if (!folder.isWritable() || (file.exists() && !file.isWritable()))
        return FileErrorKind::NoPermission;
    const QStorageInfo storage(folder.absoluteFilePath());
    if (mentionsFullDisk(writerError) ||
        (storage.isValid() && storage.bytesAvailable() < nearlyFullBytes))
        return FileErrorKind::DiskFull;
    return FileErrorKind::Other;
}

QString fileErrorReason(FileErrorKind kind)
{
    switch (kind) {
    case FileErrorKind::NoFolder:
        return tr("нет такой папки");
    case FileErrorKind::NoPermission:
        return tr("нет прав на запись");
    case FileErrorKind::DiskFull:
        return tr("диск заполнен");
    case FileErrorKind::IsFolder:
        return tr("это имя папки");
    case FileErrorKind::Other:
        break;
    }
    return tr("ошибка записи");
}
