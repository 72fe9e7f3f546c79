// Qt's own texts (file dialogs, message box buttons, context menus) in the
// user's language.
#pragma once

class QCoreApplication;

// Installs Qt's translation for the system locale from Qt's translations
// folder, or from "translations" beside the program (a Windows copy). False,
// with Qt's English texts kept, when neither holds one.
bool installQtTranslations(QCoreApplication *app);
