#include "settingchange.h"

#include "pagerlink.h"
#include "settingvalues.h"

namespace {

struct SettingAccess
{
    const char *name;
    // The value as the pager reports it; empty when it did not answer.
    QString (*read)(PagerLink &link);
    bool (*write)(PagerLink &link, float value);
    // The value as the pager keeps it, as it reports it.
    QString (*kept)(float value);
};

QString told(bool ok, const QString &text)
{
    return ok ? text : QString();
}

QString keptSigma(float value)
{
    return renderSetting(sigmaAsKept(value));
}

QString keptMinutes(float value)
{
    return QString::number(unsigned(value));
}

const SettingAccess settingAccess[] = {
    {setting::gammaSigma,
     [](PagerLink &link) {
         bool ok = false;
         const float v = link.readGammaSigma(&ok);
         return told(ok, renderSetting(v));
     },
     [](PagerLink &link, float v) { return link.writeGammaSigma(v); }, &keptSigma},
    {setting::neutronSigma,
     [](PagerLink &link) {
         bool ok = false;
         const float v = link.readNeutronSigma(&ok);
         return told(ok, renderSetting(v));
     },
     [](PagerLink &link, float v) { return link.writeNeutronSigma(v); }, &keptSigma},
    {setting::doseRateThreshold,
     [](PagerLink &link) {
         bool ok = false;
         const float v = link.readDoseRateThreshold(&ok);
         return told(ok, renderSetting(v));
     },
     [](PagerLink &link, float v) { return link.writeDoseRateThreshold(v); }, &renderSetting},
    {setting::historyInterval,
     [](PagerLink &link) {
         bool ok = false;
         const int v = link.readHistoryInterval(&ok);
         return told(ok, QString::number(v));
     },
     [](PagerLink &link, float v) { return link.setHistoryInterval(unsigned(v)); }, &keptMinutes},
};

const SettingAccess *accessOf(const QString &name)
{
    for (const SettingAccess &a : settingAccess)
        if (name == QLatin1String(a.name))
            return &a;
    return nullptr;
}

} // namespace

SettingChange changeSetting(PagerLink &link, Archive &archive, const QString &setting, float value)
{
    SettingChange change;
    change.setting = setting;
    const SettingAccess *access = accessOf(setting);
    if (!access)
        return change;
    change.sent = access->kept(value);
    const bool accepted = access->write(link, value);
    const bool answered = link.lastRequestAnswered();
    // Taken: read back, and the pager's clock kept with the change.
    QVariant clockOffset;
    if (accepted) {
        change.readBack = access->read(link);
        clockOffset = link.readClockOffset();
    }
    change.outcome = !accepted                        ? settingOutcome(false, answered)
                     : change.readBack == change.sent ? SettingOutcome::Stored
                                                      : SettingOutcome::NotConfirmed;
    if (archive.isOpen())
        archive.storeSettingChange(link.serialNumber, setting, change.sent, change.outcome,
                                   &change.archiveError, clockOffset);
    return change;
}

QString settingChangeText(const SettingChange &change)
{
    switch (change.outcome) {
    case SettingOutcome::Stored:
        return QStringLiteral("set");
    case SettingOutcome::Refused:
        return QStringLiteral("refused");
    case SettingOutcome::NotConfirmed:
        return change.readBack.isEmpty() ? QStringLiteral("not read back")
                                         : QStringLiteral("reads back %1").arg(change.readBack);
    case SettingOutcome::NoAnswer:
        break;
    }
    return QStringLiteral("no answer");
}

bool PolicyApplication::complete() const
{
    for (const SettingChange &c : changes)
        if (c.outcome != SettingOutcome::Stored)
            return false;
    return unanswered.isEmpty();
}

PolicyApplication applySettingsPolicy(PagerLink &link, Archive &archive,
                                      const SettingsPolicy &policy)
{
    PolicyApplication result;
    const SettingsPolicy::Settings wanted = policy.wantedFor(link.serialNumber);
    ParameterRead read;
    read.serialNumber = link.serialNumber;
    QHash<QString, QString> reported;
    for (const QString &name : policySettingNames()) {
        const SettingAccess *access = accessOf(name);
        if (!wanted.contains(name) || !access)
            continue;
        const QString value = access->read(link);
        if (value.isEmpty()) {
            result.unanswered << name;
            continue;
        }
        reported.insert(name, value);
        read.values.append({name, value});
    }
    QString error;
    if (archive.isOpen() && !read.values.isEmpty() && !archive.storeParameterRead(read, &error))
        result.archiveErrors << error;
    for (const SettingDeviation &d : policyDeviations(policy, link.serialNumber, reported)) {
        if (result.unanswered.contains(d.setting))
            continue;
        result.deviations << d;
        const SettingChange change =
            changeSetting(link, archive, d.setting, *parseSettingNumber(d.wanted));
        if (!change.archiveError.isEmpty())
            result.archiveErrors << change.archiveError;
        result.changes << change;
    }
    return result;
}
