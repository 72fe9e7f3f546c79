// dr7326g-cli review ...: the downloads to review and their sign-off, from
// the shell: 'pending' lists those nobody has signed, 'sign' appends a
// signature (never a change in place) to this PC's archive, or with
// --server to the lab's server, where only its reviewers may sign.
#pragma once

#include <QStringList>
#include <QTextStream>

// Whether the command line asks for the review group (its first argument
// after the options is "review").
bool isReviewCommand(int argc, char **argv);

// Runs the group with its own application object.
int runReviewCommand(int argc, char **argv);

// The group on a command line (program name first), writing to the streams
// given: what runReviewCommand does once the application exists.
int runReviewGroup(const QStringList &arguments, QTextStream &out, QTextStream &err);

// The group's lines for the tool's --help.
QString reviewCommandsHelp();

// What to tell on stderr when the lab's server refused `what` ("sign",
// "store") for lack of rights, naming the role that has them; empty when
// `error` is no such refusal.
QString rightsRefusalText(const QString &what, const QString &role, const QString &error);
