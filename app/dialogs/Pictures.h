#pragma once
// The pictures of the dialogs (intro, about box, banner, tool-button
// glyphs, sort arrows): our own SVG drawings in the library's resources
// (":/dialogs/<name>.svg").
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

// Registers the library's resources; every user of a picture calls it
// (the library is static, so nothing registers them on its own).
void InitDialogPictures();
// The picture rendered at the size (its own size when size is empty);
// a null pixmap when there is no such picture.
QPixmap DialogPicture(const QString& name, QSize size = QSize());
// The picture as an icon for tool buttons.
QIcon DialogIcon(const QString& name);
