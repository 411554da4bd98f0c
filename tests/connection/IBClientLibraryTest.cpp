#include "TestSupport.h"
#include "db/connection/FbInternal.h"
#include "db/connection/IB_Intf.h"
#include "db/connection/pFbDatabase.h"
#include "platform/Exceptions.h"

#include <QDir>
#include <QFile>
#include <dlfcn.h>
#include <gtest/gtest.h>

using namespace db::connection;

namespace {

// What the installed client itself reports as its version.
std::pair<int, int> InstalledClientVersion() {
    void* handle = dlopen("libfbclient.so.2", RTLD_NOW);
    EXPECT_NE(handle, nullptr);
    auto major = reinterpret_cast<int (*)()>(dlsym(handle, "isc_get_client_major_version"));
    auto minor = reinterpret_cast<int (*)()>(dlsym(handle, "isc_get_client_minor_version"));
    const std::pair<int, int> version{major(), minor()};
    dlclose(handle);
    return version;
}

template <class F> QString BaseExceptionMessage(F&& f) {
    try {
        f();
    } catch (const EFbError& e) {
        ADD_FAILURE() << "a database error, not the base exception: " << e.what();
        return QString();
    } catch (const platform::Exception& e) {
        return e.Message();
    }
    ADD_FAILURE() << "nothing raised";
    return QString();
}

} // namespace

TEST(ClientLibraryBinding, DatabasesWithTheSameNameShareOneBinding) {
    TpFbDatabase first;
    TpFbDatabase second;
    EXPECT_FALSE(first.Busy());
    // The version operations load the library on a database that never connected.
    const auto [major, minor] = InstalledClientVersion();
    EXPECT_EQ(first.ClientMajorVersion(), major);
    EXPECT_EQ(first.ClientMinorVersion(), minor);
    EXPECT_GE(major, 6);
    EXPECT_TRUE(first.ClientVersion().contains(Q("Firebird 3.0"))) << first.ClientVersion().toStdString();
    const int bindings = ClientLibraryCount();
    EXPECT_EQ(&first.ClientLibrary(), &second.ClientLibrary());
    EXPECT_EQ(ClientLibraryCount(), bindings);
    EXPECT_EQ(GetIBClientLibrary(Q("libfbclient.so.2")).get(), &first.ClientLibrary());
    EXPECT_FALSE(first.Busy());
}

TEST(ClientLibraryBinding, NameDifferingInCaseGetsItsOwnBinding) {
    QTemporaryDir dir;
    const QString lower = dir.filePath(Q("libclient.so"));
    const QString upper = dir.filePath(Q("LIBCLIENT.so"));
    ASSERT_TRUE(QFile::copy(Q(STANDIN5_PATH), lower));
    ASSERT_TRUE(QFile::copy(Q(STANDIN5_PATH), upper));
    const int before = ClientLibraryCount();
    IIBClientLibraryPtr a = GetIBClientLibrary(lower);
    IIBClientLibraryPtr b = GetIBClientLibrary(upper);
    EXPECT_NE(a.get(), b.get());
    EXPECT_EQ(ClientLibraryCount(), before + 2);
    EXPECT_EQ(GetIBClientLibrary(lower).get(), a.get());
    EXPECT_EQ(ClientLibraryCount(), before + 2);
}

TEST(ClientLibraryBinding, MissingLibraryGivesLoaderMessageAndLaterTriesAgain) {
    const int before = ClientLibraryCount();
    EXPECT_EQ(BaseExceptionMessage([] { GetIBClientLibrary(Q("gds32.dll")); }),
              Q("Can't load library gds32.dll "));
    EXPECT_EQ(ClientLibraryCount(), before);

    // Assigning the name obtains the binding at once, so a wrong name fails there.
    TpFbDatabase database;
    EXPECT_EQ(BaseExceptionMessage([&] { database.SetLibraryName(Q("gds32.dll")); }),
              Q("Can't load library gds32.dll "));
    EXPECT_EQ(database.LibraryName(), Q("gds32.dll"));
    EXPECT_FALSE(database.Busy());

    // A connect tries again and leaves the database closed.
    database.SetDBName(Q("/tmp/none.fdb"));
    EXPECT_EQ(BaseExceptionMessage([&] { database.SetConnected(true); }), Q("Can't load library gds32.dll "));
    EXPECT_FALSE(database.Connected());
    EXPECT_EQ(BaseExceptionMessage([] { GetIBClientLibrary(QString()); }), Q("Can't load library  "));
}

TEST(ClientLibraryBinding, ClientWithoutRollbackRetainingIsVersion5) {
    TpFbDatabase database;
    database.SetLibraryName(Q(STANDIN5_PATH));
    EXPECT_EQ(database.ClientMajorVersion(), 5);
    EXPECT_EQ(database.ClientMinorVersion(), 0);
    IIBClientLibrary& library = database.ClientLibrary();
    isc_tr_handle transaction = 0;
    EXPECT_EQ(BaseExceptionMessage([&] { library.isc_rollback_retaining(StatusVector(), &transaction); }),
              Q("Can't find procedure isc_rollback_retaining in ") + Q(STANDIN5_PATH));
    // Entry points of newer clients and those never looked up fail the same way.
    EXPECT_EQ(BaseExceptionMessage([&] { database.ClientVersion(); }),
              Q("Can't find procedure isc_get_client_version in ") + Q(STANDIN5_PATH));
    EXPECT_EQ(BaseExceptionMessage([&] { library.isc_cancel_blob(StatusVector(), nullptr); }),
              Q("Can't find procedure isc_cancel_blob in ") + Q(STANDIN5_PATH));
    // Resolved entries are called and the busy flag is down again afterwards.
    EXPECT_EQ(library.isc_commit_retaining(StatusVector(), &transaction), 0);
    EXPECT_FALSE(library.Busy());

    // Naming the real client again binds it by that name.
    database.SetLibraryName(QString::fromUtf16(DefaultLibraryName));
    EXPECT_EQ(database.ClientMajorVersion(), InstalledClientVersion().first);
}

TEST(ClientLibraryBinding, MissingMandatoryEntryPointIsAnOperatingSystemError) {
    const int before = ClientLibraryCount();
    try {
        GetIBClientLibrary(Q(STANDIN_BROKEN_PATH));
        FAIL() << "loaded";
    } catch (const platform::EOSError& e) {
        EXPECT_TRUE(e.Message().startsWith(Q("System Error.  Code: 2.\r\n"))) << e.what();
        EXPECT_EQ(e.ErrorCode(), 2u);
    }
    EXPECT_EQ(ClientLibraryCount(), before);
}

TEST(ClientLibraryBinding, LibraryNameCannotChangeWhileConnected) {
    QTemporaryDir dir;
    const QString path = dir.filePath(Q("lib.fdb"));
    CreateDatabase(path);
    TpFbDatabase database;
    database.SetDBParams(ApplicationParams());
    database.SetDBName(path);
    database.SetConnected(true);
    try {
        database.SetLibraryName(Q(STANDIN5_PATH));
        FAIL() << "changed";
    } catch (const EFbClientError& e) {
        EXPECT_EQ(e.Message(), Q("Cannot perform operation -- DB is currently open."));
    }
    EXPECT_EQ(database.LibraryName(), QString::fromUtf16(DefaultLibraryName));
}
