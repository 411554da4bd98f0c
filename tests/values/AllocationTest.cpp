// Setting and reading parameter values allocates nothing once the items have their sizes; a list
// rebuild that runs out of memory at any allocation leaves the old list whole and leaks nothing.
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
// With failure injection: the allocation numbered gFailAt in the window fails, and the blocks
// allocated in the window and not yet freed are tracked (single-threaded tests only).
std::atomic<long> gFailAt{0};
constexpr int MaxLive = 4096;
void* gLive[MaxLive];
int gLiveCount = 0;
// Counts one allocation; false when it is the one to fail.
inline bool CountOne() {
    if (!gCounting.load(std::memory_order_relaxed)) return true;
    const long n = gAllocations.fetch_add(1, std::memory_order_relaxed) + 1;
    return gFailAt.load(std::memory_order_relaxed) != n;
}
inline void* Track(void* p) {
    if (p && gFailAt.load(std::memory_order_relaxed) && gCounting.load(std::memory_order_relaxed) &&
        gLiveCount < MaxLive)
        gLive[gLiveCount++] = p;
    return p;
}
inline void Untrack(void* p) {
    if (!p || !gFailAt.load(std::memory_order_relaxed)) return;
    for (int i = 0; i < gLiveCount; ++i)
        if (gLive[i] == p) {
            gLive[i] = gLive[--gLiveCount];
            return;
        }
}
} // namespace

extern "C" {
void* malloc(size_t size) {
    if (!CountOne()) return nullptr;
    return Track(__libc_malloc(size));
}
void* calloc(size_t count, size_t size) {
    if (!CountOne()) return nullptr;
    return Track(__libc_calloc(count, size));
}
void* realloc(void* p, size_t size) {
    if (!CountOne()) return nullptr;
    void* q = __libc_realloc(p, size);
    if (q) Untrack(p);
    return Track(q);
}
void* memalign(size_t alignment, size_t size) {
    if (!CountOne()) return nullptr;
    return Track(__libc_memalign(alignment, size));
}
void* aligned_alloc(size_t alignment, size_t size) {
    if (!CountOne()) return nullptr;
    return Track(__libc_memalign(alignment, size));
}
int posix_memalign(void** out, size_t alignment, size_t size) {
    if (!CountOne()) return 12;
    *out = Track(__libc_memalign(alignment, size));
    return *out ? 0 : 12;
}
void free(void* p) {
    Untrack(p);
    __libc_free(p);
}
}

void* operator new(size_t size) {
    if (!CountOne()) throw std::bad_alloc();
    if (void* p = Track(__libc_malloc(size ? size : 1))) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size) {
    return operator new(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    if (!CountOne()) return nullptr;
    return Track(__libc_malloc(size ? size : 1));
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return operator new(size, std::nothrow);
}
void* operator new(size_t size, std::align_val_t alignment) {
    if (!CountOne()) throw std::bad_alloc();
    if (void* p = Track(__libc_memalign(size_t(alignment), size ? size : 1))) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size, std::align_val_t alignment) {
    return operator new(size, alignment);
}
void operator delete(void* p) noexcept {
    free(p);
}
void operator delete[](void* p) noexcept {
    free(p);
}
void operator delete(void* p, size_t) noexcept {
    free(p);
}
void operator delete[](void* p, size_t) noexcept {
    free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    free(p);
}
void operator delete(void* p, size_t, std::align_val_t) noexcept {
    free(p);
}
void operator delete[](void* p, size_t, std::align_val_t) noexcept {
    free(p);
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

namespace {

// A window in which allocation number `failAt` fails; it tells how many blocks allocated in it
// are still held.
class TFailingWindow {
public:
    explicit TFailingWindow(long failAt) {
        gLiveCount = 0;
        gAllocations = 0;
        gFailAt = failAt;
        gCounting = true;
    }
    ~TFailingWindow() { Close(); }
    void Close() {
        gCounting = false;
        gFailAt = 0;
    }
    int Held() const { return gLiveCount; }
};

TParamListEntry Entry(const char* name, int keep, bool macro = false, const char* macroValue = "") {
    TParamListEntry e{};
    e.Name = QString::fromLatin1(name);
    e.NameQuoted = false;
    e.KeepIndex = keep;
    e.TextData.FIsMacro = macro;
    e.SetMacroValue = macro && keep < 0;
    e.MacroValue = QString::fromLatin1(macroValue);
    return e;
}

} // namespace

TEST(Allocations, ARebuildThatRunsOutOfMemoryLeavesTheOldListWholeAndLeaksNothing) {
    // Old list A, B, C; the new one keeps B and A (swapped), drops C and adds D, a macro M twice.
    const QList<TParamListEntry> before = {Entry("A", -1), Entry("B", -1), Entry("C", -1)};
    const QList<TParamListEntry> after = {Entry("B", 1), Entry("A", 0), Entry("D", -1),
                                          Entry("M", -1, true, "x = 1"), Entry("M", -1, true, "x = 1")};
    {
        TTestQuery warm; // first uses of encoders and the like, outside the windows
        warm.User.RebuildFromScan(before);
        warm.User.RebuildFromScan(after);
    }
    bool completed = false;
    for (long failAt = 1; failAt < 500 && !completed; ++failAt) {
        TTestQuery q;
        q.User.RebuildFromScan(before);
        q.User.Vars(0).SetAsInteger(11);
        q.User.Vars(1).SetAsString(QStringLiteral("bee"));
        q.User.Vars(2).SetAsInteger(33);
        TFbXSQLVAR* items[3] = {&q.User.Vars(0), &q.User.Vars(1), &q.User.Vars(2)};
        XSQLDA* descriptor = q.User.AsXSQLDA();
        bool failed = false;
        int held = 0;
        {
            TFailingWindow window(failAt);
            try {
                q.User.RebuildFromScan(after);
            } catch (const std::bad_alloc&) {
                failed = true;
            }
            held = window.Held();
            window.Close();
        }
        if (failed) {
            EXPECT_EQ(held, 0) << "blocks leaked by a rebuild failing at allocation " << failAt;
            ASSERT_EQ(q.User.Names(), QStringList({"A", "B", "C"})) << failAt;
            EXPECT_EQ(q.User.AsXSQLDA(), descriptor);
            for (int i = 0; i < 3; ++i) {
                EXPECT_EQ(&q.User.Vars(i), items[i]);
                EXPECT_EQ(q.User.Vars(i).Data(), &descriptor->sqlvar[i]);
            }
            EXPECT_EQ(q.User.ParamByName(QStringLiteral("a")).AsInteger(), 11);
            EXPECT_EQ(q.User.ParamByName(QStringLiteral("b")).AsString(), QStringLiteral("bee"));
            EXPECT_EQ(q.User.ParamByName(QStringLiteral("c")).AsInteger(), 33);
        } else {
            completed = true;
            ASSERT_EQ(q.User.Names(), QStringList({"B", "A", "D", "M", "M"}));
            EXPECT_EQ(&q.User.Vars(0), items[1]);
            EXPECT_EQ(q.User.Vars(1).AsInteger(), 11);
            EXPECT_EQ(q.User.Vars(0).AsString(), QStringLiteral("bee"));
            EXPECT_TRUE(q.User.Vars(2).IsNull());
            EXPECT_EQ(q.User.Vars(3).AsString(), QStringLiteral("x = 1"));
            EXPECT_EQ(q.User.Vars(4).AsString(), QStringLiteral("x = 1"));
            EXPECT_EQ(items[2]->AsInteger(), 33); // left out, still alive for whoever holds it
            RecordProperty("AllocationsOfOneRebuild", int(failAt - 1));
        }
    }
    EXPECT_TRUE(completed);
}
