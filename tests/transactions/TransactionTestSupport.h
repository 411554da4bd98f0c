#pragma once
// Fixtures for the transaction tests: real databases made with isql-fb in a per-test temp
// directory, and direct client calls to change and read data without the statement layer.

#include "db/connection/FbTransaction.h"
#include "db/connection/pFbDatabase.h"
#include "db/connection/pFbTransaction.h"

#include "FirebirdScript.h"

#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

// A database with table t (id integer primary key, v integer) holding the row (1, 10).
void CreateTestDatabase(const QString& path, const QString& extraDdl = QString());

// Executes one statement in the given transaction; raises the status-vector error with the
// transaction as sender.
void Exec(TFbTransaction& transaction, const QByteArray& sql, TFbDatabase* database = nullptr);
// The first column of the first row as an integer (-1 without a row or for NULL).
qint64 QueryInt(TFbTransaction& transaction, const QByteArray& sql, TFbDatabase* database = nullptr);
// Reads a value in a fresh transaction of its own.
qint64 ReadInt(TFbDatabase& database, const QByteArray& sql);

// One transaction information item as its integer value (-2 when the server does not return it).
int TransactionInfo(TFbTransaction& transaction, char item);

// A window-like owner named Form1 with connected databases made in a temp directory.
class TransactionTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // A database component on Form1 connected to a new database file `file`.
    TpFbDatabase* NewDatabase(const QString& name, const QString& file, const QString& extraDdl = QString());
    TpFbTransaction* NewTransaction(const QString& name, TFbDatabase* database);

    QTemporaryDir Dir;
    std::unique_ptr<platform::TComponent> Form;
    TpFbDatabase* Db = nullptr;
};
