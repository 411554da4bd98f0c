#pragma once
// Errors of the database layer: EFbInterBaseError for failures the client library reports in the
// status vector, EFbClientError for the layer's own numbered errors (table in fb.cpp).

#include "platform/DatabaseError.h"
#include "platform/Format.h"

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

// The calling thread's status vector, passed to every client call.
ISC_STATUS* StatusVector();

// The unformatted text of client error `code` (taken modulo 128; codes without a text give "").
QString FbClientErrorText(int code);

// Builds an EFbInterBaseError from the calling thread's status vector and raises it. Returns only
// when a registered error handler decides not to raise.
void RaiseIBError(IIBClientLibrary& clientLibrary, QObject* sender);
// Raises client error `code` with its text formatted from the arguments.
[[noreturn]] void RaiseFbError(int code, std::initializer_list<platform::TVarRec> args = {});
// Raises an EFbClientError with SQLCode -1 and the given text formatted from the arguments.
[[noreturn]] void RaiseFbErrorText(const QString& format, std::initializer_list<platform::TVarRec> args = {});

// Which parts a status-vector error's message contains; all on unless changed.
struct TFbErrorMessageParts {
    bool RaiserName = true;
    bool SQLMessage = true;
    bool IBMessage = true;
};
TFbErrorMessageParts FbErrorMessageParts();
void SetFbErrorMessageParts(const TFbErrorMessageParts& parts);

// A process-wide hook that sees every status-vector error before it is raised and may cancel the
// raise by setting doRaise to false. None is registered by default.
using TFbErrorHandler = std::function<void(QObject* sender, EFbError& error, bool& doRaise)>;
void SetFbErrorHandler(TFbErrorHandler handler);
