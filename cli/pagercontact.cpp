#include "pagercontact.h"

#include "historydump.h"
#include "settingvalues.h"

#include <QTimeZone>

namespace {

const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QString unanswered = QStringLiteral("?");

} // namespace

QVariant PagerParameters::clockOffset() const
{
    return deviceTime.isValid() ? QVariant(pcTime.secsTo(deviceTime)) : QVariant();
}

PagerParameters readPagerParameters(PagerLink &link)
{
    PagerParameters p;
    auto value = [&](bool ok, const QString &text, const char *name) {
        if (!ok)
            p.unanswered << QLatin1String(name);
        p.values.append({QLatin1String(name), ok ? text : unanswered});
    };
    bool ok = false;
    p.pcTime = QDateTime::currentDateTime();
    const QDateTime device = link.readDeviceTime(&ok);
    if (ok)
        p.deviceTime = device;
    value(ok, device.toString(timeFormat), setting::deviceTime);
    const float neutron = link.readNeutronSigma(&ok);
    value(ok, renderSetting(neutron), setting::neutronSigma);
    const float gamma = link.readGammaSigma(&ok);
    value(ok, renderSetting(gamma), setting::gammaSigma);
    const float threshold = link.readDoseRateThreshold(&ok);
    value(ok, renderSetting(threshold), setting::doseRateThreshold);
    const int interval = link.readHistoryInterval(&ok);
    value(ok, QString::number(interval), setting::historyInterval);
    return p;
}

bool storePagerParameters(Archive &archive, const QString &serialNumber,
                          const PagerParameters &parameters, QString *error)
{
    ParameterRead read;
    read.serialNumber = serialNumber;
    read.clockOffset = parameters.clockOffset();
    for (const auto &value : parameters.values)
        if (value.second != unanswered)
            read.values.append(value);
    return archive.storeParameterRead(read, error);
}

ClockSetting setPagerClock(PagerLink &link, const QDateTime &t, Archive &archive)
{
    ClockSetting c;
    c.sent = t;
    c.outcome = link.setDeviceTimeConfirmed(t, &c.readBack);
    const SettingOutcome logged = c.confirmed()                ? SettingOutcome::Stored
                                  : link.lastRequestAnswered() ? SettingOutcome::NotConfirmed
                                                               : SettingOutcome::NoAnswer;
    const QVariant offset = c.readBack.isValid()
                                ? QVariant(QDateTime::currentDateTime().secsTo(c.readBack))
                                : QVariant();
    if (archive.isOpen())
        archive.storeSettingChange(link.serialNumber, QLatin1String(setting::deviceTime),
                                   t.toString(timeFormat), logged, &c.archiveProblem, offset);
    return c;
}

ArchiveOutcome PagerDownload::outcome() const
{
    return result.complete() ? ArchiveOutcome::Complete
           : result.stopped  ? ArchiveOutcome::Stopped
                             : ArchiveOutcome::Incomplete;
}

PagerDownload downloadPagerHistory(PagerLink &link, Archive &archive, bool keepPages,
                                   HistoryProgressFunction progress,
                                   const HistoryStopFunction &stop)
{
    PagerDownload d;
    link.readInfo();
    d.dump.serialNumber = link.serialNumber;
    d.dump.downloadedAt = QDateTime::currentDateTime();
    d.dump.timeZoneId = QTimeZone::systemTimeZoneId();
    HistoryPageSink sink;
    if (keepPages || archive.isOpen())
        sink = [&d](const QByteArray &reply) { d.dump.pages.append(reply); };
    d.result = downloadHistory(link, d.records, progress, sink, stop);
    flagDownloadedRecords(
        d.dump, d.records,
        archive.isOpen()
            ? archive.lastReportedValue(link.serialNumber, QLatin1String(setting::historyInterval))
                  .toInt()
            : 0);
    // The clock's offset, kept with the download: read after it, so that a
    // pager that stopped answering is not asked again.
    if (d.result.complete()) {
        bool read = false;
        const QDateTime pc = QDateTime::currentDateTime();
        const QDateTime device = link.readDeviceTime(&read);
        if (read)
            d.clockOffset = pc.secsTo(device);
    }
    // What was read is kept, however the download ended.
    if (archive.isOpen() && d.dump.holdsReplies()) {
        d.storeTried = true;
        d.stored =
            archive.storeHistory(d.dump, d.outcome(), QStringLiteral("download"), d.clockOffset);
    }
    return d;
}
