#pragma once
// Errors of the database layer: EFbInterBaseError for failures the client library reports in the
// status vector, EFbClientError for the layer's own numbered errors (table in fb.cpp).

#include "platform/DatabaseError.h"
#include "platform/Format.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <ibase.h>
#include <initializer_list>

class IIBClientLibrary;

class EFbError : public platform::EDatabaseError {
public:
    // Create: a layer message. The sender is a database, transaction, statement or none.
    EFbError(int sqlCode, const QString& msg, QObject* sender);
    // CreateEx: the texts of a status-vector error.
    EFbError(int sqlCode, const QString& ibMsg, const QString& sqlMsg, const QString& customMsg,
             QObject* sender);

    int SQLCode() const { return FSQLCode; }
    int IBErrorCode() const { return FIBErrorCode; }
    const QString& RaiserName() const { return FRaiserName; }
    QObject* SenderObj() const { return FSenderObj; }

    const QString& SQLMessage() const { return FSQLMessage; }
    void SetSQLMessage(const QString& value);
    const QString& IBMessage() const { return FIBMessage; }
    void SetIBMessage(const QString& value);
    // The server's own words for what failed, without the generic lines around them
    // ("Column unknown COUNTTCH", an exception's text); empty for the layer's own errors.
    const QString& IBCause() const { return FIBCause; }
    void SetIBCause(const QString& value) { FIBCause = value; }
    const QString& CustomMessage() const { return FCustomMessage; }
    void SetCustomMessage(const QString& value);
    const QString& Msg() const { return FMsg; }
    void SetMsg(const QString& value);

private:
    void Init(int sqlCode, QObject* sender);
    void Compose();

    int FSQLCode = 0;
    int FIBErrorCode = 0;
    QString FRaiserName;
    QString FSQLMessage;
    QString FIBMessage;
    QString FIBCause;
    QString FCustomMessage;
    QString FMsg;
    QPointer<QObject> FSenderObj;
};

class EFbInterBaseError : public EFbError {
public:
    using EFbError::EFbError;
};

class EFbClientError : public EFbError {
public:
    using EFbError::EFbError;
};

// The layer's own numbered errors; the numbers are those the messages are known by.
enum class FbClientError : int {
    UnknownError = 0,
    UnsupportedFeature = 1,
    NotPermitted = 2,
    TempFileAccessError = 3,
    DatabaseConnectionTimedOut = 4,
    CannotSetDatabase = 5,
    CannotSetTransaction = 6,
    OperationCancelled = 7,
    DPBConstantUnsupported = 8,
    DPBConstantUnknown = 9,
    TPBConstantUnsupported = 10,
    TPBConstantUnknown = 11,
    DatabaseNotOpen = 12,
    DatabaseOpen = 13,
    DatabaseNameMissing = 14,
    TransactionNotActive = 15,
    TransactionActive = 16,
    TimeoutNegative = 17,
    NoDatabasesInTransaction = 18,
    UpdateWrongDatabase = 19,
    UpdateWrongTransaction = 20,
    DatabaseNotAssigned = 21,
    TransactionNotAssigned = 22,
    XSQLDAIndexOutOfRange = 23,
    XSQLDANameDoesNotExist = 24,
    EndOfFile = 25,
    BeginningOfFile = 26,
    InvalidStatementHandle = 27,
    DatasetOpen = 28,
    DatasetClosed = 29,
    UnknownSQLDataType = 30,
    InvalidColumnIndex = 31,
    InvalidParameterIndex = 32,
    InvalidDataConversion = 33,
    ColumnIsNotNullable = 34,
    BlobCannotBeRead = 35,
    BlobCannotBeWritten = 36,
    EmptyQuery = 37,
    CannotOpenNonSelect = 38,
    NoFieldAccess = 39,
    FieldReadOnly = 40,
    FieldNotFound = 41,
    DataSetNotEditing = 42,
    NotEditing = 43,
    CannotInsert = 44,
    CannotPost = 45,
    CannotUpdate = 46,
    CannotDelete = 47,
    CannotRefresh = 48,
    BufferNotSet = 49,
    CircularReference = 50,
    SQLParseError = 51,
    UserAbort = 52,
    DataSetUniDirectional = 53,
    CannotCreateSharedResource = 54,
    WindowsAPIError = 55,
    ColumnListsDontMatch = 56,
    ColumnTypesDontMatch = 57,
    CannotEndSharedTransaction = 58,
    FieldIsNotArray = 59,
    ArrayDimensionMissing = 60,
    InvalidSQLDialect = 61,
    ClientLibraryNotFound = 62,
    InterBase6FunctionRequired = 63,
    InstallLibraryNotFound = 64,
    ServiceNotAttached = 65,
    ServiceAttached = 66,
    ServerNameMissing = 67,
    QueryParamsInvalid = 68,
    StartParamsInvalid = 69,
    UnexpectedOutputBuffer = 70,
    UseSpecificProcedures = 71,
    SPBConstantNotSupported = 72,
    SPBConstantUnknown = 73,
    FieldSizeTooSmall = 74,
    CannotUseLimitedCache = 75,
    FieldListEmpty = 76,
    CannotUseField = 77,
    Firebird2FunctionRequired = 78,
    MDTSocketNotFound = 79,
    MDTTransactionAlreadyOpen = 80,
    MDTRecordIncompatible = 81,
    MDTUnexpectedError = 82,
    MDTSavepointAlreadySet = 83,
    MDTSavepointNotFound = 84,
};

// Which parts a status-vector error's message contains; all on unless changed.
struct TFbErrorMessageParts {
    bool RaiserName = true;
    bool SQLMessage = true;
    bool IBMessage = true;
};

// A process-wide hook that sees every status-vector error before it is raised and may cancel the
// raise by setting doRaise to false. None is registered by default.
using TFbErrorHandler = std::function<void(QObject* sender, EFbError& error, bool& doRaise)>;

namespace db::connection {

// One line of a status-vector error as the client library words it, with the code that begins it
// and whether that code carries arguments of its own.
struct TFbStatusLine {
    ISC_STATUS Code = 0;
    bool HasArguments = false;
    QString Text;
};
// The first line that says more than the error's class, completed by the object it names.
QString StatusCause(const QList<TFbStatusLine>& lines);

// The calling thread's status vector, passed to every client call.
ISC_STATUS* StatusVector();

// Builds an EFbInterBaseError from the calling thread's status vector and raises it. Returns only
// when a registered error handler decides not to raise.
void RaiseIBError(IIBClientLibrary& clientLibrary, QObject* sender);
// Raises client error `code` with its text formatted from the arguments.
[[noreturn]] void RaiseFbError(FbClientError code, std::initializer_list<platform::TVarRec> args = {});
[[noreturn]] void RaiseFbError(int code, std::initializer_list<platform::TVarRec> args = {});
// Raises an EFbClientError with SQLCode -1 and the given text formatted from the arguments.
[[noreturn]] void RaiseFbErrorText(const QString& format, std::initializer_list<platform::TVarRec> args = {});

TFbErrorMessageParts FbErrorMessageParts();
void SetFbErrorMessageParts(const TFbErrorMessageParts& parts);
void SetFbErrorHandler(TFbErrorHandler handler);

} // namespace db::connection
