// The commands of dr7326g-cli that talk to a pager (params, info, set-time,
// set-interval, set-neutron-sigma, set-gamma-sigma, set-threshold, history)
// and decode, which reads a dump without one. Each is run by the command
// table (commandtable.h) once main has parsed the tool's options.
#pragma once

#include <QDate>
#include <QStringList>
#include <QTextStream>

#include <functional>

class Archive;
class ArchiveServer;
class PagerLink;
class QCommandLineParser;

QTextStream &out();
QTextStream &err();

// Tells a usage error with the hint to --help; returns the usage status.
int usage(const QString &message);

// What a pager command runs with: the link (its wanted serial set), the
// tool's parsed options, the command's name and the arguments after it.
struct PagerCommandContext
{
    PagerLink &link;
    const QCommandLineParser &parser;
    QString command;
    QStringList args;
    // --csv, --format, --jsonl, --pdf and --calibration-date (or its
    // default), checked by main.
    QString csv;
    bool machineCsv;
    QString jsonl;
    QString pdf;
    QDate calibrationDate;
};

// The run's archive (made by main after the application object, so that
// it closes before it), the lab's server it is synchronised to after a
// command stored something (not set when none is named), and what opens
// the archive before the pager is asked (once the arguments are good).
void setRunArchive(Archive *archive);
ArchiveServer &runServer();
void setOpenArchiveBeforePager(std::function<void()> open);
// The run's archive; opened by the first call here (once the arguments are
// good), which says whether it is open.
Archive &runArchive();
bool openRunArchive();
// Makes the command's status 1 where it would have been 0.
void markArchiveWriteFailed();
// The run's archive (open once a pager command opened it), and telling that
// something was not stored in it (which makes the status 1).
Archive &runArchive();
void warnArchiveWrite(const QString &error);

// Runs `action` in a connection to each pager attached, or to the one
// --serial names (link.wantedSerial), one after the other; then sends what
// was stored to the lab's server. The status is the first that was not 0.
int withEachPager(PagerLink &link, const std::function<int()> &action);

int runParams(PagerCommandContext &context);
int runInfo(PagerCommandContext &context);
int runSetTime(PagerCommandContext &context);
int runSetInterval(PagerCommandContext &context);
int runSetRegister(
    PagerCommandContext &context); // set-neutron-sigma, set-gamma-sigma, set-threshold
int runHistory(PagerCommandContext &context);
int runDecode(PagerCommandContext &context);
int runFleet(PagerCommandContext &context); // fleetcommands.cpp
