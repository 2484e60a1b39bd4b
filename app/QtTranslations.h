#pragma once
// Qt's own texts (file dialogs, message box buttons, context menus) in
// Portuguese: Qt's Brazilian Portuguese translation, or the Portuguese one
// when that is missing, from Qt's translations folder; and the few texts
// that Qt's file lacks (the file dialog's "Folder" and "Drive" among them),
// from a table of our own.
// Installs the translations on the running application once; false when
// Qt's file could not be loaded (its texts then stay in English; our own
// table is installed all the same).
bool LoadQtTranslations();

