// The command-line tool as a process for a test (DR7326G_CLI), also under a
// file-size limit, and what it printed and returned.
#pragma once

#include <QProcess>
#include <QStringList>

struct Run
{
    int code = -1;
    QString out;
    QString err;
};

// With `fileSizeLimit` (in the shell's ulimit -f blocks) the tool runs under
// that file-size limit, as on a disk that has no room.
inline QProcess *startCli(const QStringList &args, const QString &runtime = QString(),
                          int fileSizeLimit = 0)
{
    auto *p = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!runtime.isEmpty())
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    p->setProcessEnvironment(env);
    if (fileSizeLimit > 0)
        p->start(
            QStringLiteral("/bin/sh"),
            QStringList{QStringLiteral("-c"),
                        QStringLiteral("ulimit -f %1 && exec \"$0\" \"$@\"").arg(fileSizeLimit),
                        QStringLiteral(DR7326G_CLI)} +
                args);
    else
        p->start(QStringLiteral(DR7326G_CLI), args);
    p->waitForStarted(5000);
    return p;
}

inline Run finish(QProcess *p)
{
    Run r;
    if (p->waitForFinished(120000) && p->exitStatus() == QProcess::NormalExit)
        r.code = p->exitCode();
    r.out = QString::fromUtf8(p->readAllStandardOutput());
    r.err = QString::fromUtf8(p->readAllStandardError());
    delete p;
    return r;
}

// The minute counts from, from + 1, ... (count of them).
inline QList<int> range(int from, int count)
{
    QList<int> minutes;
    for (int i = 0; i < count; ++i)
        minutes << from + i;
    return minutes;
}
