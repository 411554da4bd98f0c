#pragma once
// The mould list walks a select row by row. Until the select data set is merged it is a thin
// cursor over a statement with the data set's calls (select lines, open, first, next, end of rows,
// columns by name), so the run reads the same either way.

#include "db/statements/pFbQuery.h"
#include "platform/Component.h"
#include "platform/StringList.h"

class TQueryCursor : public platform::TComponent {
    Q_OBJECT
public:
    explicit TQueryCursor(platform::TComponent* owner = nullptr);

    void SetDatabase(TFbDatabase* value) { FQuery->SetDatabase(value); }
    void SetTransaction(TFbTransaction* value) { FQuery->SetTransaction(value); }
    platform::TStringList& SelectSQL() { return FQuery->SQL(); }

    bool Active() const { return FQuery->Open(); }
    // Starts the transaction when it is not active, executes the select and reads the first row.
    void Open();
    void Close() { FQuery->Close(); }
    void First() {}
    void Next() { FQuery->Next(); }
    bool Eof() { return FQuery->Eof(); }
    TFbXSQLVAR& FieldByName(const QString& name) { return FQuery->FieldByName(name); }

private:
    TpFbQuery* FQuery;
};

using TMouldList = TQueryCursor;
