// dr7326g-cli fleet check|apply --policy FILE: the pagers' settings against
// the lab's settings policy (settingspolicy.h). check compares what each
// pager last reported to the archive (this PC's, or the lab server's with
// --server); apply reads the pagers attached and changes what deviates, each
// change read back and logged as a set- command's (settingchange.h).
#include "archivecommands.h"
#include "exitcodes.h"
#include "pagercommands.h"
#include "pagerlink.h"
#include "settingchange.h"
#include "terminaltext.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QSet>

namespace {

int check(PagerCommandContext &context, const SettingsPolicy &policy)
{
    const QCommandLineParser &parser = context.parser;
    if (parser.isSet(QStringLiteral("no-archive")))
        return usage(QStringLiteral("fleet check reads the archive: --no-archive is for apply"));
    Archive archive;
    QString error;
    if (parser.isSet(QStringLiteral("server"))) {
        if (!archive.openServer(runServer(), &error)) {
            err() << "dr7326g-cli: " << error << "\n";
            return ExitFailure;
        }
    } else {
        const QString file = parser.isSet(QStringLiteral("archive"))
                                 ? parser.value(QStringLiteral("archive"))
                                 : defaultArchiveFile(err());
        // Checking makes no archive where there was none.
        if (!QFileInfo::exists(file)) {
            err() << "dr7326g-cli: no archive " << file << "\n";
            return ExitFailure;
        }
        if (!archive.open(file, Archive::OpenMode::Browse, &error)) {
            err() << "dr7326g-cli: " << error << "\n";
            return ExitFailure;
        }
    }
    const QList<ArchivePager> pagers = archive.pagers(&error);
    if (!error.isEmpty()) {
        err() << "dr7326g-cli: " << error << "\n";
        return ExitFailure;
    }
    const QString only = parser.value(QStringLiteral("serial"));
    QSet<QString> known;
    bool any = false;
    out() << "serial\tsetting\treported\twanted\n";
    for (const ArchivePager &p : pagers) {
        known << p.serialNumber;
        if (!only.isEmpty() && p.serialNumber != only)
            continue;
        QHash<QString, QString> reported;
        for (const QString &name : policySettingNames())
            reported.insert(name, archive.lastReportedValue(p.serialNumber, name));
        for (const SettingDeviation &d : policyDeviations(policy, p.serialNumber, reported)) {
            out() << shownRow({d.serialNumber, d.setting, d.reported, d.wanted}) << "\n";
            any = true;
        }
    }
    for (auto it = policy.pagerLines.cbegin(); it != policy.pagerLines.cend(); ++it)
        if (!known.contains(it.key()))
            err() << "dr7326g-cli: " << parser.value(QStringLiteral("policy")) << ":" << it.value()
                  << ": pager " << it.key() << " is not in the archive\n";
    if (!only.isEmpty() && !known.contains(only)) {
        err() << "dr7326g-cli: no pager " << only << " in the archive\n";
        return ExitFailure;
    }
    return any ? ExitAttention : ExitOk;
}

int apply(PagerCommandContext &context, const SettingsPolicy &policy)
{
    PagerLink &link = context.link;
    bool heading = false;
    return withEachPager(link, [&] {
        const PolicyApplication done = applySettingsPolicy(link, runArchive(), policy);
        for (const QString &error : done.archiveErrors)
            warnArchiveWrite(error);
        if (!heading)
            out() << "serial\tsetting\treported\twanted\toutcome\n";
        heading = true;
        int code = ExitOk;
        for (int i = 0; i < done.changes.size(); ++i) {
            const SettingDeviation &d = done.deviations.at(i);
            const SettingChange &c = done.changes.at(i);
            out() << shownRow(
                         {d.serialNumber, d.setting, d.reported, d.wanted, settingChangeText(c)})
                  << "\n";
            const int status = c.outcome == SettingOutcome::Stored     ? ExitOk
                               : c.outcome == SettingOutcome::NoAnswer ? ExitNoPager
                                                                       : ExitRefused;
            if (code == ExitOk)
                code = status;
        }
        out().flush();
        if (!done.unanswered.isEmpty()) {
            err() << "dr7326g-cli: pager " << link.serialNumber
                  << " did not answer: " << done.unanswered.join(QStringLiteral(", ")) << "\n";
            if (code == ExitOk)
                code = ExitNoPager;
        } else if (done.deviations.isEmpty()) {
            err() << "dr7326g-cli: pager " << link.serialNumber << ": as the policy wants\n";
        }
        return code;
    });
}

} // namespace

int runFleet(PagerCommandContext &context)
{
    const QString action = context.args.value(0);
    if (context.args.size() != 1 ||
        (action != QLatin1String("check") && action != QLatin1String("apply")))
        return usage(QStringLiteral("fleet takes check or apply"));
    const QString file = context.parser.value(QStringLiteral("policy"));
    if (file.isEmpty())
        return usage(QStringLiteral("fleet %1 wants --policy FILE").arg(action));
    SettingsPolicy policy;
    QStringList problems;
    if (!readSettingsPolicy(file, &policy, &problems)) {
        for (const QString &problem : problems)
            err() << "dr7326g-cli: " << shownText(problem) << "\n";
        err() << "dr7326g-cli: the policy is not used: nothing was "
              << (action == QLatin1String("check") ? "checked" : "changed") << "\n";
        return ExitFailure;
    }
    return action == QLatin1String("check") ? check(context, policy) : apply(context, policy);
}
