// Answers of the client's information calls, read without a server.
#include "db/connection/FbInfo.h"

#include <gtest/gtest.h>
#include <ibase.h>

using namespace db::connection;

TEST(InfoAnswer, ItemsAreFoundByCodeAndLengthsNeverRunPastTheAnswer) {
    const char answer[] = {char(isc_info_db_sql_dialect),
                           1,
                           0,
                           3,
                           char(isc_info_attachment_id),
                           4,
                           0,
                           0x2A,
                           0,
                           0,
                           0,
                           char(isc_info_end)};
    EXPECT_EQ(InfoValue(answer, sizeof(answer), isc_info_attachment_id), QByteArray("\x2A\0\0\0", 4));
    EXPECT_EQ(InfoValue(answer, sizeof(answer), isc_info_db_sql_dialect), QByteArray("\x03", 1));
    EXPECT_FALSE(InfoValue(answer, sizeof(answer), isc_info_ods_version));

    const char truncated[] = {char(isc_info_truncated), 0, 0, char(isc_info_ods_version), 1, 0, 11};
    EXPECT_FALSE(InfoValue(truncated, sizeof(truncated), isc_info_ods_version));
    const char overlong[] = {char(isc_info_version), char(0xFF), 0x7F, 'a', 'b'};
    EXPECT_EQ(InfoValue(overlong, sizeof(overlong), isc_info_version), QByteArray("ab"));
}

TEST(InfoAnswer, IntegersAreLittleEndianAndSigned) {
    EXPECT_EQ(InfoInteger(QByteArrayView("\x2A\x01", 2)), 0x012A);
    EXPECT_EQ(InfoInteger(QByteArrayView("\xFE\xFF\xFF\xFF", 4)), -2);
    EXPECT_EQ(InfoInteger(QByteArrayView("\x01\0\0\0\0\0\0\x80", 8)), qint64(0x8000000000000001ULL));
    EXPECT_EQ(InfoInteger(QByteArrayView()), 0);
    EXPECT_EQ(InfoInteger(QByteArrayView("123456789", 9)), 0);
}
