#pragma once
// A component holding named pictures for IMG and BODY sources written without "://".

#include "platform/Component.h"
#include "ui/htmllabel/MarkupPicture.h"

#include <QString>
#include <memory>
#include <vector>

namespace htmllabel {

class TPictureItem {
public:
    QString Name() const { return FName; }
    void SetName(const QString& name) { FName = name; }
    TMarkupPicture& Picture() { return FPicture; }
    const TMarkupPicture& Picture() const { return FPicture; }
    int Tag() const { return FTag; }
    void SetTag(int tag) { FTag = tag; }

private:
    QString FName;
    TMarkupPicture FPicture;
    int FTag = 0;
};

class TPictureItems {
public:
    TPictureItem* Add();
    int Count() const { return int(FItems.size()); }
    TPictureItem* Items(int i) const { return FItems.at(std::size_t(i)).get(); }
    void Delete(int i) { FItems.erase(FItems.begin() + i); }
    void Clear() { FItems.clear(); }

private:
    std::vector<std::unique_ptr<TPictureItem>> FItems;
};

class TPictureContainer : public platform::TComponent, public IPictureLookup {
    Q_OBJECT
public:
    explicit TPictureContainer(platform::TComponent* owner = nullptr) : platform::TComponent(owner) {}

    TPictureItems& Items() { return FItems; }
    // The picture of the first item whose name matches without regard to case; none otherwise.
    TMarkupPicture* FindPicture(const QString& name) const override;
    static constexpr unsigned VersionNumber = 0x01000000;
    QString Version() const;

private:
    TPictureItems FItems;
};

} // namespace htmllabel
