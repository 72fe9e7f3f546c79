#include "helpfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace {

const QString helpName = QStringLiteral("/hlp.pdf");

QByteArray fileBytes(const QString &name, bool *read = nullptr)
{
    QFile f(name);
    const bool opened = f.open(QIODevice::ReadOnly);
    if (read)
        *read = opened;
    return opened ? f.readAll() : QByteArray();
}

// Writes the copy in one go; an existing file is replaced only by the whole
// new content, and is made writable first (an earlier copy may have been
// left read-only).
bool writeCopy(const QString &name, const QByteArray &bytes)
{
    QFile old(name);
    if (old.exists() && !(old.permissions() & QFileDevice::WriteUser))
        old.setPermissions(old.permissions() | QFileDevice::WriteOwner | QFileDevice::WriteUser);
    QSaveFile file(name);
    // commit() alone does not report a failure of the last buffered write.
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() &&
           file.commit();
}

} // namespace

bool isWholePdf(const QByteArray &bytes)
{
    return bytes.startsWith("%PDF-") && bytes.right(1024).contains("%%EOF");
}

QString prepareHelpFile(const QString &resource, const QString &programDir,
                        const QString &fallbackDir, QString *error)
{
    auto fail = [error](const QString &reason) {
        if (error)
            *error = reason;
        return QString();
    };
    bool read = false;
    const QByteArray help = fileBytes(resource, &read);
    if (!read)
        return fail(QCoreApplication::translate("MainWindow", "в программе нет документа справки"));

    const QString besideProgram = programDir + helpName;
    if (!programDir.isEmpty() && (QFile::exists(besideProgram) || writeCopy(besideProgram, help)))
        return besideProgram;

    const QString fallback = fallbackDir + helpName;
    const QByteArray kept = fileBytes(fallback);
    if (kept == help && QFile::exists(fallback))
        return fallback;
    QDir().mkpath(fallbackDir);
    if (writeCopy(fallback, help))
        return fallback;
    // An older copy that cannot be replaced (a viewer holds it, the folder is
    // read-only) still helps more than none.
    if (isWholePdf(kept))
        return fallback;
    return fail(QCoreApplication::translate("MainWindow", "не удалось записать %1")
                    .arg(QDir::toNativeSeparators(fallback)));
}
