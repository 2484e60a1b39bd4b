#pragma once
// The dialog of the windows' "Salvar Como...": it takes a name only in a
// folder that exists. A name in a folder that does not exist is refused
// with a message naming the folder, and the dialog stays open for another.
#include <QFileDialog>

class TSaveFileDialog : public QFileDialog {
public:
    TSaveFileDialog(QWidget* parent, const QString& title);
    void accept() override;
    // The message that refuses the name, or empty when its folder exists.
    static QString MissingFolder(const QString& file);
};
