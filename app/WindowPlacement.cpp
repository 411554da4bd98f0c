#include "WindowPlacement.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QTimer>
#include <QWidget>

namespace {

// How long to wait for the window manager's frame: checked every 50 ms, for at most 3 s.
constexpr int kFrameCheckInterval = 50;
constexpr int kFrameChecks = 60;

void MoveFrameToCentre(QWidget* window, const QRect& area) {
    QRect frame(QPoint(), window->frameGeometry().size());
    frame.moveCenter(area.center());
    // A window's position is that of its frame.
    window->move(frame.topLeft());
}

} // namespace

void ShowCentred(QWidget* window) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        window->show();
        return;
    }
    const QRect area = screen->availableGeometry();
    MoveFrameToCentre(window, area);
    window->show();
    auto* check = new QTimer(window);
    check->setInterval(kFrameCheckInterval);
    QObject::connect(check, &QTimer::timeout, window, [window, area, check, left = kFrameChecks]() mutable {
        const bool framed = window->frameGeometry().size() != window->size();
        if (framed) MoveFrameToCentre(window, area);
        if (framed || --left <= 0) check->deleteLater();
    });
    check->start();
}
