#pragma once
// Application services behind seams: processing pending events, the modal message box and the
// default exception display. Tests and headless runs replace the hooks.

#include <QString>
#include <exception>
#include <functional>

namespace platform {

class TApplication {
public:
    static TApplication& Instance();

    // Full path of the running executable (its real path, links resolved).
    QString ExeName() const;
    // The executable's file name without directory, cut at its first dot, every letter after the
    // first in lower case; SetTitle overrides it.
    QString Title() const;
    void SetTitle(const QString& title) { FTitle = title; }

    void ProcessMessages();
    // Modal message box with an OK button, titled with the application title.
    void ShowMessage(const QString& text);
    // Error box for an exception that escaped an event handler (EAbort is silent).
    void ShowException(const std::exception& e);
    // Call inside a catch block: shows the exception being handled.
    void HandleException();

    // Seams. Empty hooks mean the real behaviour (Qt event loop, QMessageBox; on the offscreen
    // platform the texts go to standard error instead of a box nobody can close).
    std::function<void()> ProcessMessagesHook;
    std::function<void(const QString& text, const QString& caption, bool isError)> MessageBoxHook;

private:
    TApplication() = default;
    void Box(const QString& text, bool isError);
    QString FTitle;
};

inline TApplication& Application() {
    return TApplication::Instance();
}

QString TitleFromExeName(const QString& exePath);
// The message as the error box shows it: a full stop appended when the last character's code
// is above that of the full stop.
QString ExceptionDisplayText(const QString& message);

// Runs f; an exception is handed to the default exception display instead of crossing the
// event loop.
template <class F> void Guarded(F&& f) {
    try {
        f();
    } catch (...) {
        Application().HandleException();
    }
}

} // namespace platform
