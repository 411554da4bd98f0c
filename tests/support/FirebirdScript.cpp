#include "FirebirdScript.h"

#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>

QString RunIsql(const QString& script, const QString& database) {
    QProcess isql;
    QStringList args{QStringLiteral("-q"), QStringLiteral("-user"), QStringLiteral("SYSDBA")};
    if (!database.isEmpty()) args << database;
    isql.start(QStringLiteral("isql-fb"), args);
    EXPECT_TRUE(isql.waitForStarted(10000)) << "isql-fb did not start";
    isql.write(script.toUtf8());
    isql.closeWriteChannel();
    EXPECT_TRUE(isql.waitForFinished(60000)) << "isql-fb did not finish";
    const QString err = QString::fromUtf8(isql.readAllStandardError());
    EXPECT_EQ(isql.exitCode(), 0) << err.toStdString();
    EXPECT_TRUE(err.isEmpty()) << err.toStdString();
    return QString::fromUtf8(isql.readAllStandardOutput());
}
