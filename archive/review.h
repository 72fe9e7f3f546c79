// Review and sign-off of downloads.
//
// A download is to be reviewed when the records it brought first hold an
// alarm (gamma 'A' or neutron 'N'), a dose-rate threshold row ('e') or a
// record that looks wrong (historyflags.h), or when its pager was overdue
// for calibration when it was made (calibration.h). The reasons are worked
// out once, when the download is stored, and kept with it (a bit each), so
// that the list of downloads to review reads no record.
//
// A signature is an event of the archive: who signed which download, when,
// and what it means (accepted, accepted with remarks, rejected, with a
// note). It is appended, never changed; a later one adds to the earlier. It
// names its download by pager and dump digest, which is the download's
// identity on every archive it is copied to, and is sent to the lab's
// server by a sync like the other events.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace reviewreason {
enum : unsigned {
    Alarm = 1,     // a gamma or neutron alarm among its new records
    Threshold = 2, // a dose-rate threshold row among them
    Flagged = 4,   // a record among them that looks wrong
    Overdue = 8,   // the pager was overdue for calibration at the download
};
}

// What a download brought that decides whether it is reviewed.
struct DownloadFacts
{
    qint64 alarms = 0;     // new records that are alarms
    qint64 thresholds = 0; // new records that are threshold rows
    qint64 flagged = 0;    // new records flagged
    bool overdue = false;  // made on or after the pager's calibration due date
};

// The reasons (reviewreason bits) the download is to be reviewed for; 0:
// it is not.
unsigned reviewReasons(const DownloadFacts &facts);

// The reasons as words: Russian for the window and the journal ("тревога,
// превышение порога МЭД, ..."), English names for the command line
// ("alarm,threshold,flagged,overdue").
QString reviewReasonsText(unsigned reasons);
QString reviewReasonsNames(unsigned reasons);

enum class SignatureMeaning { Accepted, Remarks, Rejected };
QString signatureMeaningName(SignatureMeaning meaning); // accepted, remarks, rejected
// False for a name that is none of them.
bool signatureMeaningFromName(const QString &name, SignatureMeaning *meaning);

struct ArchiveSignature
{
    QString uid; // the same on every archive
    QString serialNumber;
    QString digest; // the download's dump digest
    QString signer;
    QDateTime signedAt;
    SignatureMeaning meaning = SignatureMeaning::Accepted;
    QString note;
    QString pc; // the PC it was entered on
};

// What a signature says, in Russian: «Проверено», «Принято с замечаниями:
// note», «Отклонено: note».
QString signatureMeaningText(SignatureMeaning meaning, const QString &note);
// The journal's line of a signature: "Проверил: name, dd.MM.yyyy HH:mm, meaning".
QString signatureLine(const ArchiveSignature &signature);

// A download to review, or one a period covers, with its signatures (the
// earliest first).
struct ArchiveReview
{
    qint64 downloadId = 0;
    QString serialNumber;
    QDateTime downloadedAt; // when the dump did not say: when it was stored
    unsigned reasons = 0;
    QList<ArchiveSignature> signatures;
};

// The roles of the lab's server (made by 'archive server-setup --roles'):
// technicians store downloads, reads, changes, calibrations and
// assignments; reviewers do that and sign; auditors only read.
namespace serverrole {
const char technicians[] = "dr7326g_technicians";
const char reviewers[] = "dr7326g_reviewers";
const char auditors[] = "dr7326g_auditors";
} // namespace serverrole

// Whether a server's error is its refusal for lack of rights (SQLSTATE
// 42501): the user's role does not allow what was asked, which is no fault
// of the connection.
bool isRightsRefusal(const QString &error);
