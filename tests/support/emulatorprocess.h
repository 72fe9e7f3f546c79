// Runs the pager emulator in a private socket directory for a test.
#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

class EmulatorProcess
{
public:
    // The socket directory lives in `runtimeDir`, as for XDG_RUNTIME_DIR.
    explicit EmulatorProcess(const QString &runtimeDir) : runtime(runtimeDir) {}
    ~EmulatorProcess() { stop(); }

    QString socketDir() const { return runtime + QStringLiteral("/dr7326g"); }

    // Plays pager0.sock; or, given `sockets` (the emulator names them after
    // the serial numbers), waits for each of them.
    bool start(const QStringList &options = QStringList(), QStringList sockets = QStringList())
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        process.setProcessEnvironment(env);
        process.setProgram(QStringLiteral(DR7326G_EMULATOR));
        const bool named = !sockets.isEmpty();
        if (!named)
            sockets << QStringLiteral("pager0.sock");
        // Fast pacing keeps the tests short; the page time-outs dominate anyway.
        process.setArguments(
            (named ? QStringList() : QStringList{QStringLiteral("--socket"), sockets.first()}) +
            options);
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.start();
        if (!process.waitForStarted(5000))
            return false;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 10000) {
            bool all = true;
            for (const QString &socket : sockets)
                all = all && QFileInfo::exists(socketDir() + QLatin1Char('/') + socket);
            if (all)
                return true;
            if (process.state() != QProcess::Running)
                return false;
            QThread::msleep(20);
        }
        return false;
    }

    void stop()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(2000);
        }
    }

    QString log() { return QString::fromUtf8(process.readAllStandardError()); }

    QProcess process;

private:
    QString runtime;
};
