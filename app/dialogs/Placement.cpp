#include "app/dialogs/Placement.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QWidget>

namespace {

// A window of the same owner stands this far from the one before it.
constexpr int kCascade = 24;

// The frame a window manager puts around a window: the owner's, when it
// shows one; else none is known (the frame is made when the window is).
QMargins FrameOf(const QWidget* owner) {
    if (!owner || !owner->isVisible()) return {};
    const QRect inner = owner->geometry(), outer = owner->frameGeometry();
    return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
            outer.bottom() - inner.bottom()};
}

// Whether another window of the owner is shown with its corner there.
bool Taken(const QWidget& window, const QWidget* owner, QPoint corner) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != &window && w != owner && w->isVisible() && w->parentWidget() == owner && w->pos() == corner)
            return true;
    return false;
}

class TFirstShow : public QObject {
public:
    explicit TFirstShow(QWidget& window) : QObject(&window) { window.installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            watched->removeEventFilter(this);
            PlaceOnScreen(*static_cast<QWidget*>(watched));
            deleteLater();
        }
        return false;
    }
};

// Gives the hint pause to each control when its first hint is asked for.
class THintPause : public QObject {
public:
    THintPause(QObject* parent, int milliseconds) : QObject(parent), pause_(milliseconds) {}
    void SetPause(int milliseconds) { pause_ = milliseconds; }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ToolTip && watched->isWidgetType()) {
            auto* w = static_cast<QWidget*>(watched);
            if (w->toolTipDuration() < 0) w->setToolTipDuration(pause_);
        }
        return false;
    }

private:
    int pause_;
};

}  // namespace

void CloseOnEscape(QWidget& window) {
    auto* close = new QAction(&window);
    close->setShortcut(Qt::Key_Escape);
    close->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(close, &QAction::triggered, &window, &QWidget::close);
    window.addAction(close);
}

void SetHintHidePause(int milliseconds) {
    static THintPause* filter = nullptr;
    if (!filter) {
        filter = new THintPause(QCoreApplication::instance(), milliseconds);
        QCoreApplication::instance()->installEventFilter(filter);
    }
    filter->SetPause(milliseconds);
    for (QWidget* w : QApplication::allWidgets())
        if (w->toolTipDuration() < 0) w->setToolTipDuration(milliseconds);
}

Qt::WindowFlags OwnedWindowFlags(const QWidget* owner) {
    if (!owner) return Qt::Window;
    return Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
           Qt::WindowCloseButtonHint;
}

void PlaceOnFirstShow(QWidget& window) { new TFirstShow(window); }

void PlaceOnScreen(QWidget& window) {
    QWidget* owner = window.parentWidget() ? window.parentWidget()->window() : QApplication::activeWindow();
    if (owner == &window || (owner && !owner->isVisible())) owner = nullptr;
    QScreen* screen = owner ? owner->screen() : window.screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    const QMargins frame = FrameOf(owner);
    const QSize room = area.size().shrunkBy(frame);
    window.resize(window.size().boundedTo(room).expandedTo(window.minimumSize()));

    QRect outer(QPoint(0, 0), window.size().grownBy(frame));
    outer.moveCenter(owner ? owner->frameGeometry().center() : area.center());
    auto fit = [&area](QRect r) {
        if (r.right() > area.right()) r.moveRight(area.right());
        if (r.bottom() > area.bottom()) r.moveBottom(area.bottom());
        if (r.left() < area.left()) r.moveLeft(area.left());
        if (r.top() < area.top()) r.moveTop(area.top());
        return r;
    };
    outer = fit(outer);
    // Not exactly over a window of the same owner: a step down and right,
    // while the screen has room for it.
    for (int i = 0; i < 16 && Taken(window, owner, outer.topLeft()); ++i) {
        const QRect next = fit(outer.translated(kCascade, kCascade));
        if (next == outer) break;
        outer = next;
    }
    // A window's position is that of its frame.
    window.move(outer.topLeft());
}
