#pragma once
// Qt's own texts (file dialogs, message box buttons, context menus) in
// Portuguese: Qt's Brazilian Portuguese translation, or the Portuguese one
// when that is missing, from Qt's translations folder.

// Installs the translation on the running application once; false when
// neither file could be loaded (the texts then stay in English).
bool LoadQtTranslations();
