#pragma once
// Fixtures for the statement tests: the application's two databases made with isql-fb in a
// per-test temp directory, a window-like owner named Form1 and its components.

#include "db/connection/fb.h"
#include "db/connection/pFbDatabase.h"
#include "db/connection/pFbTransaction.h"
#include "db/statements/pFbQuery.h"

#include "ExpectedErrors.h"
#include "FirebirdScript.h"
#include "QtPrinters.h"

#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>

// The Formy tables (formy, FORMY_LICZNIKI), a blob table, a procedure and the Vorek table
// tools_data, all in one database.
QString SchemaScript(const QString& path, int dialect = 3);

class QueryTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    TpFbDatabase* NewDatabase(const QString& name, const QString& file, int dialect = 3);
    TpFbTransaction* NewTransaction(const QString& name, TFbDatabase* database);
    TpFbQuery* NewQuery(const QString& name, TFbDatabase* database, TFbTransaction* transaction);
    // Replaces the statement's lines as the application does: clear, then one line at a time.
    static void SetLines(TFbQuery& query, const QStringList& lines);
    // One integer read in a transaction of its own (-1 for NULL or no row).
    qint64 ReadInt(const QString& sql);

    QTemporaryDir Dir;
    std::unique_ptr<platform::TComponent> Form;
    TpFbDatabase* Db = nullptr;
    TpFbTransaction* Tr = nullptr;
    TpFbQuery* Q = nullptr;
};
