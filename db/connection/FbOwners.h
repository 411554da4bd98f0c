#pragma once
// Owners of client handles and buffers. Descriptors and data areas live in C memory (the client
// library reads and writes them through raw pointers) and are freed with free(); a statement handle
// is dropped on the server unless it was released; whatever way the code leaves.

#include "IB_Intf.h"

#include <cstdlib>
#include <ibase.h>
#include <memory>
#include <new>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

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
// The handle lives in a cell of its own that moves with it from owner to owner: the client
// remembers the address a handle was allocated into (isc_dsql_alloc_statement2) and clears it when
// the statement goes, whoever drops it. A cell the client may still clear is never freed.
class TFbStatementHandle {
public:
    TFbStatementHandle() = default;
    ~TFbStatementHandle() { Drop(); }
    TFbStatementHandle(const TFbStatementHandle&) = delete;
    TFbStatementHandle& operator=(const TFbStatementHandle&) = delete;

    // The address isc_dsql_alloc_statement2 fills, for a handle of `library`.
    isc_stmt_handle* Allocate(IIBClientLibrary& library) {
        Drop();
        if (!FCell) FCell.reset(new isc_stmt_handle(0));
        FLibrary = &library;
        return FCell.get();
    }
    // The address the client calls take (and may clear).
    isc_stmt_handle* Address() noexcept { return FCell ? FCell.get() : &FNone; }
    isc_stmt_handle Get() const noexcept { return FCell ? *FCell : 0; }
    explicit operator bool() const noexcept { return Get() != 0; }
    // Forgets the handle without the server (it was freed there, or the connection is gone).
    void Release() noexcept { LetGoOfCell(); }
    // Takes over the handle of `other`, with its cell; `other` is left without one.
    void MoveFrom(TFbStatementHandle& other) noexcept {
        if (&other == this) return;
        Drop();
        FLibrary = other.FLibrary;
        FCell = std::move(other.FCell);
    }
    // Drops the handle on the server, ignoring what the server says.
    void Drop() noexcept {
        if (Get() && FLibrary) {
            ISC_STATUS_ARRAY status{};
            FLibrary->isc_dsql_free_statement(status, FCell.get(), static_cast<unsigned short>(DSQL_drop));
        }
        LetGoOfCell();
    }

private:
    // A cell still holding a handle is known to the client (a forgotten handle of a lost
    // connection is cleared at the client's shutdown): it is left to it rather than freed.
    void LetGoOfCell() noexcept {
        if (FCell && *FCell) {
#if defined(__SANITIZE_ADDRESS__)
            __lsan_ignore_object(FCell.get());
#endif
            (void)FCell.release();
        }
    }

    IIBClientLibrary* FLibrary = nullptr;
    std::unique_ptr<isc_stmt_handle> FCell;
    isc_stmt_handle FNone = 0;
};
