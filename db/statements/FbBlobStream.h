#pragma once
// Blob content: reading a blob by id into memory and writing memory into a new blob, through the
// client library binding with a database and transaction handle.

#include "db/connection/IB_Intf.h"

#include <QByteArray>
#include <QObject>
#include <ibase.h>

// Where blob calls go: the binding, the attachment, the transaction, and the component named in
// errors.
struct TFbBlobContext {
    IIBClientLibrary* Library = nullptr;
    isc_db_handle* DBHandle = nullptr;
    isc_tr_handle* TRHandle = nullptr;
    QObject* Sender = nullptr;
};

// One blob opened for reading or created for writing; closed (or cancelled, when created and not
// finished) by the destructor.
class TFbBlobStream {
public:
    explicit TFbBlobStream(const TFbBlobContext& context);
    ~TFbBlobStream();
    TFbBlobStream(const TFbBlobStream&) = delete;
    TFbBlobStream& operator=(const TFbBlobStream&) = delete;

    void OpenForRead(const ISC_QUAD& id);
    // Reads everything from the current position to the end.
    QByteArray ReadAll();

    // A new blob of the given subtype; its id is known from here on.
    void Create(short subType);
    void Write(const char* data, qsizetype size);
    void Write(const QByteArray& data) { Write(data.constData(), data.size()); }
    // Closes the written blob; the id is then valid for the transaction.
    void Finish();

    const ISC_QUAD& BlobId() const { return FId; }
    bool Active() const { return FHandle != 0; }

private:
    // Raises the status-vector error when the call failed.
    void Check(ISC_STATUS result);

    TFbBlobContext FContext;
    isc_blob_handle FHandle = 0;
    ISC_QUAD FId{};
    bool FWriting = false;
};

namespace db::statements {

// Reads the whole blob with this id.
QByteArray FbReadBlob(const TFbBlobContext& context, const ISC_QUAD& id);
// Writes the bytes into a new blob of the given subtype and returns its id.
ISC_QUAD FbWriteBlob(const TFbBlobContext& context, const QByteArray& data, short subType);

} // namespace db::statements
