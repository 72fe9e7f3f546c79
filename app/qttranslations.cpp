#include "qttranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool installQtTranslations(QCoreApplication *app)
{
    auto *translator = new QTranslator(app);
    const QString folders[] = {QLibraryInfo::location(QLibraryInfo::TranslationsPath),
                               QCoreApplication::applicationDirPath() +
                                   QStringLiteral("/translations")};
    for (const QString &folder : folders) {
        if (translator->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
            app->installTranslator(translator);
            return true;
        }
    }
    delete translator;
    return false;
}
