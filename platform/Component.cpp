#include "Component.h"

#include "Exceptions.h"
#include "Format.h"

namespace platform {

TComponent::TComponent(TComponent* owner) {
    if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
    Destroying_();
    // Tell everyone who asked, then free what we own while we are still a component.
    while (!FFreeNotifies.isEmpty()) {
        TComponent* other = FFreeNotifies.takeLast();
        other->FFreeNotifies.removeAll(this);
        other->Notification(this, TOperation::opRemove);
    }
    while (!FComponents.isEmpty())
        delete FComponents.last();
    if (FOwner) FOwner->RemoveComponent(this);
}

void TComponent::Destroying_() {
    FState |= TComponentStateFlag::csDestroying;
}

void TComponent::SetName(const QString& name) {
    if (name == Name()) return;
    if (FOwner && !name.isEmpty()) {
        for (TComponent* c : FOwner->FComponents)
            if (c != this && c->Name().compare(name, Qt::CaseInsensitive) == 0)
                throw EInvalidOperation(Format(rtl::SDuplicateName, {name}));
    }
    setObjectName(name);
}

QString TComponent::FullName() const {
    QString result = Name();
    for (const TComponent* o = FOwner; o; o = o->FOwner) {
        if (o->Name().isEmpty()) continue;
        result = result.isEmpty() ? o->Name() : o->Name() + QLatin1Char('.') + result;
    }
    return result;
}

void TComponent::BeginLoading() {
    FState |= TComponentStateFlag::csLoading;
    for (TComponent* c : FComponents)
        c->BeginLoading();
}

void TComponent::EndLoading() {
    const QList<TComponent*> owned = FComponents;
    for (TComponent* c : owned)
        c->EndLoading();
    if (!Loading()) return;
    FState &= ~TComponentState(TComponentStateFlag::csLoading);
    Loaded();
}

void TComponent::Loaded() {}

TComponent* TComponent::FindComponent(const QString& name) const {
    for (TComponent* c : FComponents)
        if (c->Name().compare(name, Qt::CaseInsensitive) == 0) return c;
    return nullptr;
}

void TComponent::FreeNotification(TComponent* other) {
    if (!other || other == this) return;
    if (!FFreeNotifies.contains(other)) FFreeNotifies.append(other);
    if (!other->FFreeNotifies.contains(this)) other->FFreeNotifies.append(this);
}

void TComponent::RemoveFreeNotification(TComponent* other) {
    if (!other) return;
    FFreeNotifies.removeAll(other);
    other->FFreeNotifies.removeAll(this);
}

void TComponent::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove) FFreeNotifies.removeAll(component);
}

void TComponent::InsertComponent(TComponent* c) {
    c->FOwner = this;
    c->setParent(this);
    FComponents.append(c);
    if (Loading()) c->BeginLoading();
    Notification(c, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* c) {
    FComponents.removeAll(c);
    c->FOwner = nullptr;
    c->setParent(nullptr);
    Notification(c, TOperation::opRemove);
}

} // namespace platform
