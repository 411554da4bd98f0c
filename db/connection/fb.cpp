#include "fb.h"

#include "FbInternal.h"
#include "IB_Intf.h"
#include "platform/Component.h"
#include "platform/Encoding.h"

#include <mutex>

using namespace db::connection;

namespace {

// Texts of the numbered client errors; the number is the index.
const char16_t* const ClientErrorTexts[] = {
    u"Unknown error.",                                           // 0
    u"Unsupported feature.",                                     // 1
    u"Not permitted.",                                           // 2
    u"Temporary file access error.",                             // 3
    u"Database connection timed out.",                           // 4
    u"Cannot set database.",                                     // 5
    u"Cannot set transaction.",                                  // 6
    u"Operation cancelled at user's request.",                   // 7
    u"DPB Constant (isc_dpb_%s) is unsupported.",                // 8
    u"DPB Constant (%s) is unknown.",                            // 9
    u"TPB Constant (isc_tpb_%s) is unsupported.",                // 10
    u"TPB Constant (%s) is unknown.",                            // 11
    u"%s: Cannot perform operation -- DB is not open.",          // 12
    u"Cannot perform operation -- DB is currently open.",        // 13
    u"Database name is missing.",                                // 14
    u"%s :Transaction is not active.",                           // 15
    u"%s :Transaction is active.",                               // 16
    u"Timeout values cannot be negative.",                       // 17
    u"%s :No databases are listed in transaction component.",    // 18
    u"%s :Updating wrong database.",                             // 19
    u"%s :Updating wrong transaction.",                          // 20
    u"Database not assigned for %s.",                            // 21
    u"Transaction not assigned for %s.",                         // 22
    u"XSQLDA index out of range.",                               // 23
    u"XSQLDA name does not exist (%s).",                         // 24
    u"End of file.",                                             // 25
    u"Beginning of file.",                                       // 26
    u"%s:Invalid statement handle.",                             // 27
    u"Can't %s because %s dataset open.",                        // 28
    u"Can't %s because %s dataset closed.",                      // 29
    u"Unknown SQL Data type (%d).",                              // 30
    u"Invalid column index (index exceeds permitted range).",    // 31
    u"Invalid parameter index (index exceeds permitted range).", // 32
    u"Invalid data conversion.",                                 // 33
    u"Column cannot be set to null (%s)",                        // 34
    u"Blob stream cannot be read.",                              // 35
    u"Blob stream cannot be written.",                           // 36
    u"Can't %s , because  query is empty",                       // 37
    u"Can't \"open\" a non-select statement. Use ExecQuery.",    // 38
    u"No access to field \"%s\".",                               // 39
    u"Field \"%s\" is read-only.",                               // 40
    u"Field \"%s\" not found.",                                  // 41
    u"DataSet not in Edit or Insert mode.(%s)",                  // 42
    u"Not editing.",                                             // 43
    u"Can't insert into dataset. (%s)",                          // 44
    u"Can't post. (%s) ",                                        // 45
    u"Can't update. (%s)",                                       // 46
    u"Can't delete from dataset. (%s)",                          // 47
    u"Can't refresh row. (%s)",                                  // 48
    u"Buffer not set.",                                          // 49
    u"Circular references not permitted.(%s)",                   // 50
    u"SQL Parse Error in :%s \r\n\r\n%s",                        // 51
    u"User abort.",                                              // 52
    u"Data set is uni-directional.",                             // 53
    u"Cannot create shared resource. (Windows error %d)",        // 54
    u"Windows API error. (Windows error %d [$%.8x])",            // 55
    u"Column lists do not match.",                               // 56
    u"Column types don't match. (From index: %d, To index: %d)", // 57
    u"Can't end a shared transaction unless it is forced and equal to the transaction's "
    u"TimeoutAction.",                         // 58
    u"Column types \"%s\" is not array field", // 59
    u"Dimension %d don't exist in \"%s\" ",    // 60
    u"SQL Dialect invalid",                    // 61
    u"InterBase library gds32.dll not found in the path. Please install InterBase to use this "
    u"functionality",                                                                       // 62
    u"%s is an InterBase6 function. Please upgrade to InterBase6 to use this functonality", // 63
    u"InterBase Install DLL ibinstall.dll not found in the path. Please install InterBase 6 to use "
    u"this functionality",                                                                       // 64
    u"Cannot perform operation -- service is not attached",                                      // 65
    u"Cannot perform operation -- service is attached",                                          // 66
    u"Server Name Missing",                                                                      // 67
    u"Query Parameters missing or incorrect",                                                    // 68
    u"Start Parameters missing or incorrect",                                                    // 69
    u"Unexpected Output buffer value",                                                           // 70
    u"Generic ServiceStart not applicable: Use Specific Procedures to set configuration params", // 71
    u"SPB Constant Not supported",                                                               // 72
    u"SPB Constant Unknown",                                                                     // 73
    u"Field Size too small. Field %s.%s",                                                        // 74
    u"%s. Can't use limited cache. \r\nCachedUpdates must be False,\r\nSelect must have \"Order by\" "
    u"clause ,\r\nAll order fields must exist in fields section\r\nSelect can't use params with "
    u"prefix \"NEW_\"\r\nUpdateTransaction must be equel Transaction or AutoCommit=True ",  // 75
    u"Error in %s. FieldList is empty.",                                                    // 76
    u"%s can't use field \"%s\"",                                                           // 77
    u"%s is an Firebird 2 function. Please upgrade to Firebird 2 to use this functonality", // 78
    u"MDT. Socket of database \"%s\" not found",                                            // 79
    u"MDT. MDT transaction already opened",                                                 // 80
    u"MDT. FbXSQLDA and MDTDataRecord are incompatible",                                    // 81
    u"MDT. Unexpected error in \"%s\"",                                                     // 82
    u"MDT. MDT savepoint \"%s\" already set",                                               // 83
    u"MDT. Savepoint \"%s\" not found",                                                     // 84
};
constexpr int ClientErrorCount = int(sizeof(ClientErrorTexts) / sizeof(ClientErrorTexts[0]));
static_assert(ClientErrorCount == int(FbClientError::MDTSavepointNotFound) + 1, "one text per client error");

thread_local ISC_STATUS_ARRAY tStatusVector = {};

std::mutex gPartsLock;
TFbErrorMessageParts gParts;

std::mutex gHandlerLock;
TFbErrorHandler gErrorHandler;

// The client's texts: UTF-8 when they are valid UTF-8 (file names reach the client in UTF-8 and
// come back in its messages), the system code page otherwise.
QString ClientText(const QByteArray& bytes) {
    QString text;
    if (platform::TryDecode(bytes, platform::TTextEncoding::UTF8, text)) return text;
    return platform::StringFromAnsi(bytes);
}

bool IsSmallLetter(char16_t c) {
    return c >= u'a' && c <= u'z';
}

} // namespace

EFbError::EFbError(int sqlCode, const QString& msg, QObject* sender) : platform::EDatabaseError(QString()) {
    Init(sqlCode, sender);
    FMsg = msg;
    Compose();
}

EFbError::EFbError(int sqlCode, const QString& ibMsg, const QString& sqlMsg, const QString& customMsg,
                   QObject* sender)
    : platform::EDatabaseError(QString()) {
    FIBMessage = ibMsg;
    FSQLMessage = sqlMsg;
    FCustomMessage = customMsg;
    Init(sqlCode, sender);
    Compose();
}

void EFbError::Init(int sqlCode, QObject* sender) {
    FSQLCode = sqlCode;
    FIBErrorCode = int(StatusVector()[1]);
    FSenderObj = sender;
    if (auto* component = qobject_cast<platform::TComponent*>(sender)) FRaiserName = component->FullName();
}

void EFbError::SetSQLMessage(const QString& value) {
    FSQLMessage = value;
    Compose();
}

void EFbError::SetIBMessage(const QString& value) {
    FIBMessage = value;
    Compose();
}

void EFbError::SetCustomMessage(const QString& value) {
    FCustomMessage = value;
    Compose();
}

void EFbError::SetMsg(const QString& value) {
    FMsg = value;
    Compose();
}

void EFbError::Compose() {
    const TFbErrorMessageParts parts = FbErrorMessageParts();
    QString message;
    if (parts.RaiserName && FRaiserName.size() >= 2) message += FRaiserName + QStringLiteral(":\r\n");
    if (parts.SQLMessage) message += FSQLMessage;
    if (parts.IBMessage) message += FIBMessage;
    if (!FCustomMessage.isEmpty()) message += FCustomMessage;
    message += FMsg;
    SetMessage(message);
}

ISC_STATUS* db::connection::StatusVector() {
    return tStatusVector;
}

QString db::connection::FbClientErrorText(int code) {
    code %= 128;
    if (code < 0 || code >= ClientErrorCount) return QString();
    return QString::fromUtf16(ClientErrorTexts[code]);
}

QString db::connection::FbClientErrorText(FbClientError code) {
    return FbClientErrorText(int(code));
}

TFbErrorMessageParts db::connection::FbErrorMessageParts() {
    std::lock_guard lock(gPartsLock);
    return gParts;
}

void db::connection::SetFbErrorMessageParts(const TFbErrorMessageParts& parts) {
    std::lock_guard lock(gPartsLock);
    gParts = parts;
}

void db::connection::SetFbErrorHandler(TFbErrorHandler handler) {
    std::lock_guard lock(gHandlerLock);
    gErrorHandler = std::move(handler);
}

namespace {

// The code that begins the cluster at `cursor` and whether arguments follow it.
TFbStatusLine DescribeCluster(const ISC_STATUS* status, const ISC_STATUS* cursor) {
    TFbStatusLine line;
    const ISC_STATUS* const end = status + ISC_STATUS_LENGTH;
    if (cursor + 1 >= end || (cursor[0] != isc_arg_gds && cursor[0] != isc_arg_warning)) return line;
    line.Code = cursor[1];
    for (const ISC_STATUS* p = cursor + 2; p < end && *p != isc_arg_end;) {
        if (*p == isc_arg_gds || *p == isc_arg_warning) break;
        if (*p != isc_arg_sql_state) line.HasArguments = true;
        p += *p == isc_arg_cstring ? 3 : 2;
    }
    return line;
}

// Lines that only name the class of an error, the place in the text, or the other transaction.
bool IsGenericLine(ISC_STATUS code) {
    switch (code) {
    case isc_dsql_error:
    case isc_sqlerr:
    case isc_dsql_line_col_error:
    case isc_deadlock:
    case isc_concurrent_transaction:
    case isc_stack_trace:
    case isc_except2:
        return true;
    default:
        return false;
    }
}

} // namespace

QString db::connection::StatusCause(const QList<TFbStatusLine>& lines) {
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const TFbStatusLine& line = lines[i];
        if (line.Code == isc_except) {
            // "exception N", then the exception's name: its own text comes after them.
            ++i;
            continue;
        }
        if (IsGenericLine(line.Code) || line.Text.trimmed().isEmpty()) continue;
        QString cause = line.Text.trimmed();
        // A message without arguments ("Column unknown") names its object in the next line.
        if (!line.HasArguments && i + 1 < lines.size() && lines[i + 1].Code == isc_random)
            cause += QLatin1Char(' ') + lines[i + 1].Text.trimmed();
        return cause;
    }
    return QString();
}

void db::connection::RaiseIBError(IIBClientLibrary& clientLibrary, QObject* sender) {
    ISC_STATUS* status = StatusVector();
    const TFbErrorMessageParts parts = FbErrorMessageParts();

    const int sqlCode = int(clientLibrary.isc_sqlcode(status));

    QString sqlText;
    if (parts.SQLMessage) {
        char buffer[1024] = {};
        clientLibrary.isc_sql_interprete(short(sqlCode), buffer, short(sizeof(buffer)));
        buffer[sizeof(buffer) - 1] = 0;
        sqlText = ClientText(QByteArray(buffer));
        sqlText.remove(QStringLiteral("\\n"));
        if (!sqlText.isEmpty()) {
            if (IsSmallLetter(sqlText.front().unicode())) sqlText[0] = sqlText[0].toUpper();
            if (sqlText.back() != QLatin1Char('.')) sqlText += QStringLiteral(".\r\n");
        }
    }

    // Every message line, with the code that begins it; the message parts decide what is shown.
    QList<TFbStatusLine> lines;
    {
        constexpr unsigned BufferSize = 20480;
        QByteArray buffer(BufferSize, '\0');
        ISC_STATUS* cursor = status;
        for (;;) {
            TFbStatusLine statusLine = DescribeCluster(status, cursor);
            const ISC_LONG length = clientLibrary.Interprete(buffer.data(), BufferSize, &cursor);
            if (length <= 0) break;
            statusLine.Text = ClientText(buffer.left(qMin<ISC_LONG>(length, BufferSize)));
            lines.append(statusLine);
        }
    }
    QString ibText;
    if (parts.IBMessage) {
        for (const TFbStatusLine& statusLine : lines) {
            QString line = statusLine.Text;
            if (!line.isEmpty() && line[0] >= QLatin1Char('a') && line[0] <= QLatin1Char('z'))
                line[0] = line[0].toUpper();
            ibText += line;
            if (!ibText.endsWith(QLatin1Char('.'))) ibText += QLatin1Char('.');
            ibText += QStringLiteral("\r\n");
        }
    }

    EFbInterBaseError error(sqlCode, ibText, sqlText, QString(), sender);
    error.SetIBCause(StatusCause(lines));

    TFbErrorHandler handler;
    {
        std::lock_guard lock(gHandlerLock);
        handler = gErrorHandler;
    }
    if (handler) {
        bool doRaise = true;
        handler(sender, error, doRaise);
        if (!doRaise) return;
    }
    throw error;
}

void db::connection::RaiseFbError(int code, std::initializer_list<platform::TVarRec> args) {
    code %= 128;
    throw EFbClientError(code, platform::Format(FbClientErrorText(code), args), nullptr);
}

void db::connection::RaiseFbError(FbClientError code, std::initializer_list<platform::TVarRec> args) {
    RaiseFbError(int(code), args);
}

void db::connection::RaiseFbErrorText(const QString& format, std::initializer_list<platform::TVarRec> args) {
    throw EFbClientError(-1, platform::Format(format, args), nullptr);
}
