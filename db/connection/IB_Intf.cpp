#include "IB_Intf.h"

#include "FbInternal.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"

#include <QFile>
#include <cerrno>
#include <cfenv>
#include <dlfcn.h>
#include <mutex>
#include <vector>

using namespace db::connection;

namespace {

// The floating-point environment of the program, as it was before any client library was loaded.
struct TDefaultFPUState {
    TDefaultFPUState() { fegetenv(&FEnv); }
    fenv_t FEnv;
};
const TDefaultFPUState gDefaultFPUState;

struct TClientLibraryList {
    std::mutex Lock;
    std::vector<IIBClientLibraryPtr> Items;
};

TClientLibraryList& ClientLibraries() {
    static TClientLibraryList list;
    return list;
}

} // namespace

void db::connection::RestoreDefaultFPUState() {
#if defined(__x86_64__) && defined(__GLIBC__)
    // Reading the two control words is cheap, loading the whole environment is not, and this runs
    // after every client call. Only the control bits count: raised exception flags are no state.
    unsigned short controlWord = 0;
    unsigned int mxcsr = 0;
    __asm__ volatile("fnstcw %0" : "=m"(controlWord));
    __asm__ volatile("stmxcsr %0" : "=m"(mxcsr));
    constexpr unsigned int MxcsrFlags = 0x3F;
    if (controlWord == gDefaultFPUState.FEnv.__control_word &&
        (mxcsr & ~MxcsrFlags) == (gDefaultFPUState.FEnv.__mxcsr & ~MxcsrFlags))
        return;
#endif
    fesetenv(&gDefaultFPUState.FEnv);
}

IIBClientLibrary::~IIBClientLibrary() = default;

void IIBClientLibrary::RaiseMissingEntry(const char* name) const {
    throw platform::Exception(platform::Format(u"Can't find procedure %s in %s", {name, LibraryName()}));
}

ISC_LONG IIBClientLibrary::Interprete(char* buffer, unsigned size, ISC_STATUS** vector) {
    if (Ffb_interpret) return fb_interpret(buffer, size, const_cast<const ISC_STATUS**>(vector));
    return isc_interprete(buffer, vector);
}

void IIBClientLibrary::ClearEntryPoints() {
#define TARVELO_IB_CLEAR(name, type, busy) F##name = nullptr;
    TARVELO_IB_ENTRIES(TARVELO_IB_CLEAR)
#undef TARVELO_IB_CLEAR
    FFbClientVersion = 0;
    FFbClientMinorVersion = 0;
}

TIBClientLibrary::TIBClientLibrary(const QString& libraryName) : FLibraryName(libraryName) {
    LoadIBLibrary();
}

TIBClientLibrary::~TIBClientLibrary() {
    FreeIBLibrary();
}

void TIBClientLibrary::FreeIBLibrary() {
    if (FLibraryHandle) dlclose(FLibraryHandle);
    FLibraryHandle = nullptr;
    ClearEntryPoints();
}

void TIBClientLibrary::LoadIBLibrary() {
    if (LibraryLoaded()) return;
    // An empty name would make dlopen return the program itself.
    if (!FLibraryName.isEmpty())
        FLibraryHandle = dlopen(QFile::encodeName(FLibraryName).constData(), RTLD_NOW);
    if (!FLibraryHandle)
        throw platform::Exception(platform::Format(u"Can't load library %s ", {FLibraryName}));
    try {
        ResolveCore();
        if (Fisc_rollback_retaining) {
            FFbClientVersion = 6;
            FFbClientMinorVersion = 0;
            ResolveVersion6();
        } else {
            FFbClientVersion = 5;
            FFbClientMinorVersion = 0;
        }
        ResolveClientVersion();
    } catch (...) {
        // A half-resolved library is never left behind: the next attempt loads it afresh.
        FreeIBLibrary();
        throw;
    }
}

template <class F> void TIBClientLibrary::Resolve(F& field, const char* name, bool mandatory) {
    dlerror();
    field = reinterpret_cast<F>(dlsym(FLibraryHandle, name));
    if (field || !mandatory) return;
    // dlsym sets no errno; the loader's own text says what is missing.
    const char* reason = dlerror();
    throw platform::EOSError(
        platform::Format(platform::rtl::SOSError, {ENOENT, reason ? QString::fromLocal8Bit(reason)
                                                                  : platform::SysErrorMessage(ENOENT)}),
        ENOENT);
}

#define TARVELO_M(name) Resolve(F##name, #name, true)
#define TARVELO_O(name) Resolve(F##name, #name, false)

// Every client has these; isc_rollback_retaining marks a version 6 client.
void TIBClientLibrary::ResolveCore() {
    TARVELO_M(BLOB_get);
    TARVELO_M(BLOB_put);
    TARVELO_M(isc_sqlcode);
    TARVELO_M(isc_sql_interprete);
    TARVELO_M(isc_interprete);
    TARVELO_O(fb_interpret);
    TARVELO_M(isc_vax_integer);
    TARVELO_M(isc_blob_info);
    TARVELO_M(isc_open_blob2);
    TARVELO_M(isc_close_blob);
    TARVELO_M(isc_get_segment);
    TARVELO_M(isc_put_segment);
    TARVELO_M(isc_create_blob2);
    TARVELO_M(isc_decode_date);
    TARVELO_M(isc_encode_date);
    TARVELO_M(isc_dsql_free_statement);
    TARVELO_M(isc_dsql_execute2);
    TARVELO_M(isc_dsql_execute);
    TARVELO_M(isc_dsql_set_cursor_name);
    TARVELO_M(isc_dsql_fetch);
    TARVELO_M(isc_dsql_sql_info);
    TARVELO_M(isc_dsql_alloc_statement2);
    TARVELO_M(isc_dsql_prepare);
    TARVELO_M(isc_dsql_describe_bind);
    TARVELO_M(isc_dsql_describe);
    TARVELO_M(isc_dsql_execute_immediate);
    TARVELO_M(isc_dsql_exec_immed2);
    TARVELO_M(isc_drop_database);
    TARVELO_M(isc_detach_database);
    TARVELO_M(isc_attach_database);
    TARVELO_M(isc_database_info);
    TARVELO_M(isc_start_multiple);
    TARVELO_M(isc_commit_transaction);
    TARVELO_M(isc_commit_retaining);
    TARVELO_M(isc_rollback_transaction);
    TARVELO_M(isc_cancel_events);
    TARVELO_M(isc_que_events);
    TARVELO_M(isc_event_counts);
    TARVELO_M(isc_event_block);
    TARVELO_M(isc_free);
    TARVELO_M(isc_array_lookup_bounds);
    TARVELO_M(isc_array_get_slice);
    TARVELO_M(isc_array_put_slice);
    TARVELO_M(isc_wait_for_event);
    TARVELO_M(isc_transaction_info);
    TARVELO_M(isc_prepare_transaction);
    TARVELO_M(isc_prepare_transaction2);
    TARVELO_O(isc_rollback_retaining);
}

void TIBClientLibrary::ResolveVersion6() {
    TARVELO_M(isc_service_attach);
    TARVELO_M(isc_service_detach);
    TARVELO_M(isc_service_query);
    TARVELO_M(isc_service_start);
    TARVELO_M(isc_decode_sql_date);
    TARVELO_M(isc_decode_sql_time);
    TARVELO_M(isc_decode_timestamp);
    TARVELO_M(isc_encode_sql_date);
    TARVELO_M(isc_encode_sql_time);
    TARVELO_M(isc_encode_timestamp);
    TARVELO_M(isc_portable_integer);
}

// A client that tells its version has these too.
void TIBClientLibrary::ResolveClientVersion() {
    TARVELO_O(isc_get_client_version);
    if (Fisc_get_client_version) {
        TARVELO_M(isc_get_client_major_version);
        TARVELO_M(isc_get_client_minor_version);
        FFbClientVersion = isc_get_client_major_version();
        FFbClientMinorVersion = isc_get_client_minor_version();
        TARVELO_O(isc_dsql_batch_execute_immed);
        TARVELO_O(isc_dsql_batch_execute);
        TARVELO_O(fb_cancel_operation);
    } else {
        FFbClientMinorVersion = 0;
    }
}

#undef TARVELO_M
#undef TARVELO_O

IIBClientLibraryPtr db::connection::GetIBClientLibrary(const QString& libraryName) {
    TClientLibraryList& list = ClientLibraries();
    std::lock_guard lock(list.Lock);
    for (const IIBClientLibraryPtr& library : list.Items) {
        if (library->LibraryName() != libraryName) continue;
        if (!library->LibraryLoaded()) library->LoadIBLibrary();
        return library;
    }
    auto library = std::make_shared<TIBClientLibrary>(libraryName);
    list.Items.push_back(library);
    return library;
}

int db::connection::ClientLibraryCount() {
    TClientLibraryList& list = ClientLibraries();
    std::lock_guard lock(list.Lock);
    return int(list.Items.size());
}
