#include "FbBase.h"

#include "FbDatabase.h"
#include "FbTransaction.h"
#include "fb.h"
#include "platform/Component.h"

using namespace db::connection;

TFbBase::TFbBase(QObject* owner) : FOwner(owner) {}

TFbBase::~TFbBase() {
    SetTransaction(nullptr);
    SetDatabase(nullptr);
}

void TFbBase::SetDatabase(TFbDatabase* value) {
    if (value == FDatabase) return;
    if (FDatabase) TFbLinkGate::Leave(*FDatabase, *this);
    FDatabase = value;
    if (FDatabase) TFbLinkGate::Join(*FDatabase, *this);
    if (FDatabase && !FTransaction && FDatabase->DefaultTransaction() && !OwnerLoading())
        SetTransaction(FDatabase->DefaultTransaction());
}

void TFbBase::CheckDatabase() {
    if (!FDatabase) {
        auto* component = qobject_cast<platform::TComponent*>(FOwner);
        RaiseFbError(FbClientError::DatabaseNotAssigned, {component ? component->FullName() : QString()});
    }
    FDatabase->CheckActive(false);
}

isc_db_handle* TFbBase::DBHandle() {
    CheckDatabase();
    return FDatabase->HandleAddress();
}

bool TFbBase::OwnerLoading() const {
    for (QObject* o = FOwner; o; o = o->parent()) {
        if (auto* component = qobject_cast<platform::TComponent*>(o); component && component->Loading())
            return true;
    }
    return false;
}

void TFbBase::SetTransaction(TFbTransaction* value) {
    if (value == FTransaction) return;
    if (FTransaction) TFbLinkGate::Leave(*FTransaction, *this);
    FTransaction = value;
    if (!FTransaction) return;
    TFbLinkGate::Join(*FTransaction, *this);
    if ((!FDatabase || FTransaction->FindDatabase(FDatabase) < 0) && FTransaction->DatabaseCount() > 0)
        SetDatabase(FTransaction->MainDatabase());
}

void TFbBase::CheckTransaction() {
    if (!FTransaction) {
        auto* component = qobject_cast<platform::TComponent*>(FOwner);
        RaiseFbError(FbClientError::TransactionNotAssigned, {component ? component->FullName() : QString()});
    }
    FTransaction->CheckInTransaction();
}

isc_tr_handle* TFbBase::TRHandle() {
    CheckTransaction();
    return FTransaction->HandleAddress();
}

void TFbLinkList::Remove(TFbBase* link) {
    const qsizetype index = FItems.indexOf(link);
    if (index < 0) return;
    TFbBase* last = FItems.takeLast();
    if (last != link) FItems[index] = last;
}

void TFbLinkList::Notify(std::function<void()> TFbBase::*event, bool lastFirst) const {
    const QList<TFbBase*> links = FItems;
    for (qsizetype n = 0; n < links.size(); ++n) {
        TFbBase* link = links[lastFirst ? links.size() - 1 - n : n];
        if (FItems.contains(link) && link->*event) (link->*event)();
    }
}

void TFbLinkGate::Join(TFbDatabase& database, TFbBase& link) {
    database.AddFbBase(&link);
}

void TFbLinkGate::Leave(TFbDatabase& database, TFbBase& link) {
    database.RemoveFbBase(&link);
}

void TFbLinkGate::Join(TFbTransaction& transaction, TFbBase& link) {
    transaction.AddFbBase(&link);
}

void TFbLinkGate::Leave(TFbTransaction& transaction, TFbBase& link) {
    transaction.RemoveFbBase(&link);
}
