#pragma once
// Binding to the Firebird client library: the library is loaded by file name at run time and every
// client function is called through the binding of that file name, shared by all databases.

#include <QString>
#include <atomic>
#include <ibase.h>
#include <memory>

// Entry points the client library may offer that <ibase.h> does not declare (InterBase only).
using isc_dsql_batch_execute_immed_t = ISC_STATUS (*)(ISC_STATUS*, isc_db_handle*, isc_tr_handle*,
                                                      unsigned short, unsigned long, char**, unsigned long*);
using isc_dsql_batch_execute_t = ISC_STATUS (*)(ISC_STATUS*, isc_tr_handle*, isc_stmt_handle*, unsigned short,
                                                XSQLDA*, unsigned short, XSQLVAR**, unsigned long*);

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
using isc_interprete_t = decltype(&::isc_interprete);
#pragma GCC diagnostic pop

// Every entry point of the binding: X(name, type, marks the binding busy while it runs).
#define TARVELO_IB_ENTRIES(X)                                                                                \
    X(BLOB_get, decltype(&::BLOB_get), false)                                                                \
    X(BLOB_put, decltype(&::BLOB_put), false)                                                                \
    X(isc_sqlcode, decltype(&::isc_sqlcode), true)                                                           \
    X(isc_sql_interprete, decltype(&::isc_sql_interprete), true)                                             \
    X(isc_interprete, isc_interprete_t, true)                                                                \
    X(fb_interpret, decltype(&::fb_interpret), true)                                                         \
    X(isc_vax_integer, decltype(&::isc_vax_integer), true)                                                   \
    X(isc_blob_info, decltype(&::isc_blob_info), true)                                                       \
    X(isc_open_blob2, decltype(&::isc_open_blob2), true)                                                     \
    X(isc_close_blob, decltype(&::isc_close_blob), true)                                                     \
    X(isc_get_segment, decltype(&::isc_get_segment), true)                                                   \
    X(isc_put_segment, decltype(&::isc_put_segment), true)                                                   \
    X(isc_create_blob2, decltype(&::isc_create_blob2), true)                                                 \
    X(isc_decode_date, decltype(&::isc_decode_date), true)                                                   \
    X(isc_encode_date, decltype(&::isc_encode_date), true)                                                   \
    X(isc_dsql_free_statement, decltype(&::isc_dsql_free_statement), true)                                   \
    X(isc_dsql_execute2, decltype(&::isc_dsql_execute2), true)                                               \
    X(isc_dsql_execute, decltype(&::isc_dsql_execute), true)                                                 \
    X(isc_dsql_set_cursor_name, decltype(&::isc_dsql_set_cursor_name), true)                                 \
    X(isc_dsql_fetch, decltype(&::isc_dsql_fetch), true)                                                     \
    X(isc_dsql_sql_info, decltype(&::isc_dsql_sql_info), true)                                               \
    X(isc_dsql_alloc_statement2, decltype(&::isc_dsql_alloc_statement2), true)                               \
    X(isc_dsql_prepare, decltype(&::isc_dsql_prepare), true)                                                 \
    X(isc_dsql_describe_bind, decltype(&::isc_dsql_describe_bind), true)                                     \
    X(isc_dsql_describe, decltype(&::isc_dsql_describe), true)                                               \
    X(isc_dsql_execute_immediate, decltype(&::isc_dsql_execute_immediate), true)                             \
    X(isc_dsql_exec_immed2, decltype(&::isc_dsql_exec_immed2), true)                                         \
    X(isc_drop_database, decltype(&::isc_drop_database), true)                                               \
    X(isc_detach_database, decltype(&::isc_detach_database), true)                                           \
    X(isc_attach_database, decltype(&::isc_attach_database), true)                                           \
    X(isc_database_info, decltype(&::isc_database_info), true)                                               \
    X(isc_start_multiple, decltype(&::isc_start_multiple), true)                                             \
    X(isc_commit_transaction, decltype(&::isc_commit_transaction), true)                                     \
    X(isc_commit_retaining, decltype(&::isc_commit_retaining), true)                                         \
    X(isc_rollback_transaction, decltype(&::isc_rollback_transaction), true)                                 \
    X(isc_cancel_events, decltype(&::isc_cancel_events), true)                                               \
    X(isc_que_events, decltype(&::isc_que_events), true)                                                     \
    X(isc_event_counts, decltype(&::isc_event_counts), true)                                                 \
    X(isc_event_block, decltype(&::isc_event_block), true)                                                   \
    X(isc_free, decltype(&::isc_free), true)                                                                 \
    X(isc_array_lookup_bounds, decltype(&::isc_array_lookup_bounds), false)                                  \
    X(isc_array_get_slice, decltype(&::isc_array_get_slice), false)                                          \
    X(isc_array_put_slice, decltype(&::isc_array_put_slice), false)                                          \
    X(isc_wait_for_event, decltype(&::isc_wait_for_event), true)                                             \
    X(isc_transaction_info, decltype(&::isc_transaction_info), true)                                         \
    X(isc_prepare_transaction, decltype(&::isc_prepare_transaction), true)                                   \
    X(isc_prepare_transaction2, decltype(&::isc_prepare_transaction2), true)                                 \
    X(isc_rollback_retaining, decltype(&::isc_rollback_retaining), true)                                     \
    X(isc_service_attach, decltype(&::isc_service_attach), true)                                             \
    X(isc_service_detach, decltype(&::isc_service_detach), true)                                             \
    X(isc_service_query, decltype(&::isc_service_query), true)                                               \
    X(isc_service_start, decltype(&::isc_service_start), true)                                               \
    X(isc_decode_sql_date, decltype(&::isc_decode_sql_date), true)                                           \
    X(isc_decode_sql_time, decltype(&::isc_decode_sql_time), true)                                           \
    X(isc_decode_timestamp, decltype(&::isc_decode_timestamp), true)                                         \
    X(isc_encode_sql_date, decltype(&::isc_encode_sql_date), true)                                           \
    X(isc_encode_sql_time, decltype(&::isc_encode_sql_time), true)                                           \
    X(isc_encode_timestamp, decltype(&::isc_encode_timestamp), true)                                         \
    X(isc_portable_integer, decltype(&::isc_portable_integer), true)                                         \
    X(isc_get_client_version, decltype(&::isc_get_client_version), true)                                     \
    X(isc_get_client_major_version, decltype(&::isc_get_client_major_version), true)                         \
    X(isc_get_client_minor_version, decltype(&::isc_get_client_minor_version), true)                         \
    X(isc_dsql_batch_execute_immed, isc_dsql_batch_execute_immed_t, true)                                    \
    X(isc_dsql_batch_execute, isc_dsql_batch_execute_t, true)                                                \
    X(fb_cancel_operation, decltype(&::fb_cancel_operation), false)                                          \
    X(isc_blob_lookup_desc, decltype(&::isc_blob_lookup_desc), true)                                         \
    X(isc_blob_set_desc, decltype(&::isc_blob_set_desc), true)                                               \
    X(isc_cancel_blob, decltype(&::isc_cancel_blob), true)                                                   \
    X(isc_array_lookup_desc, decltype(&::isc_array_lookup_desc), true)                                       \
    X(isc_array_set_desc, decltype(&::isc_array_set_desc), true)                                             \
    X(isc_add_user, decltype(&::isc_add_user), true)                                                         \
    X(isc_delete_user, decltype(&::isc_delete_user), true)                                                   \
    X(isc_modify_user, decltype(&::isc_modify_user), true)

// The binding as the rest of the database layer sees it. Each wrapper has the client function's
// own name, parameters and result; calling one whose entry point was not resolved raises
// "Can't find procedure %s in %s".
class IIBClientLibrary {
public:
    virtual ~IIBClientLibrary();

    virtual QString LibraryName() const = 0;
    int FbClientVersion() const { return FFbClientVersion; }
    int FbClientMinorVersion() const { return FFbClientMinorVersion; }
    bool Busy() const { return FBusy.load(std::memory_order_relaxed); }

#define TARVELO_IB_WRAPPER(name, type, busy)                                                                 \
    template <class... A> auto name(A... args) {                                                             \
        return Invoke(F##name, #name, busy, args...);                                                        \
    }
    TARVELO_IB_ENTRIES(TARVELO_IB_WRAPPER)
#undef TARVELO_IB_WRAPPER

    // Turns the status vector into message lines, one per call: fb_interpret with the buffer size
    // when the client offers it, isc_interprete otherwise. Returns the length of the line, 0 at the end.
    ISC_LONG Interprete(char* buffer, unsigned size, ISC_STATUS** vector);

    virtual void FreeIBLibrary() = 0;
    virtual void LoadIBLibrary() = 0;
    virtual bool LibraryLoaded() const = 0;

protected:
#define TARVELO_IB_FIELD(name, type, busy) type F##name = nullptr;
    TARVELO_IB_ENTRIES(TARVELO_IB_FIELD)
#undef TARVELO_IB_FIELD

    int FFbClientVersion = 0;
    int FFbClientMinorVersion = 0;
    // Written by whichever thread runs a wrapper; a plain flag would be a data race.
    std::atomic<bool> FBusy{false};

    void ClearEntryPoints();

private:
    [[noreturn]] void RaiseMissingEntry(const char* name) const;

    struct TBusyMark {
        explicit TBusyMark(std::atomic<bool>& busy) : FFlag(busy) {
            FFlag.store(true, std::memory_order_relaxed);
        }
        ~TBusyMark() { FFlag.store(false, std::memory_order_relaxed); }
        std::atomic<bool>& FFlag;
    };

    template <class F, class... A> auto Invoke(F fn, const char* name, bool marksBusy, A... args) {
        if (!fn) RaiseMissingEntry(name);
        if (!marksBusy) return fn(args...);
        TBusyMark mark(FBusy);
        return fn(args...);
    }
};

using IIBClientLibraryPtr = std::shared_ptr<IIBClientLibrary>;

// Binding of one library file, loaded with dlopen by exactly the name given.
class TIBClientLibrary final : public IIBClientLibrary {
public:
    explicit TIBClientLibrary(const QString& libraryName);
    ~TIBClientLibrary() override;

    QString LibraryName() const override { return FLibraryName; }
    void FreeIBLibrary() override;
    void LoadIBLibrary() override;
    bool LibraryLoaded() const override { return FLibraryHandle != nullptr; }

private:
    // Looks up one entry point; a mandatory one that is missing raises the operating-system error.
    template <class F> void Resolve(F& field, const char* name, bool mandatory);
    void ResolveCore();
    void ResolveVersion6();
    void ResolveClientVersion();

    void* FLibraryHandle = nullptr;
    QString FLibraryName;
};

// The client library file name a database uses unless told otherwise.
inline constexpr const char16_t* DefaultLibraryName = u"libfbclient.so.2";

namespace db::connection {

// The binding for a library file name, from the process-wide list (exact, case-sensitive names),
// created and loaded on first use. Bindings live until the program ends.
IIBClientLibraryPtr GetIBClientLibrary(const QString& libraryName);

// Restores the floating-point environment the program started with; every client call ends with it.
void RestoreDefaultFPUState();

} // namespace db::connection
