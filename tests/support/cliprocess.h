// The command-line tool as a process for a test (DR7326G_CLI), also after
// shell commands (a file-size limit, a umask), and what it printed and returned.
#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>

#include <functional>

struct Run
{
    int code = -1;
    QString out;
    QString err;
};

// With `shell` (such as "ulimit -f 16" or "umask 022") the tool runs after
// those commands of /bin/sh.
inline QProcess *startCli(const QStringList &args, const QString &runtime = QString(),
                          const QString &shell = QString())
{
    auto *p = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!runtime.isEmpty())
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    p->setProcessEnvironment(env);
    if (!shell.isEmpty())
        p->start(QStringLiteral("/bin/sh"),
                 QStringList{QStringLiteral("-c"), shell + QStringLiteral(" && exec \"$0\" \"$@\""),
                             QStringLiteral(DR7326G_CLI)} +
                     args);
    else
        p->start(QStringLiteral(DR7326G_CLI), args);
    p->waitForStarted(5000);
    return p;
}

// Gathers what a running process prints on `channel` into `text` until
// `done(text)` holds; false when it ended first or `ms` passed.
inline bool readUntil(QProcess *p, QProcess::ProcessChannel channel, QString *text,
                      const std::function<bool(const QString &)> &done, int ms = 90000)
{
    QElapsedTimer t;
    t.start();
    p->setReadChannel(channel);
    for (;;) {
        *text += QString::fromUtf8(p->readAll());
        if (done(*text))
            return true;
        if (t.elapsed() > ms || p->state() != QProcess::Running)
            return false;
        p->waitForReadyRead(100);
    }
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
