#pragma once
// Fixtures for the data set tests: a database made with isql-fb in a per-test temp directory, a
// window-like owner named Form1 with the application's transaction and data set.

#include "db/connection/fb.h"
#include "db/connection/pFbDatabase.h"
#include "db/connection/pFbTransaction.h"
#include "db/datasets/FbFields.h"
#include "db/datasets/pFbDataSet.h"
#include "db/statements/pFbQuery.h"

#include "FirebirdScript.h"

#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

// Runs `body` and returns the message of the client error it raises, checking its code.
template <class F> QString ClientErrorOf(int code, F body) {
    try {
        body();
    } catch (const EFbClientError& e) {
        EXPECT_EQ(e.SQLCode(), code) << e.Msg().toStdString();
        return e.Message();
    } catch (const std::exception& e) {
        ADD_FAILURE() << "other exception: " << e.what();
        return {};
    }
    ADD_FAILURE() << "client error " << code << " expected";
    return {};
}

// Runs `body` and returns the message of the exception of class E it raises.
template <class E, class F> QString ErrorOf(F body) {
    try {
        body();
    } catch (const E& e) {
        return e.Message();
    } catch (const std::exception& e) {
        ADD_FAILURE() << "other exception: " << e.what();
        return {};
    }
    ADD_FAILURE() << "exception expected";
    return {};
}

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
    // Runs one statement on `Db` in a transaction of its own and commits it.
    void Exec(const QString& sql);

    QTemporaryDir Dir;
    QString Path;
    std::unique_ptr<platform::TComponent> Form;
    TpFbDatabase* Db = nullptr;
    TpFbTransaction* Tr = nullptr;
    TpFbDataSet* Ds = nullptr;
};
