#pragma once
// The application's main window for a benchmark: setup.ini and the logs in a folder of the
// benchmark's, no daily trigger, and the message boxes it would show collected in Boxes instead.
// All of that is undone when it goes.

#include "app/Unit1.h"
#include "lib/quorvel/Tmysystem.h"
#include "platform/Application.h"

#include <QString>
#include <memory>

class TBenchWindow {
public:
    explicit TBenchWindow(const QString& folder, TFormOptions options = {}) {
        quorvel::Tmysystem::OverrideDirectory(folder);
        platform::Application().MessageBoxHook = [this](const QString& text, const QString&, bool) {
            Boxes += text;
        };
        try {
            options.DailyTrigger = false;
            Form = std::make_unique<TForm1>(nullptr, options);
        } catch (...) {
            Undo();
            throw;
        }
    }
    ~TBenchWindow() {
        Form.reset();
        Undo();
    }
    TBenchWindow(const TBenchWindow&) = delete;
    TBenchWindow& operator=(const TBenchWindow&) = delete;

    QString Boxes;
    std::unique_ptr<TForm1> Form;

private:
    static void Undo() {
        platform::Application().MessageBoxHook = nullptr;
        quorvel::Tmysystem::OverrideDirectory(QString());
    }
};
