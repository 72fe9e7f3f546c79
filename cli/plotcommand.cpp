#include "plotcommand.h"

#include "exitcodes.h"
#include "historydump.h"
#include "historyplot.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QTextStream>

#include <cstring>
#include <utility>

namespace {

int fail(int code, const QString &message)
{
    QTextStream err(stderr);
    err << "dr7326g-cli: " << message << "\n";
    if (code == ExitUsage)
        err << "Try 'dr7326g-cli --help'.\n";
    return code;
}

} // namespace

bool isPlotCommand(int argc, char **argv)
{
    // The tool's options that take a value in the next argument.
    const char *const withValue[] = {
        "--png", "--pdf", "--csv", "--dump", "--serial", "--calibration-date", "--archive"};
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (arg[0] == '-') {
            for (const char *option : withValue)
                if (!std::strcmp(arg, option))
                    ++i;
            continue;
        }
        return !std::strcmp(arg, "plot");
    }
    return false;
}

int runPlotCommand(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption pngOption(QStringLiteral("png"),
                                       QStringLiteral("plot: write the plot as a PNG image"),
                                       QStringLiteral("FILE"));
    const QCommandLineOption pdfOption(QStringLiteral("pdf"),
                                       QStringLiteral("plot: write the plot as an A4 PDF page"),
                                       QStringLiteral("FILE"));
    parser.setApplicationDescription(
        QStringLiteral("dr7326g-cli plot DUMP --png FILE | --pdf FILE\n"
                       "Draws the history of a dump: dose rate, count rates and alarms."));
    parser.addOptions({pngOption, pdfOption});
    const QCommandLineOption helpOption = parser.addHelpOption();
    if (!parser.parse(QCoreApplication::arguments()))
        return fail(ExitUsage, parser.errorText());
    if (parser.isSet(helpOption)) {
        QTextStream(stdout) << parser.helpText();
        return ExitOk;
    }
    const QStringList args = parser.positionalArguments();
    if (args.size() != 2)
        return fail(ExitUsage, QStringLiteral("plot takes DUMP"));
    if (!parser.isSet(pngOption) && !parser.isSet(pdfOption))
        return fail(ExitUsage, QStringLiteral("plot needs --png FILE or --pdf FILE"));

    // The format follows the file name, so it must agree with the option.
    for (const auto &[option, suffix] :
         {std::pair(&pngOption, ".png"), std::pair(&pdfOption, ".pdf")})
        if (parser.isSet(*option) &&
            !parser.value(*option).endsWith(QLatin1String(suffix), Qt::CaseInsensitive))
            return fail(ExitUsage, QStringLiteral("--%1 FILE must end in %2")
                                       .arg(option->names().constFirst(), QLatin1String(suffix)));

    QFile file(args.at(1));
    if (!file.open(QIODevice::ReadOnly))
        return fail(ExitFailure, QStringLiteral("cannot read %1").arg(file.fileName()));
    HistoryDump dump;
    QString error;
    if (!readHistoryDump(file.readAll(), &dump, &error))
        return fail(ExitFailure, QStringLiteral("%1: %2").arg(file.fileName(), error));
    QList<HistoryRecord *> records;
    const bool complete = decodeHistoryDump(dump, records);
    int code = ExitOk;
    for (const QCommandLineOption *option : {&pngOption, &pdfOption}) {
        if (!parser.isSet(*option))
            continue;
        const QString target = parser.value(*option);
        if (!renderHistoryPlot(records, dump.serialNumber, dump.timeZone(), target, &error))
            code = fail(ExitFailure, QStringLiteral("%1 not written: %2").arg(target, error));
    }
    qDeleteAll(records);
    if (code == ExitOk && !complete)
        return fail(ExitIncomplete, QStringLiteral("history incomplete: the dump lacks pages or "
                                                   "holds damaged ones; the plot shows the rest"));
    return code;
}
