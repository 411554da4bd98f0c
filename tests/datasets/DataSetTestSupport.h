#pragma once
// Fixtures for the data set tests: a database made with isql-fb in a per-test temp directory, a
// window-like owner named Form1 with the application's transaction and data set.

#include "db/connection/fb.h"
#include "db/connection/pFbDatabase.h"
#include "db/connection/pFbTransaction.h"
#include "db/datasets/FbFields.h"
#include "db/datasets/pFbDataSet.h"
#include "db/statements/pFbQuery.h"

#include "ExpectedErrors.h"
#include "FirebirdScript.h"
#include "QtPrinters.h"

#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>

class DataSetTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Creates database `file` with a default character set, runs `script` (statements ending in
    // ";") in it, and connects a database component with lc_ctype `charSet`.
    TpFbDatabase* MakeDatabase(const QString& name, const QString& file, const QString& script,
                               const QString& charSet = QStringLiteral("WIN1250"));
    // The application's pair: pFbTransaction1 and pFbDataSetFormy on `database`.
    void MakeDataSet(TpFbDatabase* database);
    // Replaces the select text as the application does: clear, then one line.
    void SetSelect(const QString& sql);
    // Runs one statement on `database` (else `Db`) in a transaction of its own and commits it.
    void Exec(const QString& sql, TpFbDatabase* database = nullptr);
    // A data set on `database` with a transaction of its own, owned by Form.
    TpFbDataSet* DataSetOn(TpFbDatabase* database);

    QTemporaryDir Dir;
    QString Path;
    std::unique_ptr<platform::TComponent> Form;
    TpFbDatabase* Db = nullptr;
    TpFbTransaction* Tr = nullptr;
    TpFbDataSet* Ds = nullptr;
};
