#include "Application.h"

#include "Exceptions.h"

#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>

namespace platform {

TApplication& TApplication::Instance() {
    static TApplication app;
    return app;
}

QString TApplication::ExeName() const {
    const QString real = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (!real.isEmpty()) return real;
    return QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
}

QString TitleFromExeName(const QString& exePath) {
    QString name = QFileInfo(exePath).fileName();
    const int dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0) name.truncate(dot);
    if (name.size() > 1) name = name.left(1) + name.mid(1).toLower();
    return name;
}

QString TApplication::Title() const {
    return FTitle.isEmpty() ? TitleFromExeName(ExeName()) : FTitle;
}

QString ExceptionDisplayText(const QString& message) {
    if (!message.isEmpty() && message.back().unicode() > u'.') return message + QLatin1Char('.');
    return message;
}

void TApplication::ProcessMessages() {
    if (ProcessMessagesHook) {
        ProcessMessagesHook();
        return;
    }
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

void TApplication::Box(const QString& text, bool isError) {
    if (MessageBoxHook) {
        MessageBoxHook(text, Title(), isError);
        return;
    }
    const bool canShow = qobject_cast<QApplication*>(QCoreApplication::instance()) &&
                         QGuiApplication::platformName() != QLatin1String("offscreen") &&
                         QGuiApplication::platformName() != QLatin1String("minimal");
    if (!canShow) {
        std::fprintf(stderr, "%s: %s\n", Title().toLocal8Bit().constData(), text.toLocal8Bit().constData());
        return;
    }
    QMessageBox box(isError ? QMessageBox::Critical : QMessageBox::NoIcon, Title(), text, QMessageBox::Ok);
    box.exec();
}

void TApplication::ShowMessage(const QString& text) {
    Box(text, false);
}

void TApplication::ShowException(const std::exception& e) {
    if (dynamic_cast<const EAbort*>(&e)) return;
    if (const auto* pe = dynamic_cast<const Exception*>(&e)) {
        Box(ExceptionDisplayText(pe->Message()), true);
        return;
    }
    Box(ExceptionDisplayText(QString::fromUtf8(e.what())), true);
}

void TApplication::HandleException() {
    try {
        throw;
    } catch (const std::exception& e) {
        ShowException(e);
    } catch (...) {
        Box(QStringLiteral("Unknown exception."), true);
    }
}

} // namespace platform
