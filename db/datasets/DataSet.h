#pragma once
// The generic data set: state, Bof and Eof, a ring of row buffers, navigation, the open and close
// phases and their events. A concrete data set supplies the cursor through the protected hooks.

#include "DataSetTypes.h"
#include "Field.h"
#include "platform/Component.h"
#include "platform/DatabaseError.h"

#include <QList>
#include <QString>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

class TDataSet : public platform::TComponent {
    Q_OBJECT
public:
    explicit TDataSet(platform::TComponent* owner = nullptr);
    ~TDataSet() override;

    using TDataSetNotifyEvent = std::function<void(TDataSet* dataSet)>;

    bool Active() const { return FState != TDataSetState::dsInactive; }
    void SetActive(bool value);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    TDataSetState State() const { return FState; }

    bool Bof() const { return FBOF; }
    bool Eof() const { return FEOF; }
    bool IsEmpty() const { return FBufferedRows == 0; }
    void First();
    void Next() { MoveBy(1); }
    void Prior() { MoveBy(-1); }
    void Last();
    // Moves up to `distance` rows (negative: backwards); returns the signed number of rows moved.
    int MoveBy(int distance);
    virtual int RecordCount() { return 0; }

    TFieldDefs& FieldDefs() { return FFieldDefs; }
    const QList<TField*>& Fields() const { return FFields; }
    int FieldCount() const { return int(FFields.size()); }
    // The first field whose name equals `name` ignoring case; none when there is none.
    TField* FindField(const QString& name) const;
    // As FindField; "Field '%s' not found" when there is none.
    TField& FieldByName(const QString& name) const;
    // Fields created by the data set at open (not persistent ones).
    bool DefaultFields() const { return FDefaultFields; }

    void DisableCloseOpenEvents() { ++FCloseOpenEventsDisabled; }
    void EnableCloseOpenEvents() {
        if (FCloseOpenEventsDisabled > 0) --FCloseOpenEventsDisabled;
    }
    void DisableScrollEvents() { ++FScrollEventsDisabled; }
    void EnableScrollEvents() {
        if (FScrollEventsDisabled > 0) --FScrollEventsDisabled;
    }

    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose, BeforeScroll, AfterScroll;
    // Editing events, kept for the editing model.
    TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit, BeforePost, AfterPost, BeforeCancel,
        AfterCancel, BeforeDelete, AfterDelete, OnNewRecord, OnCalcFields;

    // Raises EDatabaseError with the component's name and ": " in front when it has a name.
    [[noreturn]] void DatabaseError(const QString& message) const;

    // The buffer of the row the fields show, or none when there is no row.
    const char* ActiveBuffer() const { return FBufferedRows ? FBuffers[FActive].data() : nullptr; }

protected:
    // Hooks of the concrete data set.
    virtual void DoBeforeOpenPhase();
    virtual void InternalOpen() = 0;
    // Work between the open step and the first fetch (field set-up).
    virtual void AfterInternalOpen() {}
    virtual void DoAfterOpenPhase();
    virtual void DoBeforeClosePhase();
    virtual void InternalClose() = 0;
    virtual void DoAfterClosePhase();
    virtual bool IsCursorOpen() const = 0;
    virtual int RecordBufferSize() const = 0;
    virtual TGetResult GetRecord(char* buffer, TGetMode mode) = 0;
    virtual void InternalFirst() = 0;
    virtual void InternalLast() = 0;
    // Positions the cursor on the row a buffer holds.
    virtual void InternalSetToRecord(const char* buffer) = 0;
    virtual bool IsUniDirectional() const { return false; }

    void DoBeforeScroll() {
        if (!FScrollEventsDisabled && BeforeScroll) BeforeScroll(this);
    }
    void DoAfterScroll() {
        if (!FScrollEventsDisabled && AfterScroll) AfterScroll(this);
    }
    bool CloseOpenEventsDisabled() const { return FCloseOpenEventsDisabled > 0; }

    // Field objects: one per definition, of the class CreateField gives; destroyed at close.
    void CreateFields();
    virtual std::unique_ptr<TField> CreateField(const TFieldDef& def) = 0;
    void DestroyFields();

    // The row buffers are dropped (Bof and Eof become true).
    void ClearBuffers();
    // Fetches one row forwards or backwards into the active buffer; false when none came.
    bool GetNextRecord() { return GetRecordInto(TGetMode::gmNext); }
    bool GetPriorRecord() { return GetRecordInto(TGetMode::gmPrior); }
    bool GetRecordInto(TGetMode mode);

private:
    void OpenCursor();
    void CloseCursor();
    void AllocateBuffers();

    TDataSetState FState = TDataSetState::dsInactive;
    bool FBOF = true;
    bool FEOF = true;
    // Buffer 0 or 1 is active; the other one receives the next fetch.
    std::vector<char> FBuffers[2];
    int FActive = 0;
    int FBufferedRows = 0;
    TFieldDefs FFieldDefs;
    QList<TField*> FFields;
    std::vector<std::unique_ptr<TField>> FOwnedFields;
    bool FDefaultFields = false;
    int FCloseOpenEventsDisabled = 0;
    int FScrollEventsDisabled = 0;
};
