#include "Unit1.h"

#include "lib/quorvel/Tmylib.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(true);
    (void)mylib;

    TForm1 form;
    QWidget* window = form.Window();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        window->move(screen->availableGeometry().center() - window->rect().center());
    window->show();
    return app.exec();
}
