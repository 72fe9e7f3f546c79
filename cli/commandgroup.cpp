#include "commandgroup.h"

#include <cstring>

QStringList commandWords(const QStringList &arguments, TakesValue takesValue)
{
    QStringList words;
    for (int i = 1; i < arguments.size(); ++i) {
        if (arguments.at(i).startsWith(QLatin1Char('-'))) {
            i += takesValue(arguments.at(i)) ? 1 : 0;
            continue;
        }
        words << arguments.at(i);
    }
    return words;
}

bool commandLineNames(int argc, char **argv, const char *group, TakesValue takesValue)
{
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-') {
            i += takesValue(QString::fromLocal8Bit(argv[i])) ? 1 : 0;
            continue;
        }
        return !std::strcmp(argv[i], group);
    }
    return false;
}
