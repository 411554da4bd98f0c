#include "platform/Component.h"
#include "platform/Exceptions.h"

#include <gtest/gtest.h>
#include <vector>

using namespace platform;

namespace {

struct Recorder : TComponent {
    using TComponent::TComponent;
    std::vector<std::pair<TComponent*, TOperation>> notices;
    int loaded = 0;
    bool wasLoadingInLoaded = true;
    std::vector<Recorder*>* destroyed = nullptr;
    ~Recorder() override {
        if (destroyed) destroyed->push_back(this);
    }

protected:
    void Notification(TComponent* c, TOperation op) override {
        TComponent::Notification(c, op);
        notices.emplace_back(c, op);
    }
    void Loaded() override {
        ++loaded;
        wasLoadingInLoaded = TComponent::Loading();
    }
};

} // namespace

TEST(Component, FullNameJoinsNamedOwners) {
    TComponent root;
    auto* form = new TComponent(&root);
    form->SetName(QStringLiteral("Form1"));
    auto* db = new TComponent(form);
    db->SetName(QStringLiteral("pFbDatabaseVorek"));
    auto* inner = new TComponent(db);
    EXPECT_EQ(db->FullName(), QStringLiteral("Form1.pFbDatabaseVorek"));
    EXPECT_EQ(inner->FullName(), QStringLiteral("Form1.pFbDatabaseVorek"));
    inner->SetName(QStringLiteral("tr"));
    EXPECT_EQ(inner->FullName(), QStringLiteral("Form1.pFbDatabaseVorek.tr"));
    EXPECT_EQ(form->FindComponent(QStringLiteral("PFBDATABASEVOREK")), db);
    auto* other = new TComponent(form);
    EXPECT_THROW(other->SetName(QStringLiteral("pfbdatabasevorek")), EInvalidOperation);
}

TEST(Component, OwnerFreesOwnedAndNotifiesRemoval) {
    std::vector<Recorder*> destroyed;
    auto* owner = new Recorder;
    auto* a = new Recorder(owner);
    auto* b = new Recorder(owner);
    a->destroyed = b->destroyed = &destroyed;
    ASSERT_EQ(owner->ComponentCount(), 2);

    const TComponent* removed = a;
    delete a;
    EXPECT_EQ(owner->ComponentCount(), 1);
    ASSERT_FALSE(owner->notices.empty());
    EXPECT_TRUE(owner->notices.back().first == removed);
    EXPECT_EQ(owner->notices.back().second, TOperation::opRemove);

    delete owner;
    EXPECT_EQ(destroyed.size(), 2u);
}

TEST(Component, FreeNotificationReachesTheOtherSideOnce) {
    Recorder watcher;
    auto* watched = new Recorder;
    watcher.FreeNotification(watched);
    delete watched;
    ASSERT_EQ(watcher.notices.size(), 1u);
    EXPECT_EQ(watcher.notices[0].second, TOperation::opRemove);

    auto* again = new Recorder;
    watcher.FreeNotification(again);
    watcher.RemoveFreeNotification(again);
    delete again;
    EXPECT_EQ(watcher.notices.size(), 1u);
}

TEST(Component, LoadingEndsWithLoadedOnEveryOwnedComponent) {
    Recorder owner;
    owner.BeginLoading();
    auto* child = new Recorder(&owner);
    EXPECT_TRUE(child->Loading());
    owner.EndLoading();
    EXPECT_EQ(owner.loaded, 1);
    EXPECT_EQ(child->loaded, 1);
    EXPECT_FALSE(child->wasLoadingInLoaded);
    owner.EndLoading();
    EXPECT_EQ(owner.loaded, 1);
}
