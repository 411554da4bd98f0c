#include "platform/IniFile.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace platform;

namespace {

struct IniFileTest : ::testing::Test {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("setup.ini"));
    void Write(const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray Read() {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }
};

} // namespace

TEST_F(IniFileTest, NamesMatchWithoutCaseAndMissingPartsGiveDefaults) {
    Write("[SQL]\r\nFormy = C:\\Dane\\ \r\n[set]\r\ngodzina=5\r\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString(QStringLiteral("sql"), QStringLiteral("formy"), QStringLiteral("d")),
              QStringLiteral("C:\\Dane\\"));
    EXPECT_EQ(ini.ReadString(QStringLiteral("Sql"), QStringLiteral("FORMY"), QStringLiteral("d")),
              QStringLiteral("C:\\Dane\\"));
    EXPECT_EQ(ini.ReadString(QStringLiteral("sql"), QStringLiteral("vorek"), QStringLiteral("d")),
              QStringLiteral("d"));
    EXPECT_EQ(ini.ReadString(QStringLiteral("nope"), QStringLiteral("formy"), QStringLiteral("d")),
              QStringLiteral("d"));
    // A key of another section is not found.
    EXPECT_EQ(ini.ReadInteger(QStringLiteral("sql"), QStringLiteral("godzina"), 3), 3);
    TIniFile missing(dir.filePath(QStringLiteral("absent.ini")));
    EXPECT_EQ(missing.ReadInteger(QStringLiteral("set"), QStringLiteral("godzina"), 3), 3);
    EXPECT_FALSE(missing.ReadBool(QStringLiteral("set"), QStringLiteral("log"), false));
}

TEST_F(IniFileTest, TextValuesLoseBlanksAndOnePairOfQuotes) {
    Write("[a]\n"
          "d=  \"quoted value\"  \n"
          "s='single'\n"
          "two=\"\"x\"\"\n"
          "mixed=\"x'\n"
          "lone=\"\n"
          "inner=a \"b\" c\n"
          "empty=\n");
    TIniFile ini(path);
    auto r = [&](const char* k) {
        return ini.ReadString(QStringLiteral("a"), QString::fromLatin1(k), QStringLiteral("def"));
    };
    EXPECT_EQ(r("d"), QStringLiteral("quoted value"));
    EXPECT_EQ(r("s"), QStringLiteral("single"));
    EXPECT_EQ(r("two"), QStringLiteral("\"x\""));
    EXPECT_EQ(r("mixed"), QStringLiteral("\"x'"));
    EXPECT_EQ(r("lone"), QStringLiteral("\""));
    EXPECT_EQ(r("inner"), QStringLiteral("a \"b\" c"));
    EXPECT_EQ(r("empty"), QString());
}

TEST_F(IniFileTest, AtMost2047CharactersAreReturned) {
    Write("[a]\nlong=" + QByteArray(3000, 'x') + "\nexact=" + QByteArray(2047, 'y') + "\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString(QStringLiteral("a"), QStringLiteral("long"), QString()).size(), 2047);
    EXPECT_EQ(ini.ReadString(QStringLiteral("a"), QStringLiteral("exact"), QString()),
              QString(2047, QLatin1Char('y')));
}

TEST_F(IniFileTest, IntegersDecimalHexAndOutOfRange) {
    Write("[n]\n"
          "dec=42\nneg=-17\nplus=+8\nhex1=0x10\nhex2=0X1f\nhex3=$FF\nneghex=-$10\n"
          "max=2147483647\nmin=-2147483648\nover=2147483648\nunder=-2147483649\nbighex=0x80000000\n"
          "word=true\nyes=yes\ntrail=12a\nempty=\nspace=1 2\nhalf=0x\nbare=$\n");
    TIniFile ini(path);
    auto r = [&](const char* k) { return ini.ReadInteger(QStringLiteral("n"), QString::fromLatin1(k), 99); };
    EXPECT_EQ(r("dec"), 42);
    EXPECT_EQ(r("neg"), -17);
    EXPECT_EQ(r("plus"), 8);
    EXPECT_EQ(r("hex1"), 16);
    EXPECT_EQ(r("hex2"), 31);
    EXPECT_EQ(r("hex3"), 255);
    EXPECT_EQ(r("neghex"), -16);
    EXPECT_EQ(r("max"), 2147483647);
    EXPECT_EQ(r("min"), -2147483647 - 1);
    for (const char* k :
         {"over", "under", "bighex", "word", "yes", "trail", "empty", "space", "half", "bare", "absent"})
        EXPECT_EQ(r(k), 99) << k;
}

TEST_F(IniFileTest, BooleansAreIntegers) {
    Write("[set]\nlog=1\nhistoria=true\nzero=0\nminus=-1\nhex=0x2\n");
    TIniFile ini(path);
    EXPECT_TRUE(ini.ReadBool(QStringLiteral("set"), QStringLiteral("log"), false));
    EXPECT_FALSE(ini.ReadBool(QStringLiteral("set"), QStringLiteral("historia"), false));
    EXPECT_TRUE(ini.ReadBool(QStringLiteral("set"), QStringLiteral("historia"), true));
    EXPECT_FALSE(ini.ReadBool(QStringLiteral("set"), QStringLiteral("zero"), true));
    EXPECT_TRUE(ini.ReadBool(QStringLiteral("set"), QStringLiteral("minus"), false));
    EXPECT_TRUE(ini.ReadBool(QStringLiteral("set"), QStringLiteral("hex"), false));
}

TEST_F(IniFileTest, ChangesMadeWhileOpenAreSeen) {
    Write("[delta]\n12=5\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadInteger(QStringLiteral("delta"), QStringLiteral("12"), 0), 5);
    Write("[delta]\n12=-3\n");
    EXPECT_EQ(ini.ReadInteger(QStringLiteral("delta"), QStringLiteral("12"), 0), -3);
}

TEST_F(IniFileTest, AnsiAndMarkedFilesDecode) {
    Write(AnsiFromString(QStringLiteral("[sql]\nformy=C:\\Łódź\\\n")));
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString(QStringLiteral("sql"), QStringLiteral("formy"), QString()),
              QStringLiteral("C:\\Łódź\\"));
    Write(Preamble(TTextEncoding::UTF16LE) +
          Encode(QStringLiteral("[sql]\r\nformy=Łódź\r\n"), TTextEncoding::UTF16LE));
    EXPECT_EQ(ini.ReadString(QStringLiteral("sql"), QStringLiteral("formy"), QString()),
              QStringLiteral("Łódź"));
}

// A file saved as UTF-8 without a mark (as Linux editors do) is read as UTF-8 and stays so when
// written; one with Windows-1250 letters is not valid UTF-8 and is still read as Windows-1250.
TEST_F(IniFileTest, UnmarkedUtf8FileIsReadAsUtf8) {
    Write(QStringLiteral("[sql]\nformy=/srv/Łódź/\n").toUtf8());
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString(QStringLiteral("sql"), QStringLiteral("formy"), QString()),
              QStringLiteral("/srv/Łódź/"));
    ini.WriteString(QStringLiteral("sql"), QStringLiteral("vorek"), QStringLiteral("/srv/Gdańsk/"));
    EXPECT_EQ(Read(), QStringLiteral("[sql]\r\nformy=/srv/Łódź/\r\nvorek=/srv/Gdańsk/\r\n").toUtf8());
    Write(AnsiFromString(QStringLiteral("[sql]\nformy=/srv/Łódź/\n")));
    EXPECT_EQ(ini.ReadString(QStringLiteral("sql"), QStringLiteral("formy"), QString()),
              QStringLiteral("/srv/Łódź/"));
}

TEST_F(IniFileTest, WritingKeepsTheRestOfTheFile) {
    Write("; comment\r\n[set]\r\nlog=1\r\n\r\n[sql]\r\nformy=x\r\n");
    TIniFile ini(path);
    ini.WriteString(QStringLiteral("SET"), QStringLiteral("LOG"), QStringLiteral("0"));
    ini.WriteInteger(QStringLiteral("set"), QStringLiteral("godzina"), 4);
    ini.WriteBool(QStringLiteral("new"), QStringLiteral("k"), true);
    EXPECT_EQ(
        Read(),
        QByteArray("; comment\r\n[set]\r\nLOG=0\r\ngodzina=4\r\n\r\n[sql]\r\nformy=x\r\n[new]\r\nk=1\r\n"));
    ini.DeleteKey(QStringLiteral("set"), QStringLiteral("log"));
    ini.EraseSection(QStringLiteral("sql"));
    EXPECT_EQ(Read(), QByteArray("; comment\r\n[set]\r\ngodzina=4\r\n\r\n[new]\r\nk=1\r\n"));
    TStringList sections;
    ini.ReadSections(sections);
    EXPECT_EQ(sections.Strings(), (QStringList{"set", "new"}));

    TIniFile bad(dir.filePath(QStringLiteral("no/such/dir/x.ini")));
    EXPECT_THROW(bad.WriteString(QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")),
                 EFCreateError);
}

TEST_F(IniFileTest, ASectionReadOnceAnswersAsTheFileDid) {
    Write("[Delta]\n7=5\n7=9\n 0x1 = 3 \nQUOTED=\"-4\"\nbad=x\n" + QByteArray("long=1") +
          QByteArray(3000, '0') + "\n[delta]\n8=1\n");
    TIniFile ini(path);
    const TIniSection deltas = ini.ReadSectionOnce(QStringLiteral("DELTA"));
    Write("[delta]\n7=100\n");
    // Later changes of the file wait for the next read; the first of duplicate names wins.
    EXPECT_EQ(deltas.ReadInteger(QStringLiteral("7"), 0), 5);
    EXPECT_EQ(deltas.ReadInteger(QStringLiteral("0X1"), 0), 3);
    EXPECT_EQ(deltas.ReadInteger(QStringLiteral("quoted"), 0), -4);
    EXPECT_EQ(deltas.ReadInteger(QStringLiteral("bad"), 11), 11);
    // Cut to 2047 characters before conversion, as a lookup through the file does.
    EXPECT_EQ(deltas.ReadInteger(QStringLiteral("long"), 11), 11);
    // Only the first section of a name counts.
    EXPECT_EQ(deltas.ReadInteger(QStringLiteral("8"), 11), 11);
}

TEST_F(IniFileTest, APipeADeviceOrAHugeFileReadAsMissingAndAreNeverWrittenOver) {
    ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    TIniFile pipe(path);
    // Read without waiting for a writer that never comes.
    EXPECT_EQ(pipe.ReadInteger(QStringLiteral("set"), QStringLiteral("godzina"), 3), 3);
    EXPECT_THROW(pipe.WriteInteger(QStringLiteral("set"), QStringLiteral("godzina"), 4), EFCreateError);
    QFileInfo info(path);
    EXPECT_FALSE(info.isFile());

    const QString zero = dir.filePath(QStringLiteral("zero.ini"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
    EXPECT_EQ(TIniFile(zero).ReadString(QStringLiteral("sql"), QStringLiteral("formy"), QStringLiteral("d")),
              QStringLiteral("d"));

    const QString huge = dir.filePath(QStringLiteral("huge.ini"));
    {
        QFile f(huge);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[set]\ngodzina=5\n");
        ASSERT_TRUE(f.resize(17 * 1024 * 1024));
    }
    TIniFile big(huge);
    EXPECT_EQ(big.ReadInteger(QStringLiteral("set"), QStringLiteral("godzina"), 3), 3);
    EXPECT_THROW(big.WriteInteger(QStringLiteral("set"), QStringLiteral("godzina"), 4), EFCreateError);
    EXPECT_EQ(QFileInfo(huge).size(), 17 * 1024 * 1024);
}
