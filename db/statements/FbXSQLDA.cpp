// The parameter and column lists.
//
// Map:
// - The common store. Every value an item takes goes through TFbXSQLVAR::SetTypedValue (in
//   FbXSQLVAR.cpp); the list only keeps the descriptor the items point into, their names and groups.
// - Equal-name groups. In a parameter list a name may occur more than once (":id ... :id"); AddName
//   and RebuildFromScan record the indexes of each such name in FEquelNames, and a value set
//   through any item of a group reaches all of them.
// - Deferred settings. A string set before the server's type is known is stored as the connection
//   would send it and marked; ApplyDeferredSettings encodes it again once the type is known
//   (FHasDefferedSettings says whether any item waits).
// - Rebuilds from a scan (RebuildFromScan) make the new list beside the old one and replace it
//   only when nothing more can fail; items left out retire until the statement's text changes.
#include "FbXSQLDA.h"
#include "ValueHelpers.h"

#include <algorithm>
#include <cstring>

using namespace db::connection;
using namespace db::statements;

// ---------------------------------------------------------------------------------------------
// TFbXSQLDA

IScanParamList& IFbQuery::UserParamList() {
    return UserParams();
}
IScanParamList& IFbQuery::ServerParamList() {
    return ServerParams();
}

TFbXSQLDA::TFbXSQLDA(IFbQuery* query, bool isParams) : FQuery(query), FIsParams(isParams) {}

TFbXSQLDA::~TFbXSQLDA() = default;

int TFbXSQLDA::RecordSize() const {
    return int(XSQLDA_LENGTH(FCapacity)) + 4;
}

void TFbXSQLDA::EnsureCapacity(int count) {
    if (count <= FCapacity) return;
    // Everything that can fail is made first; the items move onto the new descriptor after.
    TFbXSQLDAPtr descriptor = NewXSQLDA(count);
    std::vector<std::unique_ptr<TFbXSQLVAR>> items;
    items.reserve(size_t(count));
    for (int i = FCapacity; i < count; ++i)
        items.push_back(std::make_unique<TFbXSQLVAR>(this, FQuery));
    FXSQLVARs.reserve(size_t(count));
    for (int i = 0; i < FCapacity; ++i)
        descriptor->sqlvar[i] = FXSQLDA->sqlvar[i];
    for (auto& item : items)
        FXSQLVARs.push_back(std::move(item));
    FXSQLDA = std::move(descriptor);
    for (int i = 0; i < count; ++i) {
        FXSQLVARs[size_t(i)]->FXSQLVAR = &FXSQLDA->sqlvar[i];
        FXSQLVARs[size_t(i)]->FIndex = i;
    }
    FCapacity = count;
}

void TFbXSQLDA::SetCount(int value) {
    if (value < 0) value = 0;
    ClearNames();
    EnsureCapacity(value);
    if (FXSQLDA) FXSQLDA->sqln = FXSQLDA->sqld = short(value);
    FCount = value;
}

TFbXSQLVAR& TFbXSQLDA::Vars(int index) const {
    if (index < 0 || index >= FCount) RaiseFbError(FbClientError::XSQLDAIndexOutOfRange);
    return *FXSQLVARs[size_t(index)];
}

void TFbXSQLDA::ClearNames() {
    FNames.clear();
    FEquelNames.clear();
    FCachedNames.clear();
    for (auto& item : FXSQLVARs)
        item->FInEqualGroup = false;
}

void TFbXSQLDA::AddName(const QString& name, int index, bool quoted) {
    TFbXSQLVAR& item = Vars(index);
    const QString key = quoted ? name : AsciiUpperCase(name);
    if (FIsParams) {
        auto equal = FEquelNames.find(key);
        if (equal != FEquelNames.end()) {
            equal->second.push_back(index);
            item.FInEqualGroup = true;
        } else if (const auto first = FNames.find(key); first != FNames.end()) {
            FEquelNames.emplace(key, std::vector<int>{first->second, index});
            Vars(first->second).FInEqualGroup = true;
            item.FInEqualGroup = true;
        }
    }
    FNames.emplace(key, index); // the first index of a name stays
    item.FName = key;
    item.FIndex = index;
    item.FTextData.FQuoted = quoted;
}

TFbXSQLVAR* TFbXSQLDA::FindExact(const QString& name) const {
    const auto it = FNames.find(name);
    if (it == FNames.end() || it->second >= FCount) return nullptr;
    return FXSQLVARs[size_t(it->second)].get();
}

TFbXSQLVAR* TFbXSQLDA::FindParam(const QString& name) {
    if (const auto cached = FCachedNames.constFind(name); cached != FCachedNames.constEnd())
        return cached.value();
    TFbXSQLVAR* found = nullptr;
    if (name.startsWith(QLatin1Char('"'))) {
        found = FindExact(name.size() >= 2 ? name.mid(1, name.size() - 2) : QString());
    } else {
        found = FindExact(name);
        if (!found) found = FindExact(AsciiUpperCase(name));
    }
    if (!found && IsUserList()) {
        if (FQuery->MacroChanged()) FQuery->ApplyMacros();
        return FQuery->ServerParams().FindParam(name);
    }
    if (found) FCachedNames.insert(name, found);
    return found;
}

TFbXSQLVAR& TFbXSQLDA::ParamByName(const QString& name) {
    TFbXSQLVAR* found = FindParam(name);
    if (!found)
        throw platform::Exception(platform::Format(u"Parameter \"%s\" does not exist in %s",
                                                   {name, FQuery ? FQuery->FullName() : QString()}));
    return *found;
}

void TFbXSQLDA::InitializeVars() {
    const bool named = !FNames.empty();
    int emptyAliases = 0;
    const bool userList = IsUserList();
    for (int i = 0; i < FCount; ++i) {
        TFbXSQLVAR& item = *FXSQLVARs[size_t(i)];
        XSQLVAR& v = *item.FXSQLVAR;
        const short type = short(v.sqltype & ~1);
        item.FSrvSQLType = type;
        item.FSrvSQLLen = v.sqllen;
        item.FSrvSQLScale = v.sqlscale;
        item.FSrvSQLSubType = v.sqlsubtype;
        item.FInitialized = true;
        if (!named) {
            QString name = DecodeDescriptorName(FQuery, v.aliasname, v.aliasname_length);
            if (name.isEmpty()) {
                name = QStringLiteral("F_") + QString::number(++emptyAliases);
                const QByteArray ascii = name.toLatin1();
                std::memset(v.aliasname, 0, sizeof v.aliasname);
                std::memcpy(v.aliasname, ascii.constData(), size_t(ascii.size()));
                v.aliasname_length = short(ascii.size());
            }
            if (FNames.count(name)) {
                for (int suffix = 1;; ++suffix) {
                    const QString tail = QString::number(suffix);
                    const QString candidate = name.left(32 - tail.size()) + tail;
                    if (!FNames.count(candidate)) {
                        name = candidate;
                        break;
                    }
                }
            }
            AddName(name, i, true);
        }
        int size = 0;
        switch (type) {
        case SQL_TEXT:
            size = std::max<int>(v.sqllen, 1);
            break;
        case SQL_VARYING:
            size = v.sqllen + 2;
            break;
        case SQL_SHORT:
        case SQL_LONG:
        case SQL_INT64:
        case SQL_FLOAT:
        case SQL_DOUBLE:
        case SQL_D_FLOAT:
        case SQL_TIMESTAMP:
        case SQL_TYPE_DATE:
        case SQL_TYPE_TIME:
        case SQL_BLOB:
        case SQL_ARRAY:
        case SQL_QUAD:
        case SQL_BOOLEAN:
        case SQL_NULL:
            size = v.sqllen;
            break;
        default:
            if (!(userList && type == 0)) RaiseFbError(FbClientError::UnknownSQLDataType, {int(type)});
            break;
        }
        item.EnsureDataArea(size);
        item.SetIndicator((v.sqltype & 1) != 0);
    }
}

void TFbXSQLDA::AssignValues(TFbXSQLDA& source) {
    for (int i = 0; i < source.Count(); ++i) {
        TFbXSQLVAR& src = source.Vars(i);
        TFbXSQLVAR* dst = FindExact(src.Name());
        if (!dst || dst == &src) continue;
        const bool dstBlobOrArray = dst->IsBlob() || dst->IsArray();
        if (src.IsNull()) {
            dst->SetIsNull(true);
        } else if ((src.IsBlob() || src.IsArray()) && dstBlobOrArray) {
            dst->StoreData(src.SQLType(), 8, src.FXSQLVAR->sqldata);
        } else if (src.SQLType() == SQL_INT64) {
            if (dstBlobOrArray) {
                const int64_t zero = 0;
                dst->StoreData(SQL_INT64, 8, &zero);
            }
            dst->Assign(src);
        } else if (src.IsDefferedSetting() && IsTextType(src.SQLType())) {
            if (src.FHasWideTemp)
                dst->SetAsWideString(src.FWideTempValue);
            else
                dst->SetAsAnsiString(src.RawText());
            // The source now mirrors the encoded value, with its remembered text kept.
            const bool hadWide = src.FHasWideTemp;
            const QString wide = src.FWideTempValue;
            src.SetAsXSQLVAR(dst->AsXSQLVAR());
            if (dst->HasStreamValue()) {
                src.FHasStreamValue = true;
                src.FStreamValue = dst->StreamValue();
            }
            if (hadWide) {
                src.FWideTempValue = wide;
                src.FHasWideTemp = true;
            }
        } else {
            dst->SetAsVariant(src.AsVariant());
        }
    }
    WriteStreamParams();
}

void TFbXSQLDA::ClearValues() {
    using TOp = TFbXSQLVAR::TStore::TOp;
    for (int i = 0; i < FCount; ++i) {
        TFbXSQLVAR& item = *FXSQLVARs[size_t(i)];
        // A select clears its columns before and after the execution; the second finds them clear.
        if (item.IsClearedValue()) continue;
        const bool wasNullable = item.IsNullable();
        item.ApplyStore(TFbXSQLVAR::TStore{TOp::SetNull});
        if (!wasNullable) item.ApplyStore(TFbXSQLVAR::TStore{TOp::NotNullable});
    }
}

bool TFbXSQLDA::Modified() const {
    for (int i = 0; i < FCount; ++i)
        if (FXSQLVARs[size_t(i)]->Modified()) return true;
    return false;
}

void TFbXSQLDA::ClearModified() {
    for (int i = 0; i < FCount; ++i)
        FXSQLVARs[size_t(i)]->SetModified(false);
}

QStringList TFbXSQLDA::Names() const {
    QStringList names;
    names.reserve(FCount);
    for (int i = 0; i < FCount; ++i)
        names << FXSQLVARs[size_t(i)]->Name();
    return names;
}

void TFbXSQLDA::ApplyDeferredSettings() {
    FHasDefferedSettings = false;
    for (int i = 0; i < FCount; ++i) {
        TFbXSQLVAR& item = *FXSQLVARs[size_t(i)];
        if (!item.FIsDefferedSetting) continue;
        item.FIsDefferedSetting = false;
        if (item.IsNull()) continue;
        short srvType, srvSub, srvScale;
        item.ServerType(srvType, srvSub, srvScale);
        const short t = item.SQLType();
        if (IsTextType(t)) {
            // Re-encoded from the UTF-16 text when it is known: nothing is lost to the ANSI code page.
            if (item.FHasWideTemp) {
                const QString wide = item.FWideTempValue;
                item.SetStringValue(&wide, nullptr);
            } else {
                const QByteArray bytes = item.RawText();
                item.SetStringValue(nullptr, &bytes);
            }
        } else if (IsNumericSqlType(t)) {
            if (IsDateTimeSqlType(srvType)) item.SetAsDateTime(item.AsDouble());
        } else if (t == SQL_BLOB) {
            if (FQuery->NeedUTFEncodeDDL() && srvType == SQL_BLOB && srvSub == isc_blob_text &&
                FQuery->IsUnicodeCharSet(srvScale & 0xFF)) {
                if (item.FHasWideTemp) {
                    const QString wide = item.FWideTempValue;
                    item.SetStringValue(&wide, nullptr);
                } else {
                    const QByteArray bytes = item.FStreamValue;
                    item.SetStringValue(nullptr, &bytes);
                }
            }
        }
    }
}

void TFbXSQLDA::WriteStreamParams() {
    using TOp = TFbXSQLVAR::TStore::TOp;
    for (int i = 0; i < FCount; ++i) {
        TFbXSQLVAR& item = *FXSQLVARs[size_t(i)];
        if (!item.FHasStreamValue) continue;
        short srvType, srvSub, srvScale;
        item.ServerType(srvType, srvSub, srvScale);
        const short subType = srvType == SQL_BLOB ? srvSub : item.SQLSubtype();
        const ISC_QUAD id = FbWriteBlob(FQuery->BlobContext(), item.FStreamValue, subType);
        // The id is stored while the content stays pending until the statement has executed.
        TFbXSQLVAR::TStore s{TOp::Data};
        s.Type = SQL_BLOB;
        s.Length = 8;
        s.Bytes = &id;
        s.KeepStream = true;
        const bool hadWide = item.FHasWideTemp;
        const QString wide = item.FWideTempValue;
        item.ApplyStore(s);
        if (hadWide) {
            item.FWideTempValue = wide;
            item.FHasWideTemp = true;
        }
        if (!IsUserList()) {
            if (TFbXSQLVAR* user = FQuery->UserParams().FindExact(item.Name())) user->SetAsQuad(id);
        }
    }
}

void TFbXSQLDA::DropStreamValues() {
    for (int i = 0; i < FCapacity; ++i)
        FXSQLVARs[size_t(i)]->DropStreamValue();
}

std::vector<TFbXSQLVAR::TSavedValue> TFbXSQLDA::SaveValues() const {
    std::vector<TFbXSQLVAR::TSavedValue> saved;
    saved.reserve(size_t(FCount));
    for (int i = 0; i < FCount; ++i)
        saved.push_back(FXSQLVARs[size_t(i)]->SaveValue());
    return saved;
}

void TFbXSQLDA::RestoreValues(const std::vector<TFbXSQLVAR::TSavedValue>& saved) {
    const int n = std::min(FCount, int(saved.size()));
    for (int i = 0; i < n; ++i)
        FXSQLVARs[size_t(i)]->RestoreValue(saved[size_t(i)]);
}

// Everything a rebuild makes before it replaces the list.
struct TFbXSQLDA::TRebuild {
    // Where each new item comes from: a kept item of this list, a retired one, or a new one.
    enum class TFrom { Kept, Retired, Fresh };
    struct TPlan {
        TFrom From = TFrom::Fresh;
        int Index = -1; // into FXSQLVARs or FRetired
        std::unique_ptr<TFbXSQLVAR> Fresh;
    };
    struct TMacroText {
        QString Wide;
        QByteArray Encoded;
    };
    int Count = 0;
    int Capacity = 0;
    TFbXSQLDAPtr Descriptor;
    std::vector<TPlan> Plan;
    std::vector<QString> Keys;
    // (Standard containers: an insertion that runs out of memory leaves them as they were.)
    TNameIndex Names;
    TEqualNames EqualNames;
    std::vector<bool> InEqualGroup;
    std::unordered_map<QString, TMacroText> MacroTexts;
    std::vector<const TMacroText*> MacroOf;
    std::vector<std::unique_ptr<TFbXSQLVAR>> Retired;
    std::vector<std::unique_ptr<TFbXSQLVAR>> Items;
};

TFbXSQLVAR& TFbXSQLDA::PlannedItem(TRebuild& r, int index) {
    TRebuild::TPlan& p = r.Plan[size_t(index)];
    return p.From == TRebuild::TFrom::Kept      ? *FXSQLVARs[size_t(p.Index)]
           : p.From == TRebuild::TFrom::Retired ? *FRetired[size_t(p.Index)]
                                                : *p.Fresh;
}

void TFbXSQLDA::PlanItems(TRebuild& r, const QList<TParamListEntry>& entries) {
    using TFrom = TRebuild::TFrom;
    r.Plan.resize(size_t(r.Capacity));
    std::vector<bool> kept(FXSQLVARs.size(), false);
    std::vector<bool> revived(FRetired.size(), false);
    for (int i = 0; i < r.Capacity; ++i) {
        TRebuild::TPlan& p = r.Plan[size_t(i)];
        if (i < r.Count) {
            const int keep = entries[i].KeepIndex;
            if (keep >= 0 && keep < FCount && !kept[size_t(keep)]) {
                kept[size_t(keep)] = true;
                p.From = TFrom::Kept;
                p.Index = keep;
                continue;
            }
            // An item of this name retired by an earlier rebuild comes back with its value.
            for (size_t k = 0; k < FRetired.size() && p.From == TFrom::Fresh; ++k) {
                const TFbXSQLVAR& item = *FRetired[k];
                if (!revived[k] && item.FName == entries[i].Name &&
                    !(item.IsBlob() && !item.HasStreamValue())) {
                    revived[k] = true;
                    p.From = TFrom::Retired;
                    p.Index = int(k);
                }
            }
            if (p.From == TFrom::Retired) continue;
        }
        p.Fresh = std::make_unique<TFbXSQLVAR>(this, FQuery);
        // No type yet, nullable and null; on a descriptor item of its own until the list is replaced.
        TFbXSQLVAR& item = *p.Fresh;
        item.FXSQLVAR = &item.FDetached;
        item.FDetached.sqltype = 1;
        item.SetIndicator(true);
        item.FIndicator = -1;
        item.EnsureDataArea(1);
    }
}

void TFbXSQLDA::PlanNames(TRebuild& r, const QList<TParamListEntry>& entries) {
    r.Keys.reserve(size_t(r.Count));
    for (int i = 0; i < r.Count; ++i)
        r.Keys.push_back(entries[i].NameQuoted ? entries[i].Name : AsciiUpperCase(entries[i].Name));
    r.InEqualGroup.assign(size_t(r.Count), false);
    for (int i = 0; i < r.Count; ++i) {
        const QString& key = r.Keys[size_t(i)];
        if (FIsParams) {
            auto equal = r.EqualNames.find(key);
            if (equal != r.EqualNames.end()) {
                equal->second.push_back(i);
                r.InEqualGroup[size_t(i)] = true;
            } else if (const auto first = r.Names.find(key); first != r.Names.end()) {
                r.EqualNames.emplace(key, std::vector<int>{first->second, i});
                r.InEqualGroup[size_t(first->second)] = true;
                r.InEqualGroup[size_t(i)] = true;
            }
        }
        r.Names.emplace(key, i);
    }
}

void TFbXSQLDA::PlanMacroTexts(TRebuild& r, const QList<TParamListEntry>& entries) {
    // A value reaches every item of its name (the last one set wins); encoded now, into data areas
    // grown now, so that storing it cannot fail.
    for (int i = 0; i < r.Count; ++i) {
        if (!entries[i].SetMacroValue) continue;
        TRebuild::TMacroText text{entries[i].MacroValue, QByteArray()};
        EncodeAnsiInto(text.Wide, text.Encoded);
        r.MacroTexts.insert_or_assign(r.Keys[size_t(i)], std::move(text));
    }
    r.MacroOf.assign(size_t(r.Count), nullptr);
    for (int i = 0; i < r.Count; ++i) {
        const auto text = r.MacroTexts.find(r.Keys[size_t(i)]);
        if (text == r.MacroTexts.end() || text->second.Encoded.size() > MaxTextLength) continue;
        r.MacroOf[size_t(i)] = &text->second;
        PlannedItem(r, i).EnsureDataArea(int(text->second.Encoded.size()));
    }
}

void TFbXSQLDA::CommitRebuild(TRebuild& r, const QList<TParamListEntry>& entries) noexcept {
    using TFrom = TRebuild::TFrom;
    for (int i = 0; i < r.Capacity; ++i) {
        TRebuild::TPlan& p = r.Plan[size_t(i)];
        std::unique_ptr<TFbXSQLVAR> item = p.From == TFrom::Kept      ? std::move(FXSQLVARs[size_t(p.Index)])
                                           : p.From == TFrom::Retired ? std::move(FRetired[size_t(p.Index)])
                                                                      : std::move(p.Fresh);
        XSQLVAR& slot = r.Descriptor->sqlvar[i];
        slot = *item->FXSQLVAR;
        item->FXSQLVAR = &slot;
        if (slot.sqlind) slot.sqlind = &item->FIndicator;
        item->FIndex = i;
        item->FInEqualGroup = i < r.Count && r.InEqualGroup[size_t(i)];
        if (i < r.Count) {
            item->FName = r.Keys[size_t(i)];
            item->FTextData = entries[i].TextData;
        }
        r.Items.push_back(std::move(item));
    }
    // Items of the old list that were handed out may still be held: they retire, off the old
    // descriptor. Spare items past the old count were never handed out and go with the old list.
    for (int i = 0; i < FCount; ++i) {
        if (!FXSQLVARs[size_t(i)]) continue;
        FXSQLVARs[size_t(i)]->Detach();
        r.Retired.push_back(std::move(FXSQLVARs[size_t(i)]));
    }
    for (auto& item : FRetired)
        if (item) r.Retired.push_back(std::move(item));
    FXSQLVARs.swap(r.Items);
    FRetired.swap(r.Retired);
    FXSQLDA.swap(r.Descriptor);
    FCapacity = r.Capacity;
    FCount = r.Count;
    if (FXSQLDA) FXSQLDA->sqln = FXSQLDA->sqld = short(r.Count);
    FNames.swap(r.Names);
    FEquelNames.swap(r.EqualNames);
    FCachedNames.clear();
    FHasDefferedSettings = false;
    for (int i = 0; i < r.Count; ++i) {
        if (const TRebuild::TMacroText* text = r.MacroOf[size_t(i)])
            FXSQLVARs[size_t(i)]->PutMacroText(text->Encoded, text->Wide);
        if (FXSQLVARs[size_t(i)]->FIsDefferedSetting) FHasDefferedSettings = true;
    }
}

void TFbXSQLDA::RebuildFromScan(const QList<TParamListEntry>& entries) {
    // The new list is made beside the old one; only when nothing more can fail does it replace it,
    // so that a failure leaves the old list as it was.
    TRebuild r;
    r.Count = int(entries.size());
    r.Capacity = std::max(FCapacity, r.Count);
    r.Descriptor = NewXSQLDA(r.Capacity);
    PlanItems(r, entries);
    PlanNames(r, entries);
    PlanMacroTexts(r, entries);
    // Room for the items left out, so that retiring them cannot fail.
    r.Retired.reserve(FRetired.size() + FXSQLVARs.size());
    r.Items.reserve(size_t(r.Capacity));
    CommitRebuild(r, entries);
    // Macro values too long for text take the ordinary way (they become blob content).
    for (int i = 0; i < r.Count; ++i)
        if (entries[i].SetMacroValue && !r.MacroOf[size_t(i)])
            FXSQLVARs[size_t(i)]->SetAsWideString(entries[i].MacroValue);
}
