#pragma once
// Owners of client handles and buffers. Descriptors and data areas live in C memory (the client
// library reads and writes them through raw pointers) and are freed with free(); a statement handle
// is dropped on the server unless it was released; whatever way the code leaves.

#include "IB_Intf.h"

#include <cstdlib>
#include <ibase.h>
#include <memory>
#include <new>

struct TFreeDeleter {
    void operator()(void* p) const noexcept { std::free(p); }
};

using TFbBuffer = std::unique_ptr<char, TFreeDeleter>;
using TFbXSQLDAPtr = std::unique_ptr<XSQLDA, TFreeDeleter>;

// A zeroed descriptor for `count` items (none for 0); throws std::bad_alloc when memory runs out.
inline TFbXSQLDAPtr NewXSQLDA(int count) {
    if (count <= 0) return nullptr;
    void* p = std::calloc(1, XSQLDA_LENGTH(count));
    if (!p) throw std::bad_alloc();
    TFbXSQLDAPtr result(static_cast<XSQLDA*>(p));
    result->version = SQLDA_VERSION1;
    result->sqln = result->sqld = short(count);
    return result;
}

// A statement handle: dropped (DSQL_drop) when the owner goes or takes another, unless released.
class TFbStatementHandle {
public:
    TFbStatementHandle() = default;
    ~TFbStatementHandle() { Drop(); }
    TFbStatementHandle(const TFbStatementHandle&) = delete;
    TFbStatementHandle& operator=(const TFbStatementHandle&) = delete;

    // The address isc_dsql_alloc_statement2 fills, for a handle of `library`.
    isc_stmt_handle* Allocate(IIBClientLibrary& library) noexcept {
        Drop();
        FLibrary = &library;
        return &FHandle;
    }
    // The address the client calls take (and may clear).
    isc_stmt_handle* Address() noexcept { return &FHandle; }
    isc_stmt_handle Get() const noexcept { return FHandle; }
    explicit operator bool() const noexcept { return FHandle != 0; }
    // Forgets the handle without the server (it was freed there, or the connection is gone).
    void Release() noexcept { FHandle = 0; }
    // Takes over a handle of `library` that another owner let go of.
    void Adopt(IIBClientLibrary& library, isc_stmt_handle handle) noexcept {
        Drop();
        FLibrary = &library;
        FHandle = handle;
    }
    // Lets go of the handle, which the caller then owns.
    isc_stmt_handle Detach() noexcept {
        const isc_stmt_handle handle = FHandle;
        FHandle = 0;
        return handle;
    }
    // Drops the handle on the server, ignoring what the server says.
    void Drop() noexcept {
        if (FHandle && FLibrary) {
            ISC_STATUS_ARRAY status{};
            FLibrary->isc_dsql_free_statement(status, &FHandle, static_cast<unsigned short>(DSQL_drop));
        }
        FHandle = 0;
    }

private:
    IIBClientLibrary* FLibrary = nullptr;
    isc_stmt_handle FHandle = 0;
};
