#include "usbsocketdir.h"

#include <QDir>
#include <QFileInfo>
#include <QtGlobal>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QtMessageHandler passOn = nullptr;

void dropRuntimeDirWarning(QtMsgType type, const QMessageLogContext &context,
                           const QString &message)
{
    if (type == QtWarningMsg &&
        message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    passOn(type, context, message);
}

} // namespace

namespace socketdir {

QString path()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return QString::fromLocal8Bit(runtime) + QStringLiteral("/dr7326g");
    return QStringLiteral("/tmp/dr7326g-%1").arg(::getuid());
}

bool isTrusted(const QString &dir, QString *why)
{
    struct stat st;
    const QByteArray native = QFile::encodeName(dir);
    if (::lstat(native.constData(), &st) != 0) {
        if (why)
            *why = QStringLiteral("%1 does not exist").arg(dir);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        if (why)
            *why = QStringLiteral("%1 is not a directory").arg(dir);
        return false;
    }
    if (st.st_uid != ::getuid()) {
        if (why)
            *why = QStringLiteral("%1 belongs to another user").arg(dir);
        return false;
    }
    if (st.st_mode & (S_IWGRP | S_IWOTH)) {
        if (why)
            *why = QStringLiteral("%1 is writable by other users").arg(dir);
        return false;
    }
    return true;
}

bool ensure(const QString &dir, QString *why)
{
    const QByteArray native = QFile::encodeName(dir);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        if (why)
            *why = QStringLiteral("cannot create %1").arg(dir);
        return false;
    }
    return isTrusted(dir, why);
}

QStringList pagerSockets(const QString &dir)
{
    QDir d(dir);
    const QFileInfoList entries =
        d.entryInfoList({QStringLiteral("*.sock")}, QDir::System | QDir::Files, QDir::Name);
    QStringList names;
    for (const QFileInfo &fi : entries) {
        struct stat st;
        if (::lstat(QFile::encodeName(fi.absoluteFilePath()).constData(), &st) == 0 &&
            S_ISSOCK(st.st_mode))
            names << fi.fileName();
    }
    return names;
}

void quietRuntimeDirWarning()
{
    if (passOn || !qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return;
    passOn = qInstallMessageHandler(dropRuntimeDirWarning);
}

} // namespace socketdir
