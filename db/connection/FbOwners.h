#pragma once
// Owners of client buffers: descriptors and data areas live in C memory (the client library reads
// and writes them through raw pointers) and are freed with free() whatever way the code leaves.

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
