#pragma once
// One parameter or column of a statement: a TFbXSQLVAR is a typed value laid over one XSQLVAR of
// its list's descriptor and converts between the program's values and the SQL types of the client
// API.

#include "FbBlobStream.h"
#include "FbVariant.h"
#include "SqlTextRoutines.h"
#include "StatementContext.h"
#include "db/connection/FbOwners.h"
#include "platform/DateTime.h"

#include <QByteArray>
#include <QHash>
#include <QIODevice>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <cstdint>
#include <ibase.h>
#include <memory>
#include <unordered_map>
#include <vector>

class TFbXSQLDA;
class TFbXSQLVAR;

// What the parameter and column lists need of the statement that owns them: the statement's
// context with its lists typed, and the blob calls.
class IFbQuery : public IStatementContext {
public:
    ~IFbQuery() override;

    virtual TFbXSQLDA& UserParams() = 0;
    virtual TFbXSQLDA& ServerParams() = 0;
    IScanParamList& UserParamList() final;
    IScanParamList& ServerParamList() final;

    // The database and transaction for blob calls, the transaction started first when the
    // statement's qoStartTransaction asks for it.
    virtual TFbBlobContext BlobContext() = 0;
};

// One parameter or result column.
class TFbXSQLVAR : public IScanParam {
public:
    TFbXSQLVAR(TFbXSQLDA* parent, IFbQuery* query);
    ~TFbXSQLVAR() override;
    TFbXSQLVAR(const TFbXSQLVAR&) = delete;
    TFbXSQLVAR& operator=(const TFbXSQLVAR&) = delete;

    int Index() const { return FIndex; }
    const QString& Name() const { return FName; }
    TFbXSQLDA* Parent() const { return FParent; }
    IFbQuery* Query() const { return FQuery; }
    XSQLVAR* Data() const { return FXSQLVAR; }
    bool Modified() const { return FModified; }
    void SetModified(bool value) { FModified = value; }
    bool Initialized() const { return FInitialized; }

    // Descriptive properties.
    short SQLType() const { return short(FXSQLVAR->sqltype & ~1); }
    short SQLSubtype() const { return FXSQLVAR->sqlsubtype; }
    short Size() const { return FXSQLVAR->sqllen; }
    short ServerSQLType() const { return FSrvSQLType; }
    short ServerSQLSubType() const { return FSrvSQLSubType; }
    short ServerSize() const { return FSrvSQLLen; }
    short ServerSQLScale() const { return FSrvSQLScale; }
    QString SqlName() const;
    QString AliasName() const;
    QString RelationName() const;
    QString CharacterSet() const;
    bool IsBlob() const { return SQLType() == SQL_BLOB; }
    bool IsArray() const { return SQLType() == SQL_ARRAY; }
    bool IsParam() const;
    bool IsNumericType() const;
    bool IsRealType() const;
    bool IsDateTimeType() const;

    // Text-scan data.
    bool IsMacro() const { return FTextData.FIsMacro; }
    bool Quoted() const { return FTextData.FQuoted; }
    const QString& DefMacroValue() const { return FTextData.FDefMacroValue; }
    bool InWhereClause() const { return FTextData.FInWhereClause; }
    bool CanForceIsNull() const { return FTextData.FCanForceIsNull; }
    int BeginPosInText() const { return FTextData.FBeginPosInText; }
    int EndPosInText() const { return FTextData.FEndPosInText; }
    const QVariant& OldValue() const { return FOldValue; }

    // IScanParam
    TParamTextData& TextData() override { return FTextData; }
    bool IsNull() const override;
    QString MacroValue() const override { return AsWideString(); }
    void SetOldValue(const QVariant& value) override { FOldValue = value; }

    // Null state and descriptor operations.
    void SetIsNull(bool value);
    void Clear() { SetIsNull(true); }
    bool IsNullable() const { return (FXSQLVAR->sqltype & 1) != 0; }
    void SetIsNullable(bool value);
    short Scale() const { return FXSQLVAR->sqlscale; }
    void SetScale(short value);
    const XSQLVAR& AsXSQLVAR() const { return *FXSQLVAR; }
    void SetAsXSQLVAR(const XSQLVAR& source);
    // The data area, or none when null.
    const void* AsPointer() const { return IsNull() ? nullptr : FXSQLVAR->sqldata; }

    // Setters.
    void SetAsInteger(int value);
    void SetAsLong(int value) { SetAsInteger(value); }
    void SetAsShort(short value);
    void SetAsBoolean(bool value) { SetAsShort(value ? 1 : 0); }
    void SetAsInt64(int64_t value);
    void SetAsDouble(double value);
    void SetAsFloat(double value) { SetAsDouble(value); }
    void SetAsSingle(float value);
    void SetAsCurrency(TCurrency value);
    void SetAsExtended(long double value);
    void SetAsTimeStamp(const platform::TTimeStamp& value);
    void SetAsDateTime(platform::TDateTime value);
    void SetAsDate(platform::TDateTime value);
    void SetAsTime(platform::TDateTime value);
    void SetAsQuad(const ISC_QUAD& value);
    void SetAsString(const QString& value) { SetStringValue(&value, nullptr); }
    void SetAsWideString(const QString& value) { SetStringValue(&value, nullptr); }
    void SetAsAnsiString(const QByteArray& value) { SetStringValue(nullptr, &value); }
    void SetAsVariant(const QVariant& value);
    void SetValue(const QVariant& value) { SetAsVariant(value); }

    // Getters.
    int AsInteger() const;
    int AsLong() const { return AsInteger(); }
    short AsShort() const { return short(uint16_t(uint32_t(AsInteger()))); }
    int64_t AsInt64() const;
    bool AsBoolean() const;
    double AsDouble() const;
    double AsFloat() const { return AsDouble(); }
    float AsSingle() const;
    long double AsExtended() const;
    TCurrency AsCurrency() const;
    platform::TDateTime AsDateTime() const;
    platform::TDateTime AsDate() const { return AsDateTime(); }
    platform::TDateTime AsTime() const { return AsDateTime(); }
    platform::TTimeStamp AsTimeStamp() const;
    ISC_QUAD AsQuad() const;
    QString AsString() const { return AsWideString(); }
    QString AsWideString() const;
    QByteArray AsAnsiString() const;
    QVariant AsVariant() const;
    QVariant Value() const { return AsVariant(); }

    // Copies another item's value (blob content included).
    void Assign(const TFbXSQLVAR& source);

    // Blob content.
    void LoadFromStream(QIODevice& stream);
    void LoadFromFile(const QString& fileName);
    void SaveToStream(QIODevice& stream) const;
    void SaveToFile(const QString& fileName) const;
    // Blob content waiting to be written at execution.
    bool HasStreamValue() const { return FHasStreamValue; }
    const QByteArray& StreamValue() const { return FStreamValue; }
    void DropStreamValue();

    // A string set before the server's type was known; re-encoded by ApplyDeferredSettings.
    bool IsDefferedSetting() const { return FIsDefferedSetting; }

    // The value an item holds, with its type, kept aside while the server describes the list.
    struct TSavedValue {
        bool Typed = false; // the item had a type of its own (was set) when saved
        short Type = 0;
        short SubType = 0;
        short Scale = 0;
        short Length = 0;
        bool HasIndicator = false;
        short Indicator = 0;
        QByteArray Data;
        bool HasWide = false;
        QString Wide;
        bool HasStream = false;
        QByteArray Stream;
        bool Deferred = false;
    };
    TSavedValue SaveValue() const;
    // Puts a saved value back over the server's description (which stays the item's server type).
    void RestoreValue(const TSavedValue& saved);

    // Variants stored for Boolean variant values.
    static const QVariant VariantTrue;
    static const QVariant VariantFalse;

private:
    friend class TFbXSQLDA;

    // The common store: every setter goes through one of these. A value set through a name that
    // occurs more than once in a parameter list reaches every item of that name.
    struct TStore {
        enum class TOp { Data, SetNull, ClearNull, Nullable, NotNullable, Scale, SubType, Copy, Stream };
        TOp Op;
        short Type = 0;
        int Length = 0;
        const void* Bytes = nullptr;
        // Data: the UTF-16 text the value came from (string setter), or none.
        const QString* Wide = nullptr;
        // Data: keep a pending blob value (the id of its written blob is being stored).
        bool KeepStream = false;
        // Data of type SQL_VARYING: Length is the declared length, these the bytes of the text.
        int TextLength = 0;
        // Data: the character set the text's bytes are in, when it is not the item's own.
        bool HasSubType = false;
        short SubType = 0;
        short Value = 0;
        const XSQLVAR* Source = nullptr;
        const QByteArray* Stream = nullptr;
    };
    void SetTypedValue(const TStore& store) {
        // A value that reaches no other item and that no text rewrite follows is only put in
        // place: the common case, at every execution.
        if (store.Op == TStore::TOp::Data && !FInEqualGroup && !FTextData.FCanForceIsNull &&
            !FTextData.FIsMacro)
            PutData(store);
        else
            SpreadStore(store);
    }
    // A store to every item of the name's group, each followed by the text's rewrite checks.
    void SpreadStore(const TStore& store);
    void ApplyStore(const TStore& store);
    // The value of a Data store put in place, and the state of the previous value dropped.
    void PutData(const TStore& store);
    void DropValueState(bool keepStream) {
        if ((!keepStream && FHasStreamValue) || FHasWideTemp) DropHeldValues(keepStream);
        FIsDefferedSetting = false;
    }
    void DropHeldValues(bool keepStream);
    void StoreData(short type, int length, const void* bytes, const QString* wide = nullptr) {
        TStore s{TStore::TOp::Data};
        s.Type = type;
        s.Length = length;
        s.Bytes = bytes;
        s.Wide = wide;
        SetTypedValue(s);
    }
    // Grows the data area to at least `size` bytes (1 at least); never shrinks.
    void EnsureDataArea(int size) {
        if (size > FDataCapacity || FDataCapacity == 0) GrowDataArea(size);
        FXSQLVAR->sqldata = FDataArea.get();
    }
    void GrowDataArea(int size);
    // Stores macro text already encoded, into a data area already large enough; cannot fail.
    void PutMacroText(const QByteArray& encoded, const QString& wide) noexcept;
    // Moves the item onto a descriptor item of its own, off any list's descriptor.
    void Detach() noexcept;
    void SetIndicator(bool present);
    // Whether clearing the value (null, keeping whether the item is nullable) would change nothing.
    bool IsClearedValue() const;

    void SetStringValue(const QString* wide, const QByteArray* ansi);
    // The rarer ways of the string setter, off the path of text for a text item: text too long for
    // a text item or for a blob goes as blob content; text for a number has its decimal separator
    // made a point, and empty text makes a number or a date null (then true: stored).
    bool StoreTextInOtherType(short srvType, short srvSub, short srvScale, qsizetype length,
                              const QString* keep);
    void StoreTextAsBlob(short srvSub, short srvScale, qsizetype length, const QString* keep);
    // Whether the item is a record's key (DB_KEY), which keeps its own type and length.
    bool IsKeyName() const;
    // The server's type, subtype and scale for this item (0 while unknown).
    void ServerType(short& type, short& subType, short& scale, short* length = nullptr) const;
    bool ChooseUtf8(short srvType, short srvSubType, short srvScale) const;
    void SetPendingStream(const QByteArray& bytes, short subType, short scale);
    void SetDeferred(bool value);

    // The raw integer of SQL_SHORT, SQL_LONG and SQL_INT64 values.
    int64_t RawInteger() const;
    double RawReal() const;
    // The stored text bytes of SQL_TEXT and SQL_VARYING values.
    QByteArray RawText() const;
    QByteArrayView RawTextView() const;
    bool TextIsUnicode() const;
    // The content of a blob item: the pending bytes or the blob read from the server.
    QByteArray BlobContent() const;
    [[noreturn]] void ConversionError() const;

    TFbXSQLDA* FParent;
    IFbQuery* FQuery;
    XSQLVAR* FXSQLVAR = nullptr;
    int FIndex = 0;
    QString FName;
    bool FModified = false;
    bool FInitialized = false;
    bool FInEqualGroup = false;
    short FSrvSQLType = 0;
    short FSrvSQLSubType = 0;
    short FSrvSQLLen = 0;
    short FSrvSQLScale = 0;
    TParamTextData FTextData;
    QVariant FOldValue;
    bool FIsDefferedSetting = false;
    bool FHasWideTemp = false;
    QString FWideTempValue;
    bool FHasStreamValue = false;
    QByteArray FStreamValue;
    QByteArray FEncodeBuffer; // reused by the string setter
    // Owned storage the descriptor item points at.
    TFbBuffer FDataArea;
    int FDataCapacity = 0;
    short FIndicator = 0;
    // The descriptor item of an item built for, or retired from, a list: none of the list's.
    XSQLVAR FDetached{};
};
