#include "FirebirdScript.h"
#include "app/Unit1.h"
#include "lib/quorvel/Tmysystem.h"
#include "platform/Application.h"
#include "platform/DateTime.h"
#include "platform/TextFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace platform;

namespace {

struct UpdateRunTest : ::testing::Test {
    QTemporaryDir dir;
    QStringList boxes;

    void SetUp() override {
        quorvel::Tmysystem::OverrideDirectory(dir.path());
        Application().MessageBoxHook = [this](const QString& text, const QString&, bool) { boxes << text; };
        SetClock([] { return EncodeDate(2024, 3, 5) + EncodeTime(3, 5, 0, 0); });
        RunIsql(QStringLiteral("create database '%1' user 'SYSDBA' default character set WIN1250;\n"
                               "input '%3formy.sql';\ncommit;\n"
                               "insert into formy (id, nazwa, kod1, counter, countmode, id_vorek) values (7, "
                               "'A', 'K', 1, 1, 70);\n"
                               "commit;\n"
                               "create database '%2' user 'SYSDBA' default character set WIN1250;\n"
                               "input '%3vorek.sql';\ncommit;\n"
                               "insert into tools_data (id_t, cx) values (70, 100);\ncommit;\n")
                    .arg(dir.filePath(QStringLiteral("formy_db.fdb")),
                         dir.filePath(QStringLiteral("vorek_mes.fdb")),
                         QStringLiteral(TARVELO_SOURCE_DIR "/scripts/sql/")));
        Settings("");
    }
    void TearDown() override {
        quorvel::Tmysystem::OverrideDirectory(QString());
        Application().MessageBoxHook = nullptr;
        SetClock({});
    }
    void Settings(const QByteArray& delta) {
        QFile f(dir.filePath(QStringLiteral("setup.ini")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[sql]\nformy=" + dir.path().toUtf8() + "/\nvorek=" + dir.path().toUtf8() +
                "/\n[set]\nlog=1\n" + delta);
    }
};

} // namespace

TEST_F(UpdateRunTest, StatesBetweenRunsAndTheCorrectionReadAnew) {
    TForm1 form;
    ASSERT_TRUE(boxes.isEmpty()) << boxes.join('\n').toStdString();
    form.FireUpdate();
    EXPECT_EQ(form.LastRun().Moulds.at(0).NewCounter, 100);
    // The list stays open in its transaction, the sum's transaction stays active, the writes' not.
    EXPECT_TRUE(form.pFbDataSetFormy->Active());
    EXPECT_TRUE(form.pFbTransaction1->Active());
    EXPECT_TRUE(form.pFbTransaction2->Active());
    EXPECT_FALSE(form.pFbTransaction3->Active());
    EXPECT_EQ(form.pFbDataSetFormy->SelectSQL().Text(),
              QStringLiteral("select id,nazwa,kod1,counter,countmode,id_vorek from  formy where  countmode=1  and "
                             "id_vorek<>0\r\n"));
    // Prepared handles are kept for the span of a run only: none is left for the next one, which
    // prepares against the tables as they are then.
    for (TpFbDatabase* database : {form.pFbDatabaseFormy, form.pFbDatabaseVorek}) {
        EXPECT_EQ(database->StatementCacheSize(), 0);
        EXPECT_EQ(database->StatementCache().IdleCount(), 0);
    }
    EXPECT_EQ(form.pFbQueryVorek->PrepareCount(), 1);

    // A correction written while the program runs counts at the next run.
    Settings("[delta]\n7=-30\n");
    form.FireUpdate();
    ASSERT_TRUE(form.LastRun().Completed);
    EXPECT_EQ(form.LastRun().Moulds.at(0).OldCounter, 100);
    EXPECT_EQ(form.LastRun().Moulds.at(0).NewCounter, 70);
    EXPECT_EQ(form.pFbQueryVorek->PrepareCount(), 2);
    EXPECT_TRUE(form.Memo1->Text().endsWith(QStringLiteral("  Zaktualizowano licznik formy :A[K]  stan: 100+ {-30}")));
    EXPECT_EQ(form.pFbQueryFormy->SQL().Strings(),
              (QStringList{QStringLiteral("UPDATE formy set counter=:counter, counttch=:counttch  "),
                           QStringLiteral("WHERE id = :id")}));
    EXPECT_EQ(
        form.pFbQueryVorek->SQL().Strings(),
        QStringList{QStringLiteral("select sum( t.cx ) as scykli from tools_data t    where t.id_t=:tid")});
}

TEST_F(UpdateRunTest, FailureLinesNameWhatFailed) {
    const QString formy = dir.filePath(QStringLiteral("formy_db.fdb"));
    RunIsql(QStringLiteral(
                "set term ^;\ncreate exception e_blokada 'licznik zablokowany'^\n"
                "create trigger formy_blokada for formy before update as begin exception e_blokada; end^\n"
                "set term ;^\ncommit;\ndrop table FORMY_LICZNIKI;\ncommit;\n"),
            formy);
    Settings("historia=1\n");
    {
        TForm1 form;
        form.FireUpdate();
        EXPECT_TRUE(form.Memo1->Text().contains(
            QStringLiteral("  Błąd aktualizacji licznika formy :A[K]: licznik zablokowany\r\n")))
            << form.Memo1->Text().toStdString();
        EXPECT_TRUE(form.Memo1->Text().endsWith(
            QStringLiteral("  Błąd zapisu historii licznika formy :A[K]: Table unknown FORMY_LICZNIKI")));
    }
    RunIsql(
        QStringLiteral("drop trigger formy_blokada;\ncommit;\nalter table formy drop counttch;\ncommit;\n"),
        formy);
    TForm1 form;
    form.FireUpdate();
    EXPECT_TRUE(form.Memo1->Text().contains(
        QStringLiteral("  Błąd aktualizacji licznika formy :A[K]: Column unknown COUNTTCH\r\n")))
        << form.Memo1->Text().toStdString();
    // A name from the database holding line breaks stays one line, which cannot pass for a dated one.
    form.DoLogu(QStringLiteral("Sprawdzenie formy: A\r\n2024-03-05 03:05:00   B\u2028[K]"));
    EXPECT_TRUE(form.Memo1->Text().trimmed().endsWith(QStringLiteral(
        "\r\n2024-03-05 03:05:00   Sprawdzenie formy: A\\r\\n2024-03-05 03:05:00   B\\u2028[K]")));
}

// Two programs on one folder (the window and a cron job, or two --run-once), both started before
// the month's file exists: a run waits for the other's run and save, or stops with its own error
// after the wait; every completed run's lines are in the file exactly once.
TEST_F(UpdateRunTest, TwoProgramsOnOneFolderNeverOverlapAndKeepEveryRunsLines) {
    TFormOptions options;
    options.RunLockWaitMs = 200;
    TForm1 first(nullptr, options);
    TForm1 second(nullptr, options);
    ASSERT_TRUE(boxes.isEmpty()) << boxes.join('\n').toStdString();
    {
        TFolderLock other(dir.path(), 0);
        ASSERT_TRUE(other.Locked());
        try {
            second.FireUpdate();
            ADD_FAILURE() << "the run did not wait for the other one";
        } catch (const ERunBusy& e) {
            EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Inny przebieg programu pracuje w katalogu ")))
                << e.Message().toStdString();
        }
    }
    first.FireUpdate();
    second.FireUpdate();
    QFile f(dir.filePath(QStringLiteral("log_2024_3.txt")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray log = f.readAll();
    EXPECT_EQ(log.count("start programu"), 2);
    EXPECT_EQ(log.count("start sesji"), 2);
    EXPECT_EQ(log.count("Zaktualizowano licznik formy :A[K]"), 2);
    EXPECT_TRUE(log.endsWith("stan: 100\r\n"));
}
