#pragma once
// An in-memory parameter list and statement owner for exercising the text routines without a
// database: items hold a QVariant value (invalid = null) and keep their identity when reused.

#include "db/connection/fb.h"
#include "db/statements/SqlTextRoutines.h"

#include <QStringList>
#include <memory>
#include <vector>

using db::connection::RaiseFbError;

class TMemoryParam : public IScanParam {
public:
    QString Name;
    QVariant Value;
    QVariant OldValue;
    bool Blob = false;
    TParamTextData Data;

    TParamTextData& TextData() override { return Data; }
    bool IsNull() const override { return !Value.isValid(); }
    QString MacroValue() const override { return Value.toString(); }
    void SetOldValue(const QVariant& value) override { OldValue = value; }
};

class TMemoryParamList : public IScanParamList {
public:
    int ParamCount() const override { return static_cast<int>(FItems.size()); }
    IScanParam& Param(int index) override { return *FItems.at(index); }
    QString ParamName(int index) const override { return FItems.at(index)->Name; }
    bool ParamHoldsBlobId(int index) const override { return FItems.at(index)->Blob; }

    void RebuildFromScan(const QList<TParamListEntry>& entries) override {
        std::vector<std::unique_ptr<TMemoryParam>> items;
        for (const TParamListEntry& e : entries) {
            std::unique_ptr<TMemoryParam> item;
            if (e.KeepIndex >= 0)
                item = std::move(FItems.at(e.KeepIndex));
            else
                item = std::make_unique<TMemoryParam>();
            item->Name = e.Name;
            item->Data = e.TextData;
            if (e.SetMacroValue) item->Value = e.MacroValue;
            items.push_back(std::move(item));
        }
        FItems = std::move(items);
    }

    TMemoryParam& Item(int index) { return *FItems.at(index); }
    // A value set through a name goes to every item of that name.
    void SetByName(const QString& name, const QVariant& value) {
        for (auto& item : FItems)
            if (item->Name == name) item->Value = value;
    }
    QStringList Names() const {
        QStringList r;
        for (const auto& item : FItems)
            r << item->Name;
        return r;
    }

private:
    std::vector<std::unique_ptr<TMemoryParam>> FItems;
};

class TTestTextOwner : public IStatementContext {
public:
    TMemoryParamList User;
    TMemoryParamList Server;
    QString Name = QStringLiteral("Form1.pFbQueryFormy");
    bool Loading = false;
    bool NoForce = false;
    bool InExecute = false;
    bool InPrepare = false;
    bool Unicode = false;
    bool KOI8 = false;
    bool UTF8DDL = false;

    QString FullName() const override { return Name; }
    bool BeingLoaded() const override { return Loading; }
    int SQLDialect() const override { return 3; }
    bool NeedUnicodeFieldsTranslation() const override { return false; }
    bool TrimCharFields() const override { return false; }
    bool Prepared() const override { return false; }
    int RecordCount() const override { return 0; }
    bool ProcExecuted() const override { return false; }
    bool MacroChanged() const override { return false; }
    void SetMacroChanged() override {}
    void ApplyMacros() override {}
    void SetNeedForceIsNull() override {}
    void SetHaveStreamParams() override {}
    [[noreturn]] void RaiseSQLParseError(const QString& message) override {
        RaiseFbError(FbClientError::SQLParseError, {Name, message});
    }
    IScanParamList& UserParamList() override { return User; }
    IScanParamList& ServerParamList() override { return Server; }
    bool NoForceIsNull() const override { return NoForce; }
    bool Executing() const override { return InExecute; }
    bool Preparing() const override { return InPrepare; }
    bool IsUnicodeConnect() const override { return Unicode; }
    bool IsKOI8Connect() const override { return KOI8; }
    bool NeedUTFEncodeDDL() const override { return UTF8DDL; }
};
