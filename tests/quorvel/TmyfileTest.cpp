#include "lib/quorvel/Tmyfile.h"
#include "QtPrinters.h"
#include "platform/IniFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using quorvel::Tmyfile;

namespace {
void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
} // namespace

TEST(Tmyfile, SettingsWrittenAreReadBackByTheStartUpReader) {
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("setup.ini"));
    Tmyfile::IniWriteString(ini, "sql", "formy", QStringLiteral("/dane/Łódź/"));
    Tmyfile::IniWriteString(ini, "sql", "warunek", QStringLiteral("id=5 and x=7"));
    Tmyfile::IniWriteInteger(ini, "set", "godzina", -4);
    Tmyfile::IniWriteBool(ini, "set", "log", true);
    Tmyfile::IniWriteString(ini, "SQL", "FORMY", QStringLiteral("/dane/Żary/")); // replaces in place

    QFile f(ini);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_TRUE(bytes.contains("=/dane/\xAF"
                               "ary/\r\n"))
        << bytes.toStdString(); // Windows-1250
    EXPECT_EQ(bytes.count("ary"), 1);

    const platform::TIniFile reader(ini);
    EXPECT_EQ(reader.ReadString("sql", "formy", QString()), QStringLiteral("/dane/Żary/"));
    EXPECT_EQ(reader.ReadString("sql", "warunek", QString()), QStringLiteral("id=5 and x=7"));
    EXPECT_EQ(reader.ReadInteger("set", "godzina", 3), -4);
    EXPECT_TRUE(reader.ReadBool("set", "log", false));
    EXPECT_EQ(Tmyfile::IniReadString(ini, "sql", "warunek"), QStringLiteral("id=5 and x=7"));
    EXPECT_EQ(Tmyfile::IniReadInteger(ini, "set", "brak", 9), 9);
    EXPECT_FALSE(Tmyfile::IniReadBool(ini, "set", "brak"));

    WriteFile(dir.filePath("stary.ini"), "[sql]\r\nformy=C:\\\xA3\xF3"
                                         "d\x9F\\\r\n");
    EXPECT_EQ(Tmyfile::IniReadString(dir.filePath("stary.ini"), "sql", "formy"),
              QStringLiteral("C:\\Łódź\\"));

    const QString bad = dir.filePath(QStringLiteral("brak/setup.ini"));
    try {
        Tmyfile::IniWriteBool(bad, "set", "log", false);
        ADD_FAILURE() << "no exception";
    } catch (const quorvel::EIniFileException& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Unable to write to ") + bad);
    }
}

TEST(Tmyfile, NamesAndPaths) {
    EXPECT_EQ(Tmyfile::MakeValidFileName("a b/c:\xB3.txt"), QByteArray("a_b_c__.txt"));
    EXPECT_EQ(Tmyfile::MakeValidFileName(""), QByteArray("-"));
    EXPECT_EQ(Tmyfile::MakeValidFileName(".ini"), QByteArray("_.ini"));
    EXPECT_EQ(Tmyfile::MakeValidFileName(QByteArray(300, 'x')).size(), 255);
    EXPECT_EQ(Tmyfile::ForceBackslash("/tmp"), QByteArray("/tmp/"));
    EXPECT_EQ(Tmyfile::ForceBackslash("C:\\x\\"), QByteArray("C:\\x\\"));
    EXPECT_EQ(Tmyfile::ForceBackslash(""), QByteArray());
    EXPECT_EQ(Tmyfile::WymienPlikWSciezce("/opt/t/setup.ini", "log.txt"), QStringLiteral("/opt/t/log.txt"));
    EXPECT_EQ(Tmyfile::WymienPlikWSciezce("C:\\t\\setup.ini", "log.txt"), QStringLiteral("C:\\t\\log.txt"));
    EXPECT_EQ(Tmyfile::BajtyToStr(1234567), QStringLiteral("1\u00A0234\u00A0567"));
    EXPECT_EQ(Tmyfile::BajtyToStr(0), QStringLiteral("0"));
    EXPECT_TRUE(Tmyfile::GetSpecialFolderPath(5).endsWith(u'/'));
    EXPECT_EQ(Tmyfile::GetSpecialFolderPath(9999), QString());
    EXPECT_TRUE(Tmyfile::f_FolderTemp().endsWith('/'));
}

TEST(Tmyfile, DirectorySizesAndClearing) {
    QTemporaryDir dir;
    QDir d(dir.path());
    ASSERT_TRUE(d.mkpath("sub/deeper") && d.mkpath(".git") && d.mkpath("pusty"));
    WriteFile(dir.filePath("a"), QByteArray(10, 'a'));
    WriteFile(dir.filePath("sub/b"), QByteArray(100, 'b'));
    WriteFile(dir.filePath("sub/deeper/c"), QByteArray(1000, 'c'));
    WriteFile(dir.filePath(".git/d"), QByteArray(5000, 'd'));
    EXPECT_EQ(Tmyfile::RozmiarPliku(dir.filePath("sub/b")), 100);
    EXPECT_EQ(Tmyfile::RozmiarPliku(dir.filePath("none")), 0);
    EXPECT_EQ(Tmyfile::RozmiarKatalogu(dir.path(), false), 10);
    EXPECT_EQ(Tmyfile::RozmiarKatalogu(dir.path(), true), 1110);
    EXPECT_TRUE(Tmyfile::SetFileDate(dir.filePath("a"), platform::EncodeDate(2020, 2, 29)));
    EXPECT_EQ(QFileInfo(dir.filePath("a")).lastModified().date(), QDate(2020, 2, 29));
    Tmyfile::KasujzKatalogu(dir.path());
    EXPECT_FALSE(QFile::exists(dir.filePath("a")));
    EXPECT_FALSE(d.exists("pusty"));
    EXPECT_TRUE(QFile::exists(dir.filePath("sub/b"))); // not empty: stays
    EXPECT_TRUE(QFile::exists(dir.filePath(".git/d")));
}

// An empty folder name (what GetSpecialFolderPath gives for a folder it cannot name) or a missing
// folder must not mean the working folder.
TEST(Tmyfile, ClearingWithoutAFolderDeletesNothing) {
    QTemporaryDir dir;
    WriteFile(dir.filePath("keep"), "x");
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    Tmyfile::KasujzKatalogu(QString());
    Tmyfile::KasujzKatalogu(Tmyfile::GetSpecialFolderPath(-1));
    QDir::setCurrent(before);
    EXPECT_TRUE(QFile::exists(dir.filePath("keep")));
}
