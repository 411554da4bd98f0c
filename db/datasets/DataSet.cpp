#include "DataSet.h"

#include "platform/Format.h"

#include <cstring>

TDataSet::TDataSet(platform::TComponent* owner) : platform::TComponent(owner) {}

TDataSet::~TDataSet() {
    DestroyFields();
}

void TDataSet::DatabaseError(const QString& message) const {
    throw platform::EDatabaseError(Name().isEmpty() ? message : Name() + QStringLiteral(": ") + message);
}

// ---- open and close

void TDataSet::SetActive(bool value) {
    if (value == Active()) return;
    if (value) {
        DoBeforeOpenPhase();
        try {
            OpenCursor();
        } catch (...) {
            FState = TDataSetState::dsInactive;
            try {
                CloseCursor();
            } catch (...) {
            }
            throw;
        }
        FState = TDataSetState::dsBrowse;
        DoAfterOpenPhase();
    } else {
        DoBeforeClosePhase();
        FState = TDataSetState::dsInactive;
        CloseCursor();
        DoAfterClosePhase();
    }
}

void TDataSet::OpenCursor() {
    FState = TDataSetState::dsOpening;
    InternalOpen();
    AfterInternalOpen();
    AllocateBuffers();
    ClearBuffers();
    GetNextRecord();
    FBOF = true;
}

void TDataSet::CloseCursor() {
    ClearBuffers();
    FBuffers[0].clear();
    FBuffers[1].clear();
    InternalClose();
}

void TDataSet::AllocateBuffers() {
    const size_t size = size_t(RecordBufferSize());
    for (auto& buffer : FBuffers)
        buffer.assign(size, 0);
}

void TDataSet::DoBeforeOpenPhase() {
    if (!CloseOpenEventsDisabled() && BeforeOpen) BeforeOpen(this);
}
void TDataSet::DoAfterOpenPhase() {
    if (!CloseOpenEventsDisabled() && AfterOpen) AfterOpen(this);
    if (!IsEmpty()) DoAfterScroll();
}
void TDataSet::DoBeforeClosePhase() {
    if (!CloseOpenEventsDisabled() && BeforeClose) BeforeClose(this);
}
void TDataSet::DoAfterClosePhase() {
    if (!CloseOpenEventsDisabled() && AfterClose) AfterClose(this);
}

// ---- fields

void TDataSet::CreateFields() {
    DestroyFields();
    for (int i = 0; i < FFieldDefs.Count(); ++i) {
        std::unique_ptr<TField> field = CreateField(FFieldDefs[i]);
        FFields.append(field.get());
        FOwnedFields.push_back(std::move(field));
    }
    FDefaultFields = true;
}

void TDataSet::DestroyFields() {
    FFields.clear();
    FOwnedFields.clear();
    FDefaultFields = false;
}

TField* TDataSet::FindField(const QString& name) const {
    const QString upper = name.toUpper();
    const size_t hash = FieldNameHash(upper);
    for (TField* field : FFields)
        if (field->NameHash() == hash && field->UpperName() == upper) return field;
    return nullptr;
}

TField& TDataSet::FieldByName(const QString& name) const {
    TField* field = FindField(name);
    if (!field) DatabaseError(platform::Format(u"Field '%s' not found", {name}));
    return *field;
}

// ---- row buffers

void TDataSet::ClearBuffers() {
    FBufferedRows = 0;
    FActive = 0;
    FBOF = true;
    FEOF = true;
}

// The row in that direction goes into the spare buffer, which becomes the active one.
bool TDataSet::GetRecordInto(TGetMode mode) {
    if (FBufferedRows) InternalSetToRecord(FBuffers[FActive].data());
    const int spare = 1 - FActive;
    if (GetRecord(FBuffers[spare].data(), mode) != TGetResult::grOK) return false;
    FActive = spare;
    if (!FBufferedRows) {
        FBufferedRows = 1;
        FBOF = false;
        FEOF = false;
    }
    return true;
}

// ---- navigation

void TDataSet::First() {
    if (!Active()) DatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    DoBeforeScroll();
    ClearBuffers();
    try {
        InternalFirst();
        GetNextRecord();
    } catch (...) {
        FBOF = true;
        throw;
    }
    FBOF = true;
    DoAfterScroll();
}

void TDataSet::Last() {
    if (!Active()) DatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    DoBeforeScroll();
    ClearBuffers();
    try {
        InternalLast();
        GetPriorRecord();
    } catch (...) {
        FEOF = true;
        throw;
    }
    FEOF = true;
    DoAfterScroll();
}

int TDataSet::MoveBy(int distance) {
    if (!Active()) DatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    DoBeforeScroll();
    int moved = 0;
    if ((distance > 0 && !FEOF) || (distance < 0 && !FBOF)) {
        FBOF = false;
        FEOF = false;
        while (distance > 0) {
            if (!GetNextRecord()) {
                FEOF = true;
                break;
            }
            --distance;
            ++moved;
        }
        while (distance < 0) {
            if (!GetPriorRecord()) {
                FBOF = true;
                break;
            }
            ++distance;
            --moved;
        }
        DoAfterScroll();
    }
    return moved;
}
