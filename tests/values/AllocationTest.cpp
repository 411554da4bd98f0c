// Setting and reading parameter values allocates nothing once the items have their sizes.
//
// This test binary replaces the C allocation functions (malloc, calloc, realloc, aligned forms)
// and the global operator new. Every allocation in the process, Qt's and the C++ library's
// included, passes through them and is counted while a counting window is open; the memory itself
// comes from the C library's own allocator.
#include "ValuesTestSupport.h"

#include "platform/DateTime.h"

#include <atomic>
#include <cstddef>
#include <new>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);
}

namespace {
std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};
inline void CountOne() {
    if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1, std::memory_order_relaxed);
}
} // namespace

extern "C" {
void* malloc(size_t size) {
    CountOne();
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
    CountOne();
    return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) {
    CountOne();
    return __libc_realloc(p, size);
}
void* memalign(size_t alignment, size_t size) {
    CountOne();
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
    CountOne();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
    CountOne();
    *out = __libc_memalign(alignment, size);
    return *out ? 0 : 12;
}
void free(void* p) {
    __libc_free(p);
}
}

void* operator new(size_t size) {
    CountOne();
    if (void* p = __libc_malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size) {
    return operator new(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    CountOne();
    return __libc_malloc(size ? size : 1);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return operator new(size, std::nothrow);
}
void* operator new(size_t size, std::align_val_t alignment) {
    CountOne();
    if (void* p = __libc_memalign(size_t(alignment), size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size, std::align_val_t alignment) {
    return operator new(size, alignment);
}
void operator delete(void* p) noexcept {
    __libc_free(p);
}
void operator delete[](void* p) noexcept {
    __libc_free(p);
}
void operator delete(void* p, size_t) noexcept {
    __libc_free(p);
}
void operator delete[](void* p, size_t) noexcept {
    __libc_free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    __libc_free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    __libc_free(p);
}
void operator delete(void* p, size_t, std::align_val_t) noexcept {
    __libc_free(p);
}
void operator delete[](void* p, size_t, std::align_val_t) noexcept {
    __libc_free(p);
}

namespace {

class TAllocationWindow {
public:
    TAllocationWindow() {
        gAllocations = 0;
        gCounting = true;
    }
    ~TAllocationWindow() { gCounting = false; }
    long Count() const { return gAllocations.load(); }
};

// The application's statements: the history insert's parameters and the cycle sum's column.
struct TAppStatements {
    TTestQuery q;
    TAppStatements() {
        q.User.SetCount(7);
        const char* names[7] = {"id_f", "stan", "ostan", "opis", "id_p", "lm", "counttch"};
        for (int i = 0; i < 7; ++i)
            q.User.AddName(QString::fromLatin1(names[i]), i, false);
        q.Columns.SetCount(1);
        Describe(q.Columns, 0, SQL_INT64, 0, 8);
        q.Columns.Vars(0).Data()->aliasname_length = 6;
        std::memcpy(q.Columns.Vars(0).Data()->aliasname, "SCYKLI", 6);
        q.Columns.InitializeVars();
        *q.Columns.Vars(0).Data()->sqlind = 0;
    }

    // One run's values, set and read the way the update run does it.
    long Round(int mould, double now) {
        TFbXSQLDA& p = q.User;
        p.ParamByName(QStringLiteral("id_f")).SetAsInteger(mould);
        p.ParamByName(QStringLiteral("stan")).SetAsInteger(mould * 10);
        p.ParamByName(QStringLiteral("ostan")).SetAsInteger(mould * 10 - 3);
        p.ParamByName(QStringLiteral("opis")).SetAsString(QStringLiteral("Raport Vorek"));
        p.ParamByName(QStringLiteral("id_p")).SetAsInteger(1);
        p.ParamByName(QStringLiteral("lm")).SetAsInteger(mould % 12);
        p.ParamByName(QStringLiteral("counttch")).SetAsDateTime(now);
        const int64_t cycles = 1000000LL * mould;
        std::memcpy(q.Columns.Vars(0).Data()->sqldata, &cycles, 8);
        long sum = q.Columns.ParamByName(QStringLiteral("scykli")).AsInteger();
        sum += long(p.Vars(6).AsDateTime() > 0);
        sum += long(p.Vars(0).AsDouble());
        sum += long(p.Vars(0).IsNull());
        p.ClearModified();
        return sum;
    }
};

} // namespace

TEST(Allocations, CountingSeesAllocationsOfQtAndTheLibrary) {
    TTestQuery q;
    const QByteArray text("\xA3\xF3\x64\x9F", 4);
    q.User.SetCount(1);
    q.User.Vars(0).SetAsAnsiString(text);
    TAllocationWindow window;
    const QString decoded = q.User.Vars(0).AsString(); // a new string: allocates
    EXPECT_GE(window.Count(), 1);
    EXPECT_EQ(decoded, QStringLiteral("Łódź"));
}

TEST(Allocations, SettingAndReadingValuesAllocatesNothingAfterTheFirstExecution) {
    TAppStatements app;
    const double now = platform::EncodeDate(2019, 3, 31) + platform::EncodeTime(11, 56, 4, 500);
    long first;
    {
        TAllocationWindow window;
        app.Round(1, now); // the first run sizes the data areas and fills the name cache
        first = window.Count();
    }
    EXPECT_GT(first, 0);
    RecordProperty("AllocationsInFirstRound", int(first));

    long check = 0;
    long allocations;
    {
        TAllocationWindow window;
        for (int i = 2; i <= 1000; ++i)
            check += app.Round(i, now + i);
        allocations = window.Count();
    }
    EXPECT_EQ(allocations, 0);
    EXPECT_GT(check, 0);
    EXPECT_EQ(app.q.User.Vars(3).Size(), 12);
    EXPECT_EQ(app.q.User.Vars(0).AsInteger(), 1000);
    RecordProperty("AllocationsIn999Rounds", int(allocations));
}
