#include "FirebirdScript.h"
#include "app/Unit1.h"
#include "lib/quorvel/Tmysystem.h"
#include "platform/Application.h"
#include "platform/DateTime.h"

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
                               "insert into formy (id, nazwa, kod1, counter, countmode, id_vorek) values (7, 'A', 'K', 1, 1, 70);\n"
                               "commit;\n"
                               "create database '%2' user 'SYSDBA' default character set WIN1250;\n"
                               "input '%3vorek.sql';\ncommit;\n"
                               "insert into tools_data (id_t, cx) values (70, 100);\ncommit;\n")
                    .arg(dir.filePath(QStringLiteral("formy_db.fdb")), dir.filePath(QStringLiteral("vorek_mes.fdb")),
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
        f.write("[sql]\nformy=" + dir.path().toUtf8() + "/\nvorek=" + dir.path().toUtf8() + "/\n[set]\nlog=1\n" + delta);
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
    EXPECT_EQ(form.pFbQueryVorek->SQL().Strings(),
              QStringList{QStringLiteral("select sum( t.cx ) as scykli from tools_data t    where t.id_t=:tid")});
}
