#include "FbBlobStream.h"

#include "db/connection/fb.h"

#include <algorithm>

using namespace db::connection;

namespace {
// isc_put_segment takes an unsigned 16-bit length.
constexpr qsizetype MaxSegment = 32768;
} // namespace

TFbBlobStream::TFbBlobStream(const TFbBlobContext& context) : FContext(context) {
    if (!FContext.Library || !FContext.DBHandle || !FContext.TRHandle)
        RaiseFbError(FbClientError::NotPermitted);
}

TFbBlobStream::~TFbBlobStream() {
    if (!FHandle) return;
    // A blob abandoned half-written is cancelled so that no partial content survives.
    ISC_STATUS* status = StatusVector();
    if (FWriting)
        FContext.Library->isc_cancel_blob(status, &FHandle);
    else
        FContext.Library->isc_close_blob(status, &FHandle);
    RestoreDefaultFPUState();
    FHandle = 0;
}

void TFbBlobStream::Check(ISC_STATUS result) {
    RestoreDefaultFPUState();
    if (result > 0) RaiseIBError(*FContext.Library, FContext.Sender);
}

void TFbBlobStream::OpenForRead(const ISC_QUAD& id) {
    if (FHandle) RaiseFbError(FbClientError::NotPermitted);
    FId = id;
    FWriting = false;
    Check(FContext.Library->isc_open_blob2(StatusVector(), FContext.DBHandle, FContext.TRHandle, &FHandle,
                                           &FId, ISC_USHORT(0), static_cast<const ISC_UCHAR*>(nullptr)));
}

QByteArray TFbBlobStream::ReadAll() {
    if (!FHandle || FWriting) RaiseFbError(FbClientError::NotPermitted);
    QByteArray result;
    char buffer[MaxSegment];
    for (;;) {
        unsigned short got = 0;
        const ISC_STATUS rc = FContext.Library->isc_get_segment(StatusVector(), &FHandle, &got,
                                                                ISC_USHORT(sizeof buffer), buffer);
        RestoreDefaultFPUState();
        if (rc == 0 || rc == isc_segment) {
            result.append(buffer, got);
            continue;
        }
        if (rc == isc_segstr_eof) break;
        Check(rc);
    }
    return result;
}

void TFbBlobStream::Create(short subType) {
    if (FHandle) RaiseFbError(FbClientError::NotPermitted);
    // Source and target subtype alike: the content is stored as written, no filter runs.
    const ISC_UCHAR bpb[] = {isc_bpb_version1,   isc_bpb_source_type, 1,
                             ISC_UCHAR(subType), isc_bpb_target_type, 1,
                             ISC_UCHAR(subType)};
    FId = ISC_QUAD{};
    Check(FContext.Library->isc_create_blob2(StatusVector(), FContext.DBHandle, FContext.TRHandle, &FHandle,
                                             &FId, ISC_SHORT(sizeof bpb),
                                             reinterpret_cast<const ISC_SCHAR*>(bpb)));
    FWriting = true;
}

void TFbBlobStream::Write(const char* data, qsizetype size) {
    if (!FHandle || !FWriting) RaiseFbError(FbClientError::NotPermitted);
    while (size > 0) {
        const qsizetype part = std::min(size, MaxSegment - 1);
        Check(FContext.Library->isc_put_segment(StatusVector(), &FHandle, ISC_USHORT(part), data));
        data += part;
        size -= part;
    }
}

void TFbBlobStream::Finish() {
    if (!FHandle || !FWriting) RaiseFbError(FbClientError::NotPermitted);
    const ISC_STATUS rc = FContext.Library->isc_close_blob(StatusVector(), &FHandle);
    RestoreDefaultFPUState();
    if (rc > 0) {
        // The error is the close's: cancel into a vector of its own so it stays intact.
        ISC_STATUS scratch[ISC_STATUS_LENGTH] = {};
        FContext.Library->isc_cancel_blob(scratch, &FHandle);
        FHandle = 0;
        RaiseIBError(*FContext.Library, FContext.Sender);
    }
    FHandle = 0;
    FWriting = false;
}

QByteArray db::statements::FbReadBlob(const TFbBlobContext& context, const ISC_QUAD& id) {
    TFbBlobStream blob(context);
    blob.OpenForRead(id);
    return blob.ReadAll();
}

ISC_QUAD db::statements::FbWriteBlob(const TFbBlobContext& context, const QByteArray& data, short subType) {
    TFbBlobStream blob(context);
    blob.Create(subType);
    blob.Write(data);
    blob.Finish();
    return blob.BlobId();
}
