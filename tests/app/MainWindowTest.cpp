// The main window on the offscreen platform: layout, buttons, the notification-area icon and the
// information panel.
#include "FirebirdScript.h"
#include "ProgramFolderTest.h"
#include "app/Unit1.h"
#include "lib/quorvel/Tmysystem.h"
#include "platform/Application.h"
#include "platform/DateTime.h"
#include "ui/htmllabel/MarkupLabel.h"
#include "ui/htmllabel/MiniHtml.h"
#include "ui/htmllabel/RecordingSurface.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace platform;

namespace {

struct MainWindowTest : ProgramFolderTest {
    MainWindowTest() : ProgramFolderTest(EncodeDate(2024, 3, 5) + EncodeTime(10, 0, 0, 0)) {}

    // Both databases with one mould counted from 100 cycles; without Formy only Vorek exists.
    void Databases(bool formy = true) {
        QString script = QStringLiteral("create database '%1' user 'SYSDBA' default character set WIN1250;\n"
                                        "input '%2vorek.sql';\ncommit;\n"
                                        "insert into tools_data (id_t, cx) values (70, 100);\ncommit;\n")
                             .arg(dir.filePath(QStringLiteral("vorek_mes.fdb")),
                                  QStringLiteral(TARVELO_SOURCE_DIR "/scripts/sql/"));
        if (formy)
            script += QStringLiteral("create database '%1' user 'SYSDBA' default character set WIN1250;\n"
                                     "input '%2formy.sql';\ncommit;\n"
                                     "insert into formy (id, nazwa, kod1, counter, countmode, id_vorek) "
                                     "values (7, 'A', 'K', 1, 1, 70);\ncommit;\n")
                          .arg(dir.filePath(QStringLiteral("formy_db.fdb")),
                               QStringLiteral(TARVELO_SOURCE_DIR "/scripts/sql/"));
        RunIsql(script);
        Ini("[sql]\nformy=" + dir.path().toUtf8() + "/\nvorek=" + dir.path().toUtf8() + "/\n[set]\nlog=1\n");
    }
    QStringList LogFiles() const {
        return QDir(dir.path()).entryList({QStringLiteral("log_*")}, QDir::Files);
    }
};

bool InkAt(const QImage& img, int x, int y) {
    return qGray(img.pixel(x, y)) < 128;
}

} // namespace

TEST_F(MainWindowTest, ControlsTextsGeometryAndTabOrder) {
    TForm1 form;
    QWidget* w = form.Window();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Tarvelo    ver 2.0"));
    EXPECT_EQ(w->size(), QSize(783, 517));
    EXPECT_EQ(w->font().family(), QStringLiteral("Arial"));
    EXPECT_EQ(w->font().pixelSize(), 12);
    EXPECT_EQ(w->palette().color(QPalette::Window), w->palette().color(QPalette::Button));
    EXPECT_FALSE(w->windowIcon().isNull());
    EXPECT_EQ(form.MarkupLabel1->pos(), QPoint(8, 8));
    EXPECT_TRUE(form.MarkupLabel1->Transparent());
    QPlainTextEdit* memo = form.Memo1->Widget();
    EXPECT_EQ(memo->geometry(), QRect(0, 180, 783, 337));
    EXPECT_EQ(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_FALSE(memo->isReadOnly());
    EXPECT_EQ(form.Memo1->Text(), QStringLiteral("Memo1"));
    EXPECT_EQ(form.Button1->text(), QStringLiteral("Ręczny start"));
    EXPECT_EQ(form.Button1->geometry(), QRect(8, 149, 161, 25));
    EXPECT_EQ(form.Button2->text(), QStringLiteral("Do ikony"));
    EXPECT_EQ(form.Button2->geometry(), QRect(175, 149, 75, 25));
    ASSERT_NE(form.TrayIcon1, nullptr);
    EXPECT_EQ(form.TrayIcon1->toolTip(), Application().Title());
    EXPECT_FALSE(form.TrayIcon1->icon().isNull());

    // Tab order: the log view, then the two buttons.
    QList<QWidget*> order;
    for (QWidget* x = w->nextInFocusChain(); x != w; x = x->nextInFocusChain())
        if (x == memo || x == form.Button1 || x == form.Button2) order << x;
    EXPECT_EQ(order, (QList<QWidget*>{memo, form.Button1, form.Button2}));

    // The log view stays docked to the bottom edge at its height.
    w->show();
    w->resize(900, 600);
    EXPECT_EQ(memo->geometry(), QRect(0, 263, 900, 337));
}

TEST_F(MainWindowTest, ManualStartRunsAtOnceAndLeavesTheLatch) {
    Databases();
    TForm1 form;
    ASSERT_TRUE(boxes.isEmpty()) << boxes.join('\n').toStdString();
    for (bool latch : {false, true}) {
        form.f_blokady = latch;
        form.Button1->click();
        ASSERT_TRUE(form.LastRun().Completed);
        EXPECT_EQ(form.LastRun().Moulds.at(0).NewCounter, 100);
        EXPECT_EQ(form.f_blokady, latch);
    }
    EXPECT_EQ(LogFiles(), QStringList{QStringLiteral("log_2024_3.txt")});
}

TEST_F(MainWindowTest, ManualStartAfterAFailedConnectShowsTheErrorAndWritesNoFile) {
    Databases(false);
    TForm1 form;
    ASSERT_EQ(boxes.size(), 1);
    form.Button1->click();
    EXPECT_EQ(boxes.size(), 2);
    EXPECT_FALSE(form.LastRun().Completed);
    EXPECT_TRUE(form.Memo1->Text().endsWith(QStringLiteral("   start sesji")))
        << form.Memo1->Text().toStdString();
    EXPECT_TRUE(LogFiles().isEmpty());
}

TEST_F(MainWindowTest, HideToTheIconAndBackOrMinimiseWithoutANotificationArea) {
    TForm1 form;
    QWidget* w = form.Window();
    w->show();
    form.TrayAvailable = [] { return true; };
    form.WatchTray(); // the program sees the notification area and shows its icon there
    form.Button2->click();
    EXPECT_FALSE(w->isVisible());
    emit form.TrayIcon1->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(w->isMinimized());

    form.TrayAvailable = [] { return false; };
    form.Button2->click();
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->isMinimized());
    emit form.TrayIcon1->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(w->isMinimized());
}

TEST_F(MainWindowTest, TheIconWaitsForANotificationAreaAndDoIkonyHidesOnlyWhenItIsThere) {
    // Started before the desktop's notification area exists (the offscreen desktop has none).
    TForm1 form;
    QWidget* w = form.Window();
    w->show();
    bool area = false;
    form.TrayAvailable = [&] { return area; };
    form.Button2->click();
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->isMinimized());
    emit form.TrayIcon1->activated(QSystemTrayIcon::Trigger);

    area = true;
    QElapsedTimer clock;
    clock.start();
    while (!form.TrayIconShown() && clock.elapsed() < 3000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_TRUE(form.TrayIcon1->isVisible()) << "the icon did not come with the notification area";
    form.Button2->click();
    EXPECT_FALSE(w->isVisible());
    emit form.TrayIcon1->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(w->isVisible());
    // Minimised once before, the window may be mapped minimised: the restore finishes the job.
    w->setWindowState(Qt::WindowMinimized);
    EXPECT_FALSE(w->isMinimized());

    // An area without the icon in it cannot bring the window back.
    form.TrayIcon1->hide();
    form.Button2->click();
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->isMinimized());
}

TEST_F(MainWindowTest, InformationPanelShowsPathsWithAmpersandAndLessThanAsWritten) {
    Ini("[sql]\nformy=/srv/R&D/formy/\nvorek=/srv/dane<2024/\n[set]\nlog=1\n");
    TForm1 form;
    htmllabel::TRecordingSurface s;
    htmllabel::TMiniHtmlResult r;
    htmllabel::DrawMiniHtml(s, form.MarkupLabel1->JoinedText(), {0, 0, 2000, 2000}, {}, r);
    const QString shown = htmllabel::TRecordingSurface::StripPrefix(s.Texts().join(QString()));
    EXPECT_TRUE(shown.contains(QStringLiteral("/srv/R&D/formy/formy_db.fdb"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("/srv/dane<2024/vorek_mes.fdb"))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("Załączony log operacji "))) << shown.toStdString();
}

TEST_F(MainWindowTest, TextTypedIntoTheLogIsSavedAtTheNextRun) {
    Databases();
    TForm1 form;
    QPlainTextEdit* memo = form.Memo1->Widget();
    QTextCursor cursor = memo->textCursor();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QStringLiteral("\nnotatka zmiany: wymiana gniazda"));
    form.Button1->click();
    QFile f(dir.filePath(QStringLiteral("log_2024_3.txt")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray saved = f.readAll();
    EXPECT_TRUE(saved.contains("\r\nnotatka zmiany: wymiana gniazda\r\n")) << saved.toStdString();
    EXPECT_TRUE(saved.contains("start sesji"));
}

TEST_F(MainWindowTest, InformationPanelPlacesPathsAtTheIndentAndFitsTheText) {
    Ini("[sql]\nformy=/srv/dane/\nvorek=/srv/mes/\n[set]\nhistoria=1\nlog=1\n");
    TForm1 form;
    htmllabel::TMarkupLabel* label = form.MarkupLabel1;
    EXPECT_EQ(label->HTMLText(), QStringList{form.InfoText()});
    EXPECT_EQ(label->pos(), QPoint(8, 8));
    EXPECT_EQ(label->size(), label->GetSizeWithMaxWidth(65535) + QSize(6, 6));
    EXPECT_GT(label->width(), 400);
    EXPECT_LT(label->width(), 783);

    // Rows of the two path lines: ink starts at x = 120 with a gap before it.
    const QImage img = label->grab().toImage();
    int pathRows = 0;
    for (int y = 0; y < img.height(); ++y) {
        bool gap = true, start = false;
        for (int x = 100; x < 120; ++x)
            gap = gap && !InkAt(img, x, y);
        for (int x = 120; x < 124; ++x)
            start = start || InkAt(img, x, y);
        if (gap && start) ++pathRows;
    }
    EXPECT_GE(pathRows, 6);
}
