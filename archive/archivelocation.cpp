#include "archivelocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

const char programName[] = "dr7326g";

namespace {

// The organisation name earlier versions of the window set.
const char earlierOrganisation[] = "DR7326G";

// The folder of the programs' data folders: on Linux $XDG_DATA_HOME or
// ~/.local/share; on Windows the user's local application data
// (%LOCALAPPDATA%), which stays on this PC and is the user's alone.
QString userDataBase()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

QString settingsFileOf(const QString &organisation)
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, organisation,
                     QLatin1String(programName))
        .fileName();
}

// SQLite keeps these beside an archive while a program has it open, and
// removes them when the last one closes it.
bool inUse(const QString &file)
{
    return QFileInfo::exists(file + QLatin1String("-wal")) ||
           QFileInfo::exists(file + QLatin1String("-shm"));
}

// The name an earlier file is set aside under: `file`.merged, or
// `file`.merged-2, ... when that is taken.
QString asideName(const QString &file)
{
    QString aside = file + QLatin1String(".merged");
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = file + QStringLiteral(".merged-%1").arg(n);
    return aside;
}

bool moveInto(const QString &from, const QString &to, QString *error)
{
    const QString folder = QFileInfo(to).absolutePath();
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot make the folder %1").arg(folder);
        return false;
    }
    QFile file(from);
    if (!file.rename(to)) {
        *error = QStringLiteral("cannot move %1 to %2: %3").arg(from, to, file.errorString());
        return false;
    }
    return true;
}

void moveEarlierArchive(EarlierFiles *done,
                        const std::function<void(const EarlierFiles &)> &merging);
void moveEarlierSettings(EarlierFiles *done);

} // namespace

// A merge is one transaction of each archive: the events the sync sends are
// savepoints in it.
class ArchiveMerge
{
public:
    static bool hold(Archive &archive, QString *error)
    {
        if (!archive.beginWrite(error))
            return false;
        archive.held = true;
        return true;
    }
    static bool release(Archive &archive, bool keep, QString *error)
    {
        archive.held = false;
        if (keep)
            return archive.commit(error);
        archive.rollback();
        return true;
    }
};

QString programDataFolder()
{
    return userDataBase() + QLatin1Char('/') + QLatin1String(programName);
}

void useProgramSettingsNames()
{
    QCoreApplication::setOrganizationName(QLatin1String(programName));
    QCoreApplication::setApplicationName(QLatin1String(programName));
}

EarlierFiles moveEarlierFiles(bool withSettings,
                              const std::function<void(const EarlierFiles &)> &merging)
{
    EarlierFiles done;
    if (qEnvironmentVariableIsEmpty("DR7326G_ARCHIVE"))
        moveEarlierArchive(&done, merging);
    if (withSettings)
        moveEarlierSettings(&done);
    return done;
}

namespace {

void moveEarlierArchive(EarlierFiles *done,
                        const std::function<void(const EarlierFiles &)> &merging)
{
    const QString earlier =
        userDataBase() + QStringLiteral("/%1/%2/archive.sqlite")
                             .arg(QLatin1String(earlierOrganisation), QLatin1String(programName));
    const QString current = Archive::defaultFileName();
    if (!QFileInfo(earlier).isFile() ||
        QFileInfo(earlier).canonicalFilePath() == QFileInfo(current).canonicalFilePath())
        return;
    done->earlierArchive = earlier;
    done->currentArchive = current;
    const auto fail = [done](EarlierFiles::Refusal refusal, const QString &error,
                             Archive::Problem problem = Archive::Problem::None) {
        done->archive = EarlierFiles::Done::Failed;
        done->refusal = refusal;
        done->archiveProblem = problem;
        done->error = error;
    };
    QString error;
    Archive from;
    if (!from.open(earlier, &error))
        return fail(EarlierFiles::Refusal::EarlierUnusable, error, from.openProblem());
    if (!QFileInfo::exists(current)) {
        from.close();
        if (inUse(earlier))
            return fail(EarlierFiles::Refusal::InUse,
                        QStringLiteral("another program has %1 open").arg(earlier));
        if (!moveInto(earlier, current, &error))
            return fail(EarlierFiles::Refusal::NotWritten, error);
        done->archive = EarlierFiles::Done::Moved;
        return;
    }
    Archive into;
    if (!into.open(current, &error))
        return fail(EarlierFiles::Refusal::CurrentUnusable, error, into.openProblem());
    if (!ArchiveMerge::hold(from, &error))
        return fail(EarlierFiles::Refusal::NotWritten, error);
    if (!ArchiveMerge::hold(into, &error)) {
        ArchiveMerge::release(from, false, nullptr);
        return fail(EarlierFiles::Refusal::NotWritten, error);
    }
    if (merging)
        merging(*done);
    const ArchiveSyncResult merged = synchronizeArchive(from, into);
    // The earlier file keeps nothing of the merge, not even how far it got.
    ArchiveMerge::release(from, false, nullptr);
    from.close();
    const auto undo = [&](EarlierFiles::Refusal refusal, const QString &why) {
        ArchiveMerge::release(into, false, nullptr);
        fail(refusal, why);
    };
    if (!merged.ok)
        return undo(EarlierFiles::Refusal::NotWritten, merged.error);
    if (inUse(earlier))
        return undo(EarlierFiles::Refusal::InUse,
                    QStringLiteral("another program has %1 open").arg(earlier));
    // Set aside before the merge counts, put back when it does not.
    const QString aside = asideName(earlier);
    QFile file(earlier);
    if (!file.rename(aside))
        return undo(EarlierFiles::Refusal::NotWritten,
                    QStringLiteral("cannot rename %1: %2").arg(earlier, file.errorString()));
    if (!ArchiveMerge::release(into, true, &error)) {
        QFile::rename(aside, earlier);
        return undo(EarlierFiles::Refusal::NotWritten, error);
    }
    done->archive = EarlierFiles::Done::Merged;
    done->archiveAside = aside;
    done->merged = merged;
}

void moveEarlierSettings(EarlierFiles *done)
{
    // Where the settings are not files of their own (the registry of
    // Windows, whose keys ignore case) they were always the same.
    const QString earlier = settingsFileOf(QLatin1String(earlierOrganisation));
    const QString current = settingsFileOf(QLatin1String(programName));
    if (!QFileInfo(earlier).isFile() || earlier == current)
        return;
    done->earlierSettings = earlier;
    done->currentSettings = current;
    const auto fail = [done](const QString &error) {
        done->settings = EarlierFiles::Done::Failed;
        done->settingsError = error;
    };
    QString error;
    if (!QFileInfo::exists(current)) {
        if (!moveInto(earlier, current, &error))
            return fail(error);
        done->settings = EarlierFiles::Done::Moved;
        return;
    }
    QList<QPair<QString, QVariant>> values;
    {
        const QSettings from(earlier, QSettings::NativeFormat);
        if (from.status() != QSettings::NoError)
            return fail(QStringLiteral("cannot read %1").arg(earlier));
        for (const QString &key : from.allKeys())
            values << qMakePair(key, from.value(key));
    }
    const QString aside = asideName(earlier);
    QFile file(earlier);
    if (!file.rename(aside))
        return fail(QStringLiteral("cannot rename %1: %2").arg(earlier, file.errorString()));
    QSettings into(current, QSettings::NativeFormat);
    for (const auto &value : values)
        if (!into.contains(value.first))
            into.setValue(value.first, value.second);
    into.sync();
    if (into.status() != QSettings::NoError) {
        QFile::rename(aside, earlier);
        return fail(QStringLiteral("cannot write %1").arg(current));
    }
    done->settings = EarlierFiles::Done::Merged;
    done->settingsAside = aside;
}

} // namespace

QString EarlierFiles::describe() const
{
    QStringList parts;
    switch (archive) {
    case Done::Nothing:
        break;
    case Done::Moved:
        parts << QStringLiteral("the archive of an earlier version, %1, was moved to %2")
                     .arg(earlierArchive, currentArchive);
        break;
    case Done::Merged:
        parts << QStringLiteral("the archive of an earlier version, %1, was merged into %2 (new "
                                "to it: %3 downloads, %4 records, %5 parameter reads, %6 setting "
                                "changes) and kept as %7")
                     .arg(earlierArchive, currentArchive)
                     .arg(merged.downloads)
                     .arg(merged.records)
                     .arg(merged.reads)
                     .arg(merged.changes)
                     .arg(archiveAside);
        break;
    case Done::Failed:
        parts << QStringLiteral("the archive of an earlier version, %1, was not moved or merged "
                                "into %2 (%3); both were left as they were, the next start tries "
                                "again")
                     .arg(earlierArchive, currentArchive, error);
        break;
    }
    switch (settings) {
    case Done::Nothing:
        break;
    case Done::Moved:
        parts << QStringLiteral("the window's settings were moved from %1 to %2")
                     .arg(earlierSettings, currentSettings);
        break;
    case Done::Merged:
        parts << QStringLiteral(
                     "the window's earlier settings, %1, were added to %2 and kept as %3")
                     .arg(earlierSettings, currentSettings, settingsAside);
        break;
    case Done::Failed:
        parts << QStringLiteral("the window's earlier settings, %1, were not moved to %2 (%3)")
                     .arg(earlierSettings, currentSettings, settingsError);
        break;
    }
    return parts.join(QLatin1String("; "));
}
