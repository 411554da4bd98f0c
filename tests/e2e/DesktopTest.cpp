// The program's window on a virtual X server with a window manager (openbox) and a notification
// area (trayer) that starts only after the program: where the window first shows, and that
// "Do ikony" never leaves it unreachable. Skipped where those programs are not installed.

#include "ProgramFixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPoint>
#include <QRect>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <functional>
#include <memory>

namespace {

bool WaitFor(const std::function<bool()>& done, int ms = 30000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QThread::msleep(100);
    }
    return true;
}

struct DesktopTest : ProgramFixture {
    QString display;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    std::vector<std::unique_ptr<QProcess>> started; // stopped in reverse order

    void TearDown() override {
        for (auto it = started.rbegin(); it != started.rend(); ++it) {
            (*it)->terminate();
            if (!(*it)->waitForFinished(5000)) (*it)->kill(), (*it)->waitForFinished(5000);
        }
    }
    QProcess* Start(const QString& program, const QStringList& args, const QString& workDir = QString()) {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(env);
        if (!workDir.isEmpty()) p->setWorkingDirectory(workDir);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(program, args);
        EXPECT_TRUE(p->waitForStarted()) << program.toStdString();
        started.push_back(std::move(p));
        return started.back().get();
    }
    QString X(const QString& program, const QStringList& args) const {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(program, args);
        p.waitForFinished(10000);
        return QString::fromLocal8Bit(p.readAllStandardOutput());
    }
    // The client area from xwininfo and the frame around it from _NET_FRAME_EXTENTS.
    QRect Frame(const QString& window) const {
        const QString info = X(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window});
        auto number = [&](const char* label) {
            const auto m =
                QRegularExpression(QString::fromLatin1(label) + QStringLiteral(":\\s+(-?\\d+)")).match(info);
            return m.hasMatch() ? m.captured(1).toInt() : 0;
        };
        const QString extents =
            X(QStringLiteral("xprop"), {QStringLiteral("-id"), window, QStringLiteral("_NET_FRAME_EXTENTS")});
        const auto m = QRegularExpression(QStringLiteral("= (\\d+), (\\d+), (\\d+), (\\d+)")).match(extents);
        if (!m.hasMatch()) return {};
        const int left = m.captured(1).toInt(), right = m.captured(2).toInt();
        const int top = m.captured(3).toInt(), bottom = m.captured(4).toInt();
        return QRect(number("Absolute upper-left X") - left, number("Absolute upper-left Y") - top,
                     number("Width") + left + right, number("Height") + top + bottom);
    }
    QString State(const QString& window) const {
        return X(QStringLiteral("xprop"), {QStringLiteral("-id"), window, QStringLiteral("WM_STATE")});
    }
    bool Viewable(const QString& window) const {
        return X(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window})
            .contains(QStringLiteral("IsViewable"));
    }
    // The centre of the program's icon in the notification area (once it has settled there);
    // (-1, -1) while there is none.
    QPoint Icon() const {
        const QString tree =
            X(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
        const auto m =
            QRegularExpression(
                QStringLiteral("\"tarvelo\": \\(\"tarvelo\" "
                               "\"tarvelo\"\\)\\s+(\\d+)x(\\d+)\\+-?\\d+\\+-?\\d+\\s+\\+(\\d+)\\+(\\d+)"))
                .match(tree);
        if (!m.hasMatch()) return {-1, -1};
        return {m.captured(3).toInt() + m.captured(1).toInt() / 2,
                m.captured(4).toInt() + m.captured(2).toInt() / 2};
    }
    QPoint SettledIcon() const {
        const QPoint p = Icon();
        if (p.x() <= 0) return {-1, -1};
        QThread::msleep(500);
        return Icon() == p ? p : QPoint(-1, -1);
    }
    void Click(const QStringList& where) {
        X(QStringLiteral("xdotool"), QStringList{"mousemove"} + where + QStringList{"click", "1"});
    }
};

} // namespace

TEST_F(DesktopTest, WindowCentredByItsFrameAndReachableThroughANotificationAreaThatComesLater) {
    for (const char* tool : {"Xvfb", "openbox", "trayer", "xdotool", "xwininfo", "xprop"})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            GTEST_SKIP() << tool << " is not installed (scripts/setup-deps installs it)";
    Databases(QString(), QString());
    Settings("");

    for (int n = 200 + QCoreApplication::applicationPid() % 300;; ++n)
        if (!QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n))) {
            display = QStringLiteral(":%1").arg(n);
            break;
        }
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    // No reset when the last client goes: the server would refuse connections while it resets
    // after the readiness check's own client, and the window manager could not connect.
    Start(QStringLiteral("Xvfb"), {display, "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"});
    ASSERT_TRUE(
        WaitFor([&] { return X(QStringLiteral("xwininfo"), {"-root"}).contains(QStringLiteral("Width")); }));
    Start(QStringLiteral("openbox"), {});
    ASSERT_TRUE(WaitFor([&] {
        return X(QStringLiteral("xprop"), {"-root", "_NET_SUPPORTING_WM_CHECK"})
            .contains(QStringLiteral("window id"));
    }));

    // The program starts first, the notification area later (as at log-in when autostart wins).
    Start(exe, {}, dir.path());
    QString window;
    ASSERT_TRUE(WaitFor([&] {
        window = X(QStringLiteral("xdotool"), {"search", "--name", "^Tarvelo    ver 2.0$"})
                     .section(QLatin1Char('\n'), 0, 0);
        return !window.isEmpty() && Viewable(window);
    })) << "the window did not show";

    // The frame, title bar included, is centred on the 1024 x 768 screen.
    QRect frame;
    WaitFor(
        [&] {
            frame = Frame(window);
            return !frame.isEmpty() && std::abs(frame.center().y() - 383) <= 1 &&
                   std::abs(frame.center().x() - 511) <= 1;
        },
        5000);
    EXPECT_NEAR(frame.x() + frame.width() / 2.0, 512, 1.5)
        << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
    EXPECT_NEAR(frame.y() + frame.height() / 2.0, 384, 1.5)
        << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();

    // Without a notification area "Do ikony" minimises: the window manager can bring it back.
    Click({"--window", window, "212", "161"});
    ASSERT_TRUE(WaitFor([&] { return State(window).contains(QStringLiteral("Iconic")); }))
        << State(window).toStdString();
    X(QStringLiteral("xdotool"), {"windowactivate", window});
    ASSERT_TRUE(WaitFor([&] { return Viewable(window); }));

    // The area appears: the icon goes into it, "Do ikony" hides, the icon brings the window back.
    QProcess* tray = Start(QStringLiteral("trayer"), {"--edge", "bottom", "--align", "right", "--widthtype",
                                                      "request", "--height", "24"});
    QPoint icon;
    ASSERT_TRUE(WaitFor([&] { return (icon = SettledIcon()).x() >= 0; }))
        << "no icon in the notification area";
    Click({"--window", window, "212", "161"});
    ASSERT_TRUE(WaitFor([&] { return !Viewable(window); }));
    Click({QString::number(icon.x()), QString::number(icon.y())});
    ASSERT_TRUE(WaitFor([&] { return Viewable(window); }))
        << "the icon at " << icon.x() << "," << icon.y() << " did not bring the window back";

    // The area restarts: the icon goes into the new one.
    tray->terminate();
    tray->waitForFinished(5000);
    ASSERT_TRUE(WaitFor([&] { return Icon().x() < 0; }));
    Start(QStringLiteral("trayer"),
          {"--edge", "bottom", "--align", "right", "--widthtype", "request", "--height", "24"});
    EXPECT_TRUE(WaitFor([&] { return SettledIcon().x() >= 0; }))
        << "no icon in the restarted notification area";
}
