#include "ui/htmllabel/PictureContainer.h"

namespace htmllabel {

TPictureItem* TPictureItems::Add() {
    FItems.push_back(std::make_unique<TPictureItem>());
    return FItems.back().get();
}

TMarkupPicture* TPictureContainer::FindPicture(const QString& name) const {
    for (int i = 0; i < FItems.Count(); ++i) {
        TPictureItem* item = FItems.Items(i);
        if (item->Name().compare(name, Qt::CaseInsensitive) == 0) return &item->Picture();
    }
    return nullptr;
}

QString TPictureContainer::Version() const {
    return QStringLiteral("%1.%2.%3.%4")
        .arg((VersionNumber >> 24) & 0xFF)
        .arg((VersionNumber >> 16) & 0xFF)
        .arg((VersionNumber >> 8) & 0xFF)
        .arg(VersionNumber & 0xFF);
}

} // namespace htmllabel
