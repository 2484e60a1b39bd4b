#include "app/dialogs/Pictures.h"

#include <QPainter>
#include <QSvgRenderer>

// Outside any namespace: Q_INIT_RESOURCE names a global function.
void InitDialogPictures() {
    static const bool done = [] {
        Q_INIT_RESOURCE(dialogs);
        return true;
    }();
    (void)done;
}

namespace {
QString PicturePath(const QString& name) { return QStringLiteral(":/dialogs/") + name + QStringLiteral(".svg"); }
}  // namespace

QPixmap DialogPicture(const QString& name, QSize size) {
    InitDialogPictures();
    QSvgRenderer renderer(PicturePath(name));
    if (!renderer.isValid()) return QPixmap();
    if (size.isEmpty()) size = renderer.defaultSize();
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    return pixmap;
}

QIcon DialogIcon(const QString& name) {
    InitDialogPictures();
    return QIcon(PicturePath(name));
}
