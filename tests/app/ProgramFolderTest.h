#pragma once
// The common fixture of the application tests: a program folder of the test's own (setup.ini,
// databases and log files go there), a fixed clock and the message boxes shown.

#include "lib/quorvel/Tmysystem.h"
#include "platform/Application.h"
#include "platform/DateTime.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

class ProgramFolderTest : public ::testing::Test {
protected:
    explicit ProgramFolderTest(platform::TDateTime now) : FNow(now) {}

    QTemporaryDir dir;
    QStringList boxes;

    void SetUp() override {
        quorvel::Tmysystem::OverrideDirectory(dir.path());
        platform::Application().MessageBoxHook = [this](const QString& text, const QString&, bool) {
            boxes << text;
        };
        const platform::TDateTime now = FNow;
        platform::SetClock([now] { return now; });
    }
    void TearDown() override {
        quorvel::Tmysystem::OverrideDirectory(QString());
        platform::Application().MessageBoxHook = nullptr;
        platform::SetClock({});
    }
    void Ini(const QByteArray& content) {
        QFile f(dir.filePath(QStringLiteral("setup.ini")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

private:
    platform::TDateTime FNow;
};
