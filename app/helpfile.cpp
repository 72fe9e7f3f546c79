#include "helpfile.h"

#include <QDir>
#include <QFile>

QString prepareHelpFile(const QString &resource, const QString &programDir,
                        const QString &fallbackDir, QString *error)
{
    const QString besideProgram = programDir + QStringLiteral("/hlp.pdf");
    if (QFile::exists(besideProgram) || QFile::copy(resource, besideProgram))
        return besideProgram;

    const QString fallback = fallbackDir + QStringLiteral("/hlp.pdf");
    QDir().mkpath(fallbackDir);
    // Our own copy is refreshed, so it always matches this program.
    QFile old(fallback);
    if (old.exists()) {
        old.setPermissions(old.permissions() | QFileDevice::WriteUser);
        old.remove();
    }
    if (QFile::copy(resource, fallback))
        return fallback;
    if (error)
        *error = QFile::exists(resource) ? QStringLiteral("cannot write %1").arg(fallback)
                                         : QStringLiteral("no help document in the program");
    return QString();
}
