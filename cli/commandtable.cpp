#include "commandtable.h"

#include "archivecommands.h"
#include "instrumentcommands.h"
#include "pagercommands.h"
#include "plotcommand.h"
#include "reviewcommands.h"
#ifndef Q_OS_WIN
#include "station.h"
#endif
#include "wearercommands.h"

namespace {

// Options of the commands that talk to a pager.
#ifndef Q_OS_WIN
const QStringList pagerOptions{"serial", "usb-id", "usb-trace"};
#else
const QStringList pagerOptions{"serial"};
#endif

const QStringList reportOptions{"csv", "format", "jsonl", "pdf", "calibration-date"};

} // namespace

const QList<ToolCommand> &toolCommands()
{
    static const QList<ToolCommand> table{
        {"params", "", "serial number, clocks and settings", pagerOptions, true, true, &runParams,
         nullptr, nullptr, nullptr},
        {"info", "", "the pager's information reply", pagerOptions, true, false, &runInfo, nullptr,
         nullptr, nullptr},
        {"set-time", "[yyyy-MM-dd HH:mm:ss]",
         "set the pager's clock (default: now) and read it\n"
         "back; 1999-01-01 00:00 to 2030-11-24 20:15 only",
         pagerOptions, true, true, &runSetTime, nullptr, nullptr, nullptr},
        {"set-interval", "MINUTES", "history interval, 0 to 65535", pagerOptions, true, true,
         &runSetInterval, nullptr, nullptr, nullptr},
        {"set-neutron-sigma", "X", "number of sigmas of the neutron channel", pagerOptions, true,
         true, &runSetRegister, nullptr, nullptr, nullptr},
        {"set-gamma-sigma", "X", "number of sigmas of the gamma channel", pagerOptions, true, true,
         &runSetRegister, nullptr, nullptr, nullptr},
        {"set-threshold", "X", "dose-rate alarm threshold, Sv/h", pagerOptions, true, true,
         &runSetRegister, nullptr, nullptr, nullptr},
        {"history", "",
         "download the history, one tab-separated row a line;\n"
         "no CSV or PDF is written when no record came",
         pagerOptions + reportOptions + QStringList{"dump", "set-clock-beyond"}, true, true,
         &runHistory, nullptr, nullptr, nullptr},
#ifndef Q_OS_WIN
        {"station",
         "",
         "a download station: until stopped, reads every pager\n"
         "that arrives into the archive (see man dr7326g-cli)",
         {"usb-id", "usb-trace", "set-clock-beyond", "again-after", "on-event", "event-timeout",
          "policy"},
         false,
         true,
         &runStation,
         nullptr,
         nullptr,
         nullptr},
#endif
        {"decode", "FILE",
         "the rows of a history dump, without a pager, with\n"
         "the dates of the zone the download was made in",
         reportOptions + QStringList{"serial"}, false, false, &runDecode, nullptr, nullptr,
         nullptr},
        {"fleet", "check|apply",
         "the pagers' settings against the lab's policy\n"
         "(--policy FILE): check lists what the archive\n"
         "(or --server) last heard that deviates, status 7\n"
         "when any; apply changes it on the pagers attached",
         pagerOptions + QStringList{"policy"}, true, true, &runFleet, nullptr, nullptr, nullptr},
        // Plot is made of widgets and needs a QApplication of its own, as the
        // groups do; their options are their own parsers'.
        {"plot",
         "FILE --png|--pdf OUT",
         "the history plot of a dump (PNG, or PDF A4)",
         {},
         false,
         false,
         nullptr,
         &isPlotCommand,
         &runPlotCommand,
         nullptr},
        {"archive",
         "COMMAND",
         "the archive (see 'dr7326g-cli archive --help'):",
         {},
         false,
         false,
         nullptr,
         &isArchiveCommand,
         &runArchiveCommand,
         &archiveCommandsHelp},
        {"instruments",
         "COMMAND",
         "the pagers' calibrations (see 'dr7326g-cli instruments --help'):",
         {},
         false,
         false,
         nullptr,
         &isInstrumentCommand,
         &runInstrumentCommand,
         &instrumentCommandsHelp},
        {"wearers",
         "COMMAND",
         "who wore which pager (see 'dr7326g-cli wearers --help'):",
         {},
         false,
         false,
         nullptr,
         &isWearerCommand,
         &runWearerCommand,
         &wearerCommandsHelp},
        {"review",
         "COMMAND",
         "the downloads to review and their sign-off (see 'dr7326g-cli review --help'):",
         {},
         false,
         false,
         nullptr,
         &isReviewCommand,
         &runReviewCommand,
         &reviewCommandsHelp},
    };
    return table;
}

const ToolCommand *findToolCommand(const QString &name)
{
    for (const ToolCommand &command : toolCommands())
        if (name == QLatin1String(command.name))
            return &command;
    return nullptr;
}

QString toolCommandsHelp()
{
    // The name and arguments in a column of 27, the help after it.
    const int column = 27;
    const QString indent(2 + column, QLatin1Char(' '));
    QString help;
    for (const ToolCommand &command : toolCommands()) {
        QString label = QLatin1String(command.name);
        if (*command.arguments)
            label += QLatin1Char(' ') + QLatin1String(command.arguments);
        label = label.size() < column ? label.leftJustified(column) : label + QStringLiteral("   ");
        const QStringList lines = QString::fromUtf8(command.help).split(QLatin1Char('\n'));
        help += QStringLiteral("  ") + label + lines.first() + QLatin1Char('\n');
        for (const QString &line : lines.mid(1))
            help += indent + line + QLatin1Char('\n');
        if (command.subcommandsHelp)
            help += command.subcommandsHelp();
    }
    return help;
}
