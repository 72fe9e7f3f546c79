// The lab's settings policy: the settings every pager should have, and those
// of single pagers that differ, read from an INI file:
//
//     # the lab's pagers
//     [all]
//     gamma-sigma = 3
//     neutron-sigma = 3.5
//     dose-rate-threshold = 1e-5
//     history-interval = 10
//
//     [05A00317]
//     dose-rate-threshold = 2e-5
//
// Contract:
//  - Lines are "[section]", "key = value", blank, or comments starting with
//    '#' or ';'. A section is "all" or a serial number (serialnumber.h); a
//    pager's section overrides [all] setting by setting.
//  - Keys are the settings' names as the archive logs them (settingnames.h).
//    Numbers are written as the set- commands take them ('.' or ',').
//  - Every line that is none of these, a key outside a section, an unknown
//    key, a key or section given twice, a value that is no number, lies
//    outside the setting's usual band (settingbands.h) or that the pager
//    cannot keep (sigmas in whole tenths) is a problem with its line; the
//    policy is taken only without problems. A file that wants no setting is
//    one too.
//  - Wanted values are kept as the pager reports them (renderSetting), so
//    that a reported value compares as text after the same rendering.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

struct SettingsPolicy
{
    // Setting name -> wanted value, as the pager reports it.
    using Settings = QMap<QString, QString>;
    Settings all;
    QHash<QString, Settings> pagers; // by serial number
    QHash<QString, int> pagerLines;  // the line of each pager's section

    // What the policy wants of the pager: [all], overridden by its section.
    Settings wantedFor(const QString &serialNumber) const;
};

struct PolicyProblem
{
    int line = 0; // from 1; 0 for the file as a whole
    QString message;
};

// The settings a policy may name, in the order they are listed.
const QStringList &policySettingNames();

// Parses the text of a policy file; false with the problems when it has any.
bool parseSettingsPolicy(const QByteArray &text, SettingsPolicy *policy,
                         QList<PolicyProblem> *problems);

// Reads and parses the file; each problem as "FILE:LINE: message" (or
// "FILE: message") in `problems`.
bool readSettingsPolicy(const QString &fileName, SettingsPolicy *policy, QStringList *problems);

// One setting of a pager that is not as the policy wants it.
struct SettingDeviation
{
    QString serialNumber;
    QString setting;
    QString reported; // as reported; empty when nothing is known
    QString wanted;
};

// The settings the policy wants of the pager whose reported value (by
// setting name; missing or empty: not known) is another, or not known, in
// the order of policySettingNames().
QList<SettingDeviation> policyDeviations(const SettingsPolicy &policy, const QString &serialNumber,
                                         const QHash<QString, QString> &reported);
