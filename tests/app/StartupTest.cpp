#include "FirebirdScript.h"
#include "ProgramFolderTest.h"
#include "app/Unit1.h"
#include "lib/quorvel/Tmysystem.h"
#include "platform/Application.h"
#include "platform/DateTime.h"
#include "platform/Encoding.h"
#include "ui/htmllabel/MarkupLabel.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace platform;

namespace {

const QString kHeader = QStringLiteral(
    "<b>Program aktualizujący stany liczników programu Lidorna na podstawie raportów  z systemu Vorek OEE "
    "MES</b><br><br>");

// Each test gets its own program directory, clock and message boxes.
struct StartupTest : ProgramFolderTest {
    StartupTest() : ProgramFolderTest(EncodeDate(2024, 3, 5) + EncodeTime(14, 7, 9, 0)) {}

    // Creates the two databases of the program in the program directory and points setup.ini at them.
    void Databases(const QByteArray& moreSettings = QByteArray(), bool formy = true) {
        QByteArray script;
        for (const char* name : {"vorek_mes.fdb", "formy_db.fdb"}) {
            if (!formy && QByteArray(name) == "formy_db.fdb") continue;
            script += "create database '" + dir.filePath(QString::fromLatin1(name)).toUtf8() +
                      "' user 'SYSDBA' default character set WIN1250;\ncommit;\n";
        }
        RunIsql(QString::fromUtf8(script));
        Ini("[sql]\nformy=" + dir.path().toUtf8() + "/\nvorek=" + dir.path().toUtf8() + "/\n" + moreSettings);
    }
    QString InfoFor(const QByteArray& content) {
        Ini(content);
        TForm1 form;
        return form.InfoText();
    }
};

} // namespace

TEST_F(StartupTest, InformationTextWithoutSetupIni) {
    TForm1 form;
    EXPECT_EQ(form.InfoText(),
              kHeader + QStringLiteral("Baza Formy:<ind=\"120\"><br>Baza Vorek MES:<ind=\"120\"><br>"
                                       "Aktualizacja liczników o godznie 3:05<br><br>"));
    EXPECT_EQ(form.godzina, 3);
    EXPECT_FALSE(form.add_hist);
    EXPECT_FALSE(form.loguj);
    EXPECT_FALSE(form.f_blokady);
    EXPECT_TRUE(form.formybase.isEmpty());
    EXPECT_TRUE(form.vorekbase.isEmpty());
    // The Vorek database has no name: one message, the Formy database is not tried, nothing logged.
    EXPECT_EQ(boxes, QStringList{QStringLiteral("Database name is missing.")});
    EXPECT_FALSE(form.pFbDatabaseVorek->Connected());
    EXPECT_FALSE(form.pFbDatabaseFormy->Connected());
    EXPECT_TRUE(form.mylogfile.isEmpty());
    EXPECT_EQ(form.Memo1->Text(), QStringLiteral("Memo1"));
}

TEST_F(StartupTest, DatabasesConfiguredAndConnectedBeforeTheStartLine) {
    Databases("[set]\nlog=1\n");
    TForm1 form;
    EXPECT_TRUE(boxes.isEmpty()) << boxes.join(QLatin1Char('\n')).toStdString();
    for (TpFbDatabase* db : {form.pFbDatabaseVorek, form.pFbDatabaseFormy}) {
        EXPECT_TRUE(db->Connected());
        EXPECT_EQ(db->SQLDialect(), 3);
        EXPECT_EQ(db->Timeout(), 0u);
        EXPECT_EQ(db->WaitForRestoreConnect(), 0u);
        EXPECT_EQ(db->DBParams().Values(QStringLiteral("lc_ctype")), QStringLiteral("WIN1250"));
        EXPECT_EQ(db->DBParams().Values(QStringLiteral("user_name")), QStringLiteral("SYSDBA"));
        EXPECT_EQ(db->DBParams().Values(QStringLiteral("password")), QStringLiteral("tulipwand"));
    }
    EXPECT_EQ(form.pFbDatabaseVorek->FullName(), QStringLiteral("Form1.pFbDatabaseVorek"));
    EXPECT_EQ(form.pFbDatabaseFormy->DBName(), dir.filePath(QStringLiteral("formy_db.fdb")));
    EXPECT_TRUE(form.Memo1->Text().endsWith(QStringLiteral("   start programu")));
}

TEST_F(StartupTest, FormyUnreachableLeavesVorekConnectedAndShowsTheMessage) {
    Databases("[set]\nlog=1\n", false);
    TForm1 form;
    EXPECT_TRUE(form.pFbDatabaseVorek->Connected());
    EXPECT_FALSE(form.pFbDatabaseFormy->Connected());
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].startsWith(QStringLiteral("Form1.pFbDatabaseFormy:\r\n"))) << boxes[0].toStdString();
    EXPECT_TRUE(form.mylogfile.isEmpty());
    EXPECT_EQ(form.Memo1->Text(), QStringLiteral("Memo1"));
}

TEST_F(StartupTest, InformationTextWithAllSwitchesOn) {
    Ini("[sql]\r\nformy=/srv/dane/\r\nvorek=\"/srv/mes/\"\r\n[set]\r\nhistoria=1\r\nlog=1\r\n");
    TForm1 form;
    EXPECT_EQ(form.formybase, QStringLiteral("/srv/dane/formy_db.fdb"));
    EXPECT_EQ(form.vorekbase, QStringLiteral("/srv/mes/vorek_mes.fdb"));
    EXPECT_EQ(form.InfoText(),
              kHeader + QStringLiteral("Baza Formy:<ind=\"120\">/srv/dane/formy_db.fdb<br>"
                                       "Baza Vorek MES:<ind=\"120\">/srv/mes/vorek_mes.fdb<br>"
                                       "Aktualizacja liczników o godznie 3:05<br><br>"
                                       "Załączone raportowanie w histori zmian liczników programu lidorna<br>"
                                       "Załączony log operacji <br>"));
    EXPECT_TRUE(form.MarkupLabel1->Text().contains(QStringLiteral("/srv/mes/vorek_mes.fdb")));
}

TEST_F(StartupTest, HourAndSwitchVariants) {
    const QString hourTail = QStringLiteral(":05<br><br>");
    EXPECT_TRUE(InfoFor("[set]\ngodzina=27\n").endsWith(QStringLiteral("godznie 27") + hourTail));
    EXPECT_TRUE(InfoFor("[set]\ngodzina=0x10\n").endsWith(QStringLiteral("godznie 16") + hourTail));
    EXPECT_TRUE(InfoFor("[set]\ngodzina=65539\n").endsWith(QStringLiteral("godznie 3") + hourTail));
    EXPECT_TRUE(InfoFor("[set]\ngodzina=-1\n").endsWith(QStringLiteral("godznie 65535") + hourTail));
    // A word is not a number: the history switch stays off.
    EXPECT_TRUE(InfoFor("[set]\nhistoria=true\n").endsWith(hourTail));
    const QString logOnly = InfoFor("[set]\nlog=1\nhistoria=0\n");
    EXPECT_TRUE(logOnly.endsWith(hourTail + QStringLiteral("Załączony log operacji <br>")));
    EXPECT_FALSE(logOnly.contains(QStringLiteral("histori zmian")));
    // No separator is inserted between the folder and the file name.
    Ini("[sql]\nformy=/srv/dane\n");
    TForm1 form;
    EXPECT_EQ(form.formybase, QStringLiteral("/srv/daneformy_db.fdb"));
}

TEST_F(StartupTest, MonthlyLogNameAndStartLine) {
    Databases("[set]\nlog=1\n");
    TForm1 form;
    EXPECT_EQ(form.mylogfile, dir.filePath(QStringLiteral("log_2024_3.txt")));
    EXPECT_EQ(form.Memo1->Text(), QStringLiteral("Memo1\r\n2024-03-05 14:07:09   start programu"));
    form.DoLogu(QStringLiteral("start sesji"));
    form.SaveLog();
    QFile f(form.mylogfile);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("Memo1\r\n2024-03-05 14:07:09   start programu\r\n"
                                      "2024-03-05 14:07:09   start sesji\r\n"));
}

TEST_F(StartupTest, LinesAtMidnightCarryTheDateAlone) {
    Databases("[set]\nlog=1\n");
    SetClock([] { return EncodeDate(2024, 12, 1); });
    TForm1 form;
    EXPECT_EQ(form.mylogfile, dir.filePath(QStringLiteral("log_2024_12.txt")));
    SetClock([] { return EncodeDate(2024, 12, 1) + EncodeTime(0, 0, 1, 0); });
    form.DoLogu(QStringLiteral("x"));
    EXPECT_EQ(form.Memo1->Text(),
              QStringLiteral("Memo1\r\n2024-12-01   start programu\r\n2024-12-01 00:00:01   x"));
}

TEST_F(StartupTest, ExistingMonthlyFileIsLoadedFirst) {
    Databases("[set]\nlog=1\n");
    QFile f(dir.filePath(QStringLiteral("log_2024_3.txt")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("\xEF\xBB\xBF") +
            QStringLiteral("2024-03-04 03:05:00   start sesji\nŁódź\r\n").toUtf8());
    f.close();
    TForm1 form;
    EXPECT_EQ(form.Memo1->Text(),
              QStringLiteral(
                  "2024-03-04 03:05:00   start sesji\r\nŁódź\r\n2024-03-05 14:07:09   start programu\r\n"));
    EXPECT_EQ(form.Memo1->Encoding(), TTextEncoding::UTF8);
    form.SaveLog();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(),
              QByteArray("\xEF\xBB\xBF") + QStringLiteral("2024-03-04 03:05:00   start sesji\r\nŁódź\r\n"
                                                          "2024-03-05 14:07:09   start programu\r\n")
                                               .toUtf8());
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(StartupTest, UnreadableMonthlyFileIsReportedAndStartLineSkipped) {
    Databases("[set]\nlog=1\n");
    // A folder in place of the file: it exists but cannot be read as a file.
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("log_2024_3.txt")));
    TForm1 form;
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].startsWith(QStringLiteral("Cannot open file \"%1\". ").arg(form.mylogfile)));
    EXPECT_EQ(form.Memo1->Text(), QStringLiteral("Memo1"));
}

// A monthly file that exists but could not be loaded keeps its bytes: every save goes to one file
// beside it, named in a line of the view.
TEST_F(StartupTest, MonthlyFileThatFailedToLoadIsNeverOverwritten) {
    Databases("[set]\nlog=1\n");
    const QByteArray broken("\xEF\xBB\xBF"
                            "2024-03-04 03:05:00   Ol\xC5 broken\r\n");
    QFile f(dir.filePath(QStringLiteral("log_2024_3.txt")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(broken);
    f.close();
    TForm1 form;
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].startsWith(QStringLiteral("Cannot open file \"%1\". ").arg(form.mylogfile)));
    form.DoLogu(QStringLiteral("start sesji"));
    form.SaveLog();
    form.SaveLog();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), broken);
    const QString beside = dir.filePath(QStringLiteral("log_2024_3_20240305_140709.txt"));
    QFile saved(beside);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(),
              AnsiFromString(QStringLiteral("Memo1\r\n2024-03-05 14:07:09   start sesji\r\n"
                                            "2024-03-05 14:07:09   Nie wczytano pliku logu %1, "
                                            "log zapisywany jest do pliku %2\r\n")
                                 .arg(form.mylogfile, beside)));
}

TEST_F(StartupTest, SqlUserAndPasswordReplaceTheBuiltInOnes) {
    Ini("[sql]\nuser=tarvelo\npassword=\"sekret=1\"\n");
    TForm1 form;
    for (TpFbDatabase* db : {form.pFbDatabaseVorek, form.pFbDatabaseFormy})
        EXPECT_EQ(db->DBParams().Strings(),
                  (QStringList{QStringLiteral("user_name=tarvelo"), QStringLiteral("password=sekret=1"),
                               QStringLiteral("lc_ctype=WIN1250"), QStringLiteral("connect_timeout=30")}));
}

TEST_F(StartupTest, ConnectTimeoutAndRunLimitFromSetupIni) {
    Ini("[sql]\ntimeout=5\n[set]\nlimit=0\n");
    TForm1 form;
    EXPECT_TRUE(form.pFbDatabaseFormy->DBParams().Strings().contains(QStringLiteral("connect_timeout=5")));
    EXPECT_TRUE(form.pFbDatabaseVorek->DBParams().Strings().contains(QStringLiteral("connect_timeout=5")));
    EXPECT_EQ(form.runLimitMinutes, 0);
    Ini("[sql]\ntimeout=900\n");
    TForm1 defaults;
    EXPECT_TRUE(defaults.pFbDatabaseFormy->DBParams().Strings().contains(QStringLiteral("connect_timeout=30")));
    EXPECT_EQ(defaults.runLimitMinutes, 60);
}
