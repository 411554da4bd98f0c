#pragma once
// Component base: a named object with an owner that frees what it owns, a loading state ended by
// Loaded(), and removal notices to the components that asked for them.

#include <QFlags>
#include <QList>
#include <QObject>
#include <QString>

namespace platform {

enum class TOperation { opInsert, opRemove };

enum class TComponentStateFlag { csLoading = 1, csDestroying = 2 };
Q_DECLARE_FLAGS(TComponentState, TComponentStateFlag)

class TComponent : public QObject {
    Q_OBJECT
public:
    explicit TComponent(TComponent* owner = nullptr);
    ~TComponent() override;

    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    QString Name() const { return objectName(); }
    void SetName(const QString& name);
    TComponent* Owner() const { return FOwner; }
    // The names of the named owners, outermost first, and this name, joined with ".".
    QString FullName() const;

    TComponentState ComponentState() const { return FState; }
    bool Loading() const { return FState.testFlag(TComponentStateFlag::csLoading); }
    bool Destroying() const { return FState.testFlag(TComponentStateFlag::csDestroying); }

    // Stored-layout reading: BeginLoading marks this component and those it owns as loading;
    // EndLoading clears the mark and calls Loaded on each, owned components first.
    void BeginLoading();
    void EndLoading();

    const QList<TComponent*>& Components() const { return FComponents; }
    int ComponentCount() const { return int(FComponents.size()); }
    TComponent* FindComponent(const QString& name) const;

    // Ask to receive Notification(other, opRemove) when `other` is destroyed.
    void FreeNotification(TComponent* other);
    void RemoveFreeNotification(TComponent* other);

protected:
    virtual void Loaded();
    virtual void Notification(TComponent* component, TOperation operation);
    // Called first thing during destruction by derived destructors that need their state
    // marked before they tear down.
    void Destroying_();

private:
    void InsertComponent(TComponent* c);
    void RemoveComponent(TComponent* c);

    TComponent* FOwner = nullptr;
    TComponentState FState;
    QList<TComponent*> FComponents;
    QList<TComponent*> FFreeNotifies;
};

} // namespace platform

Q_DECLARE_OPERATORS_FOR_FLAGS(platform::TComponentState)
