// dr7326g-cli plot DUMP --png FILE | --pdf FILE: the history plot of a dump,
// drawn without a display.
#pragma once

// Whether the command line asks for the plot command (its first argument
// after the options is "plot").
bool isPlotCommand(int argc, char **argv);

// Runs the plot command with its own QApplication (the plot is made of
// widgets); returns the tool's exit status.
int runPlotCommand(int argc, char **argv);
