// Arbitrary bytes as the lab's settings policy file. Besides memory faults,
// the run stops when the parse says yes with problems or no without one,
// when a problem names a line the text does not have, or when a policy taken
// does not come back the same from the file written out of it (a wanted value
// that would not parse again, or another pager's section).
#include "settingspolicy.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool condition, int line)
{
    if (condition)
        return;
    std::fprintf(stderr, "fuzz_settingspolicy.cpp:%d: check failed\n", line);
    std::abort();
}
#define check(condition) check(condition, __LINE__)

QByteArray section(const QString &name, const SettingsPolicy::Settings &settings)
{
    QByteArray text = "[" + name.toUtf8() + "]\n";
    for (auto it = settings.cbegin(); it != settings.cend(); ++it)
        text += it.key().toUtf8() + " = " + it.value().toUtf8() + "\n";
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), int(qMin<std::size_t>(size, 8192)));
    SettingsPolicy policy;
    QList<PolicyProblem> problems;
    const bool ok = parseSettingsPolicy(text, &policy, &problems);
    check(ok == problems.isEmpty());
    const int lines = int(text.count('\n')) + 1;
    for (const PolicyProblem &p : problems)
        check(p.line >= 0 && p.line <= lines && !p.message.isEmpty());
    if (!ok)
        return 0;
    QByteArray again = section(QStringLiteral("all"), policy.all);
    for (auto it = policy.pagers.cbegin(); it != policy.pagers.cend(); ++it)
        again += section(it.key(), it.value());
    SettingsPolicy back;
    check(parseSettingsPolicy(again, &back, &problems));
    check(back.all == policy.all && back.pagers == policy.pagers);
    return 0;
}
