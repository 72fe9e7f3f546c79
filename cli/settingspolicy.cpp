#include "settingspolicy.h"

#include "registervalue.h"
#include "serialnumber.h"
#include "settingbands.h"
#include "settingnames.h"
#include "settingvalues.h"

#include <QFile>

#include <cmath>
#include <optional>

namespace {

const QString allSection = QStringLiteral("all");

struct PolicySetting
{
    const char *name;
    SettingKind kind;
};

const PolicySetting policySettings[] = {
    {setting::gammaSigma, SettingKind::Sigma},
    {setting::neutronSigma, SettingKind::Sigma},
    {setting::doseRateThreshold, SettingKind::DoseRateThreshold},
    {setting::historyInterval, SettingKind::HistoryInterval},
};

const PolicySetting *findSetting(const QString &name)
{
    for (const PolicySetting &s : policySettings)
        if (name == QLatin1String(s.name))
            return &s;
    return nullptr;
}

// The value as the pager would report it; empty with *why when it is none
// the policy can want.
QString wantedValue(const PolicySetting &s, const QString &text, QString *why)
{
    const SettingBand band = usualSettingBand(s.kind);
    const QString bandText = QStringLiteral("%1 to %2").arg(band.low).arg(band.high);
    if (s.kind == SettingKind::HistoryInterval) {
        const auto minutes = parseHistoryInterval(text);
        if (!minutes || isUnusualSetting(s.kind, *minutes)) {
            *why = QStringLiteral("%1 wants whole minutes, %2: %3").arg(s.name, bandText, text);
            return QString();
        }
        return QString::number(*minutes);
    }
    const auto value = parseSettingNumber(text);
    if (!value || isUnusualSetting(s.kind, double(*value))) {
        *why = QStringLiteral("%1 wants a number from %2: %3").arg(s.name, bandText, text);
        return QString();
    }
    if (s.kind == SettingKind::Sigma && std::abs(sigmaAsKept(*value) - *value) > 1e-6f * *value) {
        *why = QStringLiteral("%1: the pager keeps whole tenths, %2 would be kept as %3")
                   .arg(s.name, text.trimmed(), renderSetting(sigmaAsKept(*value)));
        return QString();
    }
    return renderSetting(s.kind == SettingKind::Sigma ? sigmaAsKept(*value) : *value);
}

// Whether the reported text stands for the wanted value.
bool sameValue(const QString &reported, const QString &wanted)
{
    const auto value = parseSettingNumber(reported);
    return value && renderSetting(*value) == wanted;
}

} // namespace

SettingsPolicy::Settings SettingsPolicy::wantedFor(const QString &serialNumber) const
{
    Settings wanted = all;
    const Settings own = pagers.value(serialNumber);
    for (auto it = own.cbegin(); it != own.cend(); ++it)
        wanted.insert(it.key(), it.value());
    return wanted;
}

const QStringList &policySettingNames()
{
    static const QStringList names = [] {
        QStringList list;
        for (const PolicySetting &s : policySettings)
            list << QLatin1String(s.name);
        return list;
    }();
    return names;
}

bool parseSettingsPolicy(const QByteArray &text, SettingsPolicy *policy,
                         QList<PolicyProblem> *problems)
{
    *policy = SettingsPolicy();
    problems->clear();
    const auto problem = [problems](int line, const QString &message) {
        problems->append({line, message});
    };
    QByteArray bytes = text;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    const QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    QHash<QString, int> sectionLines;
    QHash<QString, int> keyLines; // "section\nkey"
    SettingsPolicy::Settings *section = nullptr;
    QString sectionName;
    for (int i = 0; i < lines.size(); ++i) {
        const int number = i + 1;
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) ||
            line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            section = nullptr;
            sectionName = line;
            if (!line.endsWith(QLatin1Char(']'))) {
                problem(number, QStringLiteral("a section's name ends with ']'"));
                continue;
            }
            const QString name = line.mid(1, line.size() - 2).trimmed();
            if (sectionLines.contains(name)) {
                problem(number, QStringLiteral("section [%1] given twice (first on line %2)")
                                    .arg(name)
                                    .arg(sectionLines.value(name)));
                continue;
            }
            if (name != allSection && !isSerialNumber(name)) {
                problem(number, QStringLiteral("a section is [all] or a pager's serial number: %1")
                                    .arg(serialNumberProblem(name)));
                continue;
            }
            sectionName = name;
            sectionLines.insert(sectionName, number);
            if (sectionName == allSection) {
                section = &policy->all;
            } else {
                section = &policy->pagers[sectionName];
                policy->pagerLines.insert(sectionName, number);
            }
            continue;
        }
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals < 0) {
            problem(number, QStringLiteral("not \"key = value\", a [section] or a comment"));
            continue;
        }
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        const PolicySetting *s = findSetting(key);
        if (!s) {
            problem(number, QStringLiteral("unknown setting \"%1\" (known: %2)")
                                .arg(key, policySettingNames().join(QStringLiteral(", "))));
            continue;
        }
        if (sectionName.isEmpty()) {
            problem(number, QStringLiteral("%1 outside a section ([all] or [SERIAL])").arg(key));
            continue;
        }
        const QString where = sectionName + QLatin1Char('\n') + key;
        if (keyLines.contains(where)) {
            problem(number, QStringLiteral("%1 given twice in [%2] (first on line %3)")
                                .arg(key, sectionName)
                                .arg(keyLines.value(where)));
            continue;
        }
        keyLines.insert(where, number);
        QString why;
        const QString wanted = wantedValue(*s, value, &why);
        if (wanted.isEmpty())
            problem(number, why);
        else if (section)
            section->insert(key, wanted);
    }
    if (problems->isEmpty() && keyLines.isEmpty())
        problem(0, QStringLiteral("it wants no setting"));
    return problems->isEmpty();
}

bool readSettingsPolicy(const QString &fileName, SettingsPolicy *policy, QStringList *problems)
{
    problems->clear();
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        problems->append(QStringLiteral("%1: %2").arg(fileName, file.errorString()));
        return false;
    }
    QList<PolicyProblem> found;
    if (parseSettingsPolicy(file.readAll(), policy, &found))
        return true;
    for (const PolicyProblem &p : found)
        problems->append(p.line > 0
                             ? QStringLiteral("%1:%2: %3").arg(fileName).arg(p.line).arg(p.message)
                             : QStringLiteral("%1: %2").arg(fileName, p.message));
    return false;
}

QList<SettingDeviation> policyDeviations(const SettingsPolicy &policy, const QString &serialNumber,
                                         const QHash<QString, QString> &reported)
{
    QList<SettingDeviation> list;
    const SettingsPolicy::Settings wanted = policy.wantedFor(serialNumber);
    for (const QString &name : policySettingNames()) {
        if (!wanted.contains(name))
            continue;
        const QString value = reported.value(name);
        if (!sameValue(value, wanted.value(name)))
            list.append({serialNumber, name, value, wanted.value(name)});
    }
    return list;
}
