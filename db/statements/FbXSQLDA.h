#pragma once
// The parameter and column lists of a statement: TFbXSQLDA owns one client XSQLDA descriptor and one
// TFbXSQLVAR per item.

#include "FbXSQLVAR.h"

#include <QStringList>
#include <memory>
#include <unordered_map>
#include <vector>

// A parameter or column list over one XSQLDA descriptor.
class TFbXSQLDA : public IScanParamList {
public:
    TFbXSQLDA(IFbQuery* query, bool isParams);
    ~TFbXSQLDA() override;
    TFbXSQLDA(const TFbXSQLDA&) = delete;
    TFbXSQLDA& operator=(const TFbXSQLDA&) = delete;

    IFbQuery* Query() const { return FQuery; }
    bool IsParams() const { return FIsParams; }
    // Whether this is its statement's user parameter list.
    bool IsUserList() const { return FQuery && FIsParams && &FQuery->UserParams() == this; }

    int Count() const { return FCount; }
    void SetCount(int value);
    int Capacity() const { return FCapacity; }
    // The descriptor; none before the list first had items.
    XSQLDA* AsXSQLDA() const { return FXSQLDA.get(); }
    int RecordSize() const;

    // Client error 23 outside 0 .. Count - 1.
    TFbXSQLVAR& Vars(int index) const;
    TFbXSQLVAR* FindParam(const QString& name);
    // As FindParam; raises "Parameter "%s" does not exist in %s" when nothing is found.
    TFbXSQLVAR& ParamByName(const QString& name);
    // Registers the name of item `index` (unquoted names upper-cased).
    void AddName(const QString& name, int index, bool quoted);
    // Items sharing one name, with their indexes (parameter lists).
    QList<int> EqualNameIndexes(const QString& name) const {
        const auto it = FEquelNames.find(name);
        return it == FEquelNames.end() ? QList<int>() : QList<int>(it->second.begin(), it->second.end());
    }

    // Takes the server's description of every item (after describe or describe_bind).
    void InitializeVars();
    void AssignValues(TFbXSQLDA& source);
    void ClearValues();
    bool Modified() const;
    void ClearModified();
    QStringList Names() const;

    // Strings set before the server type was known are encoded now.
    bool HasDefferedSettings() const { return FHasDefferedSettings; }
    void ApplyDeferredSettings();
    // Blob values: written into new blobs before every execution; kept until a setter replaces them
    // (or they are dropped here).
    void WriteStreamParams();
    void DropStreamValues();

    // Every item's value, and putting them back after the server described the list.
    std::vector<TFbXSQLVAR::TSavedValue> SaveValues() const;
    void RestoreValues(const std::vector<TFbXSQLVAR::TSavedValue>& saved);
    // Items a rebuild left out stay alive (a caller may still hold them) until the statement's text
    // is changed; an item of the same name coming back into the list is the retired one.
    void DropRetired() { FRetired.clear(); }

    // IScanParamList
    int ParamCount() const override { return FCount; }
    IScanParam& Param(int index) override { return Vars(index); }
    QString ParamName(int index) const override { return Vars(index).Name(); }
    bool ParamHoldsBlobId(int index) const override {
        return Vars(index).IsBlob() && !Vars(index).HasStreamValue();
    }
    void RebuildFromScan(const QList<TParamListEntry>& entries) override;

private:
    friend class TFbXSQLVAR;

    void EnsureCapacity(int count);
    // The steps of RebuildFromScan: all that can fail is planned aside, then committed at once.
    struct TRebuild;
    TFbXSQLVAR& PlannedItem(TRebuild& r, int index);
    void PlanItems(TRebuild& r, const QList<TParamListEntry>& entries);
    void PlanNames(TRebuild& r, const QList<TParamListEntry>& entries);
    void PlanMacroTexts(TRebuild& r, const QList<TParamListEntry>& entries);
    void CommitRebuild(TRebuild& r, const QList<TParamListEntry>& entries) noexcept;
    void ClearNames();
    TFbXSQLVAR* FindExact(const QString& name) const;

    IFbQuery* FQuery;
    bool FIsParams;
    int FCount = 0;
    int FCapacity = 0;
    TFbXSQLDAPtr FXSQLDA;
    std::vector<std::unique_ptr<TFbXSQLVAR>> FXSQLVARs;
    std::vector<std::unique_ptr<TFbXSQLVAR>> FRetired;
    using TNameIndex = std::unordered_map<QString, int>;
    using TEqualNames = std::unordered_map<QString, std::vector<int>>;
    TNameIndex FNames; // name -> first index
    TEqualNames FEquelNames;
    QHash<QString, TFbXSQLVAR*> FCachedNames;
    bool FHasDefferedSettings = false;
};
