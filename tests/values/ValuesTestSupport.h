#pragma once
// A statement stand-in for the parameter and column lists: connection facts, options and flags
// are plain fields a test sets; items are described by hand as the server would describe them.

#include "QtPrinters.h"
#include "db/connection/fb.h"
#include "db/statements/FbXSQLDA.h"

#include "platform/RegionalSettings.h"

#include <cstring>
#include <gtest/gtest.h>
#include <ostream>

using db::connection::RaiseFbError;

// Restores the regional settings a test changed.
class TSettingsGuard {
public:
    TSettingsGuard() : FSaved(platform::RegionalSettings()) {}
    ~TSettingsGuard() { platform::RegionalSettings() = FSaved; }

private:
    platform::TFormatSettings FSaved;
};

class TTestQuery : public IFbQuery {
public:
    int Dialect = 3;
    bool Unicode = false;
    bool KOI8 = false;
    bool Translate = false;
    bool UTF8DDL = false;
    bool Trim = false;
    bool NoForce = false;
    bool IsPrepared = false;
    int Records = 1;
    bool ProcExec = false;
    bool MacroChangedFlag = false;
    int ApplyMacrosCalls = 0;
    bool ForceNull = false;
    bool StreamParams = false;
    TFbBlobContext Blob;
    int BlobContextCalls = 0;

    TFbXSQLDA User{this, true};
    TFbXSQLDA Server{this, true};
    TFbXSQLDA Columns{this, false};

    bool InExecute = true;
    bool InPrepare = false;

    QString FullName() const override { return QStringLiteral("Form1.pFbQueryFormy"); }
    bool BeingLoaded() const override { return false; }
    bool Executing() const override { return InExecute; }
    bool Preparing() const override { return InPrepare; }
    [[noreturn]] void RaiseSQLParseError(const QString& message) override {
        RaiseFbError(FbClientError::SQLParseError, {FullName(), message});
    }
    int SQLDialect() const override { return Dialect; }
    bool IsUnicodeConnect() const override { return Unicode; }
    bool IsKOI8Connect() const override { return KOI8; }
    bool NeedUnicodeFieldsTranslation() const override { return Translate; }
    bool NeedUTFEncodeDDL() const override { return UTF8DDL; }
    bool TrimCharFields() const override { return Trim; }
    bool NoForceIsNull() const override { return NoForce; }
    TFbXSQLDA& UserParams() override { return User; }
    TFbXSQLDA& ServerParams() override { return Server; }
    bool Prepared() const override { return IsPrepared; }
    int RecordCount() const override { return Records; }
    bool ProcExecuted() const override { return ProcExec; }
    bool MacroChanged() const override { return MacroChangedFlag; }
    void SetMacroChanged() override { MacroChangedFlag = true; }
    void ApplyMacros() override { ++ApplyMacrosCalls; }
    void SetNeedForceIsNull() override { ForceNull = true; }
    void SetHaveStreamParams() override { StreamParams = true; }
    TFbBlobContext BlobContext() override {
        ++BlobContextCalls;
        return Blob;
    }
};

// Describes item `index` of a list the way the server does (type, scale, length, subtype), runs
// InitializeVars over the list and copies `bytes` into the item's data area.
inline void Describe(TFbXSQLDA& list, int index, short type, short scale, short length, bool nullable = true,
                     short subType = 0) {
    XSQLVAR& v = *list.Vars(index).Data();
    v.sqltype = short(type | (nullable ? 1 : 0));
    v.sqlscale = scale;
    v.sqllen = length;
    v.sqlsubtype = subType;
}

// A one-column list holding one value of the given type, as after a fetch.
inline TFbXSQLVAR& ColumnValue(TTestQuery& q, short type, short scale, short length, const void* bytes,
                               short subType = 0) {
    q.Columns.SetCount(1);
    Describe(q.Columns, 0, type, scale, length, true, subType);
    q.Columns.InitializeVars();
    TFbXSQLVAR& item = q.Columns.Vars(0);
    const int size = type == SQL_VARYING ? length + 2 : length;
    if (bytes) std::memcpy(item.Data()->sqldata, bytes, size_t(size));
    *item.Data()->sqlind = 0;
    return item;
}

// Runs `body` and expects client error `code`; returns its message.
template <class F> QString ExpectClientError(int code, F body) {
    try {
        body();
    } catch (const EFbClientError& e) {
        EXPECT_EQ(e.SQLCode(), code) << e.Msg().toStdString();
        return e.Msg();
    }
    ADD_FAILURE() << "client error " << code << " expected";
    return {};
}
