#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KOVI Zelto - TREL - Inventário"));
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("KOVI Zelto - TREL - Inventário"));
    window.resize(1024, 720);
    window.show();
    return app.exec();
}
