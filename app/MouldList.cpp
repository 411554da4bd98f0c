#include "MouldList.h"

#include "db/connection/FbTransaction.h"

TQueryCursor::TQueryCursor(platform::TComponent* owner)
    : platform::TComponent(owner), FQuery(new TpFbQuery(this)) {
    FQuery->SetName(QStringLiteral("Query"));
    FQuery->SetGoToFirstRecordOnExecute(true);
}

void TQueryCursor::Open() {
    if (TFbTransaction* transaction = FQuery->Transaction(); transaction && !transaction->Active())
        transaction->StartTransaction();
    FQuery->ExecQuery();
}
