#include "review.h"

#include <QRegularExpression>

unsigned reviewReasons(const DownloadFacts &facts)
{
    unsigned reasons = 0;
    if (facts.alarms > 0)
        reasons |= reviewreason::Alarm;
    if (facts.thresholds > 0)
        reasons |= reviewreason::Threshold;
    if (facts.flagged > 0)
        reasons |= reviewreason::Flagged;
    if (facts.overdue)
        reasons |= reviewreason::Overdue;
    return reasons;
}

namespace {

struct ReasonWords
{
    unsigned bit;
    const char *name;
    const char *text;
};

const ReasonWords reasonWords[] = {
    {reviewreason::Alarm, "alarm", "тревога"},
    {reviewreason::Threshold, "threshold", "превышение порога МЭД"},
    {reviewreason::Flagged, "flagged", "записи с отметками"},
    {reviewreason::Overdue, "overdue", "поверка просрочена"},
};

} // namespace

QString reviewReasonsText(unsigned reasons)
{
    QStringList words;
    for (const ReasonWords &w : reasonWords)
        if (reasons & w.bit)
            words << QString::fromUtf8(w.text);
    return words.join(QStringLiteral(", "));
}

QString reviewReasonsNames(unsigned reasons)
{
    QStringList words;
    for (const ReasonWords &w : reasonWords)
        if (reasons & w.bit)
            words << QLatin1String(w.name);
    return words.join(QLatin1Char(','));
}

QString signatureMeaningName(SignatureMeaning meaning)
{
    switch (meaning) {
    case SignatureMeaning::Remarks:
        return QStringLiteral("remarks");
    case SignatureMeaning::Rejected:
        return QStringLiteral("rejected");
    case SignatureMeaning::Accepted:
        break;
    }
    return QStringLiteral("accepted");
}

bool signatureMeaningFromName(const QString &name, SignatureMeaning *meaning)
{
    for (const SignatureMeaning m :
         {SignatureMeaning::Accepted, SignatureMeaning::Remarks, SignatureMeaning::Rejected})
        if (name == signatureMeaningName(m)) {
            *meaning = m;
            return true;
        }
    return false;
}

QString signatureMeaningText(SignatureMeaning meaning, const QString &note)
{
    switch (meaning) {
    case SignatureMeaning::Remarks:
        return QStringLiteral("Принято с замечаниями: %1").arg(note);
    case SignatureMeaning::Rejected:
        return QStringLiteral("Отклонено: %1").arg(note);
    case SignatureMeaning::Accepted:
        break;
    }
    return note.isEmpty() ? QStringLiteral("Проверено") : QStringLiteral("Проверено: %1").arg(note);
}

QString signatureLine(const ArchiveSignature &s)
{
    return QStringLiteral("Проверил: %1, %2, %3")
        .arg(s.signer, s.signedAt.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm")),
             signatureMeaningText(s.meaning, s.note));
}

bool isRightsRefusal(const QString &error)
{
    return error.contains(QLatin1String("(42501)")) ||
           error.contains(QLatin1String("permission denied"));
}
