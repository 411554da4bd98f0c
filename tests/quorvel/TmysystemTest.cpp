#include "lib/quorvel/Tmylib.h"
#include "platform/Encoding.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>
#include <set>

using quorvel::Tmysystem;

TEST(Tmylib, ContainerHoldsOnlyTheDatabaseHelper) {
    ASSERT_NE(mylib, nullptr);
    ASSERT_NE(mylib->myFb, nullptr);
    EXPECT_FALSE(mylib->myFb->Hide_error);
    EXPECT_EQ(mylib->mySystem, nullptr);
    EXPECT_EQ(mylib->myStr, nullptr);
    EXPECT_EQ(mylib->myTime, nullptr);
}

TEST(Tmysystem, DirectoriesOfTheExecutable) {
    const QString exeDir = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    EXPECT_EQ(Tmysystem::MojKatalog(), exeDir + QLatin1Char('/'));
    EXPECT_EQ(Tmysystem::PodKatalog(QStringLiteral("logi")), exeDir + QStringLiteral("/logi/"));
    Tmysystem::OverrideDirectory(QStringLiteral("/tmp/prog"));
    EXPECT_EQ(Tmysystem::MojKatalog(), QStringLiteral("/tmp/prog/"));
    Tmysystem::OverrideDirectory(QString());
    EXPECT_EQ(Tmysystem::MojKatalog(), exeDir + QLatin1Char('/'));
}

TEST(Tmysystem, AddressesOpenedWithOrWithoutScheme) {
    QStringList opened;
    Tmysystem::ShellOpenHook = [&](const QString& t, const QString& p, const QString& d) {
        opened << t + QLatin1Char('|') + p + QLatin1Char('|') + d;
        return true;
    };
    Tmysystem::odpalwww(QString());
    Tmysystem::odpalwww(QStringLiteral("example.com"));
    Tmysystem::odpalwww(QStringLiteral("WWW.Example.com"));
    Tmysystem::odpalwww(QStringLiteral("https://x.pl/a"));
    Tmysystem::odpalwww(QStringLiteral("HTTP://x.pl"));
    Tmysystem::odpalwww(QStringLiteral("ftp://x.pl"));
    Tmysystem::odpalzparametrami(platform::AnsiFromString(QStringLiteral("/opt/łódź")), "-a b", "/tmp");
    Tmysystem::ShellOpenHook = nullptr;
    EXPECT_EQ(opened, (QStringList{"http://example.com||", "WWW.Example.com||", "https://x.pl/a||",
                                   "HTTP://x.pl||", "http://ftp://x.pl||", "/opt/łódź|-a b|/tmp"}));
}

TEST(Tmysystem, PercentagesAndRandomNumbers) {
    EXPECT_EQ(Tmysystem::procent(0, 55), 0.0f);
    EXPECT_FLOAT_EQ(Tmysystem::procent(200, 50), 25.0f);
    EXPECT_EQ(Tmysystem::procent(1, INT64_MAX), 0.0f); // the multiplication overflows
    EXPECT_FLOAT_EQ(Tmysystem::procentf(8, 2), 25.0f);
    EXPECT_EQ(Tmysystem::procentf(0, 2), 0.0f);
    EXPECT_FLOAT_EQ(Tmysystem::procentp(200, 10), 20.0f);
    EXPECT_EQ(Tmysystem::procentp(0, 10), 0.0f);

    EXPECT_EQ(Tmysystem::RandomInteger(5, 5), 5);
    EXPECT_EQ(Tmysystem::RandomInteger(9, 2), 9);
    std::set<int> seen;
    for (int i = 0; i < 400; ++i)
        seen.insert(Tmysystem::RandomInteger(1, 3));
    EXPECT_EQ(seen, (std::set<int>{1, 2}));
    const int wide = Tmysystem::RandomInteger(INT32_MIN, INT32_MAX);
    EXPECT_LT(wide, INT32_MAX);
}

TEST(Tmysystem, EnDeCodeComplementsAnsiBytes) {
    // Characters whose complements exist in the code page come back after two passes.
    const QString plain = QStringLiteral("H+ #\"");
    const QString once = Tmysystem::EnDeCode(plain);
    EXPECT_EQ(platform::AnsiFromString(once), QByteArray("\xB7\xD4\xDF\xDC\xDD"));
    EXPECT_EQ(Tmysystem::EnDeCode(once), plain);
    EXPECT_EQ(Tmysystem::EnDeCode(QString()), QString());
}

// A complement the code page lacks becomes its default character "?", never the control byte 1A;
// the complement of "?" is U+00C0 "À", which the code page lacks too and gives as "A".
TEST(Tmysystem, EnDeCodeTwiceReplacesWhatTheCodePageLacks) {
    const QString twice = Tmysystem::EnDeCode(Tmysystem::EnDeCode(QStringLiteral("Hello, World! ~{}|")));
    EXPECT_EQ(twice, QStringLiteral("HAAAo, WoAAAA ~AA|"));
    EXPECT_EQ(Tmysystem::WinToIso(QByteArray("\x80\xC0")), QByteArray("?\xC0"));
}

TEST(Tmysystem, WinToIsoRecodesPolishLetters) {
    // ś ą ź differ between the two code pages.
    EXPECT_EQ(Tmysystem::WinToIso(QByteArray("\x9C\xB9\x9F")), QByteArray("\xB6\xB1\xBC"));
    EXPECT_EQ(Tmysystem::WinToIso(QByteArray("abc")), QByteArray("abc"));
}

TEST(Tmysystem, NamesOfUserAndComputer) {
    EXPECT_FALSE(Tmysystem::GetNetUser().isEmpty());
    const QString host = Tmysystem::GetNetworkName();
    ASSERT_FALSE(host.isEmpty());
    EXPECT_EQ(host.mid(1), host.mid(1).toLower());
    EXPECT_EQ(host.left(1), host.left(1).toUpper());
}

TEST(Tmysystem, LaunchersStandInForShellLinks) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Tarvelo.desktop"));
    ASSERT_TRUE(Tmysystem::CreateShellLink(
        file, QStringLiteral("/opt/tar velo/tarvelo"), QStringLiteral("Liczniki"),
        QStringLiteral("/opt/tar velo"), QStringLiteral("--now"), QStringLiteral("/opt/tar velo/tarvelo.png"),
        0, 0, quorvel::TShowState::ssNormal));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    EXPECT_TRUE(text.startsWith(QStringLiteral("[Desktop Entry]\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\nName=Tarvelo\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\nExec=\"/opt/tar velo/tarvelo\" --now\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\nPath=/opt/tar velo\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\nComment=Liczniki\n")));
    EXPECT_FALSE(Tmysystem::CreateShellLink(dir.filePath(QStringLiteral("no/dir/x.desktop")),
                                            QStringLiteral("/bin/true"), QString(), QString(), QString(),
                                            QString(), 0, 0, quorvel::TShowState::ssNormal));

    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8());
    ASSERT_TRUE(Tmysystem::CreateLink(QStringLiteral("Tarvelo"), QStringLiteral("/opt/t/tarvelo"),
                                      QStringLiteral("d"), 2));
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("config/autostart/Tarvelo.desktop"))));
    // An unknown folder gives no launcher at all.
    EXPECT_FALSE(
        Tmysystem::CreateLink(QStringLiteral("Tarvelo"), QStringLiteral("/opt/t/tarvelo"), QString(), 7));
    EXPECT_FALSE(QFile::exists(QStringLiteral("/Tarvelo.desktop")));
}

TEST(Tmysystem, FormPlacement) {
    QWidget form, panel(&form);
    form.resize(400, 300);
    panel.resize(100, 50);
    Tmysystem::PanelCenterForm(&form, &panel);
    EXPECT_EQ(panel.pos(), QPoint(150, 125));
    panel.resize(101, 51);
    Tmysystem::PanelCenterForm(&form, &panel);
    EXPECT_EQ(panel.pos(), QPoint(149, 124));
}

// A document is opened as a file, from the working folder when its name is relative; one that
// does not exist opens nothing (a desktop opener would make "raport.zip" a web address).
TEST(Tmysystem, DocumentsOpenAsFilesOrNotAtAll) {
    QTemporaryDir dir;
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    QStringList opened;
    Tmysystem::ShellOpenHook = [&](const QString& t, const QString& p, const QString& d) {
        opened << t + QLatin1Char('|') + p + QLatin1Char('|') + d;
        return true;
    };
    Tmysystem::odpal("raport.zip");
    Tmysystem::odpalzparametrami("raport.zip", "", "/");
    QFile(dir.filePath(QStringLiteral("raport.zip"))).open(QIODevice::WriteOnly);
    Tmysystem::odpal("raport.zip");
    Tmysystem::odpalzparametrami("raport.zip", "", dir.path().toLocal8Bit());
    Tmysystem::ShellOpenHook = nullptr;
    QDir::setCurrent(before);
    const QString file = QFileInfo(dir.filePath(QStringLiteral("raport.zip"))).absoluteFilePath();
    EXPECT_EQ(opened, (QStringList{file + QStringLiteral("||"), file + QStringLiteral("||") + dir.path()}));
}

// The Exec line of a launcher gives "%" a meaning of its own: a literal one is written doubled.
TEST(Tmysystem, LauncherParametersKeepTheirPercentSigns) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Raport.desktop"));
    ASSERT_TRUE(Tmysystem::CreateShellLink(file, QStringLiteral("/usr/bin/printf"), QString(), QString(),
                                           QStringLiteral("100% --u=%u"), QString(), 0, 0,
                                           quorvel::TShowState::ssNormal));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(f.readAll())
                    .contains(QStringLiteral("\nExec=\"/usr/bin/printf\" 100%% --u=%%u\n")));
}
