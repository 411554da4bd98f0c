#include "Tmysystem.h"

#include "platform/Application.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/TextFile.h"

#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QUrl>
#include <QWidget>

#include <chrono>
#include <cmath>
#include <pwd.h>
#include <random>
#include <thread>
#include <unistd.h>

namespace quorvel {

std::function<bool(const QString&, const QString&, const QString&)> Tmysystem::ShellOpenHook;

namespace {

QString& DirectoryOverride() {
    static QString dir;
    return dir;
}

// A web address, opened as it is.
bool OpenAddress(const QString& address) {
    if (Tmysystem::ShellOpenHook) return Tmysystem::ShellOpenHook(address, QString(), QString());
    return QDesktopServices::openUrl(QUrl::fromUserInput(address));
}

// A program started with parameters, or a document opened as a local file (relative to dir, or
// to the working folder); never guessed into a web address, so a missing file opens nothing.
bool OpenFile(const QString& target, const QString& params, const QString& dir) {
    if (!params.isEmpty()) {
        if (Tmysystem::ShellOpenHook) return Tmysystem::ShellOpenHook(target, params, dir);
        return QProcess::startDetached(target, QProcess::splitCommand(params), dir);
    }
    if (target.isEmpty()) return false;
    const QFileInfo file(QDir(dir.isEmpty() ? QDir::currentPath() : dir), target);
    if (!file.exists()) return false;
    if (Tmysystem::ShellOpenHook) return Tmysystem::ShellOpenHook(file.absoluteFilePath(), params, dir);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(file.absoluteFilePath()));
}

QScreen* Monitor(int nr) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    return nr >= 0 && nr < screens.size() ? screens[nr] : nullptr;
}

// Quoting of one argument of a launcher's Exec line.
QString ExecQuote(const QString& arg) {
    QString q;
    for (QChar c : arg) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            q += QLatin1Char('\\');
        q += c;
    }
    q.replace(QLatin1String("%"), QLatin1String("%%"));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

// Values of a launcher's keys may not hold line breaks.
QString EntryValue(const QString& v) {
    QString s = v;
    s.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    s.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    s.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    return s;
}

} // namespace

QString Tmysystem::MojKatalog() {
    QString dir = DirectoryOverride();
    if (dir.isEmpty()) dir = QFileInfo(platform::Application().ExeName()).absolutePath();
    if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
    return dir;
}

void Tmysystem::OverrideDirectory(const QString& dir) {
    DirectoryOverride() = dir;
}

QString Tmysystem::PodKatalog(const QString& katalog) {
    return MojKatalog() + katalog + QLatin1Char('/');
}

QString Tmysystem::GetNetUser() {
    constexpr int kBuffer = 260;
    passwd pw{};
    passwd* found = nullptr;
    char buf[4096];
    if (getpwuid_r(geteuid(), &pw, buf, sizeof buf, &found) != 0 || !found || !found->pw_name)
        return QString();
    const QString name = QString::fromLocal8Bit(found->pw_name);
    return name.size() < kBuffer ? name : QString();
}

QString Tmysystem::GetNetworkName() {
    constexpr int kBuffer = 253;
    char buf[kBuffer + 1] = {};
    if (gethostname(buf, kBuffer) != 0) return QString();
    buf[kBuffer] = 0;
    QString name = QString::fromLocal8Bit(buf);
    if (name.isEmpty()) return QString();
    name = name.toLower();
    name[0] = name[0].toUpper();
    return name;
}

void Tmysystem::WaitWithProcess(int dsec) {
    for (int i = 0; i < dsec; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        platform::Application().ProcessMessages();
    }
}

void Tmysystem::GoPopup(QMenu* pp) {
    if (pp) pp->popup(QCursor::pos());
}

QString Tmysystem::EnDeCode(const QString& s) {
    const QByteArray in = platform::AnsiFromString(s);
    QByteArray result;
    result.reserve(in.size());
    for (char ch : in) {
        const auto b = static_cast<unsigned char>(ch);
        result += platform::AnsiFromString(QString(QChar(char16_t(255 - b))));
    }
    return platform::StringFromAnsi(result);
}

void Tmysystem::PozycjaXY(QWidget* f) {
    if (!f) return;
    const QPoint p = QCursor::pos();
    f->move(p);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QSize s = screen->size();
    if (f->x() + f->width() > s.width()) f->move(p.x() - f->width(), f->y());
    if (f->y() + f->height() > s.height()) f->move(f->x(), p.y() - f->height());
}

bool Tmysystem::ShowFormTop(QWidget* Frm) {
    if (!Frm) return false;
    const QRect g = Frm->geometry();
    Frm->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    Frm->setGeometry(g);
    Frm->show();
    Frm->repaint();
    return Frm->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

void Tmysystem::PanelCenterForm(QWidget* f, QWidget* p) {
    if (!f || !p) return;
    const QRect client = f->contentsRect();
    p->move((client.width() - p->width()) / 2, (client.height() - p->height()) / 2);
}

void Tmysystem::FormMaxi(QWidget* f, int nrMonitor) {
    QScreen* m = Monitor(nrMonitor);
    if (!f || !m) return;
    const QRect wa = m->availableGeometry();
    f->setGeometry(wa.left(), wa.top(), wa.width(), wa.height());
}

void Tmysystem::FormCenter(QWidget* f, int nrMonitor) {
    QScreen* m = Monitor(nrMonitor);
    if (!f || !m) return;
    const QSize s = m->size();
    f->move(s.width() / 2 - f->width(), f->y());
    f->move(f->x(), s.height() / 2 - f->height());
}

void Tmysystem::odpal(const QByteArray& filename) {
    OpenFile(platform::StringFromAnsi(filename), QString(), QString());
}

void Tmysystem::odpalzparametrami(const QByteArray& filename, const QByteArray& params,
                                  const QByteArray& cdir) {
    OpenFile(platform::StringFromAnsi(filename), platform::StringFromAnsi(params),
             platform::StringFromAnsi(cdir));
}

void Tmysystem::odpalwww(const QString& adress) {
    if (adress.isEmpty()) return;
    const QString lower = adress.toLower();
    if (lower.startsWith(QLatin1String("www")) || lower.startsWith(QLatin1String("http://")) ||
        lower.startsWith(QLatin1String("https://")))
        OpenAddress(adress);
    else
        OpenAddress(QLatin1String("http://") + adress);
}

float Tmysystem::procent(int64_t calosc, int64_t czesc) {
    if (calosc == 0) return 0;
    int64_t scaled;
    if (__builtin_mul_overflow(czesc, int64_t(100), &scaled)) return 0;
    const float r = float(double(scaled) / double(calosc));
    return std::isfinite(r) ? r : 0;
}

float Tmysystem::procentf(float calosc, float czesc) {
    if (calosc == 0) return 0;
    const float r = czesc * 100 / calosc;
    return std::isfinite(r) ? r : 0;
}

float Tmysystem::procentp(float calosc, float procent) {
    if (calosc == 0) return 0;
    const float r = calosc / 100 * procent;
    return std::isfinite(r) ? r : 0;
}

int Tmysystem::RandomInteger(int RandMin, int RandMax) {
    if (RandMin >= RandMax) return RandMin;
    std::mt19937_64 gen(uint64_t(std::chrono::high_resolution_clock::now().time_since_epoch().count()));
    std::uniform_int_distribution<int64_t> dist(0, int64_t(RandMax) - RandMin - 1);
    return int(RandMin + dist(gen));
}

int Tmysystem::GetTaskBarHeight() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return 0;
    const QRect wa = screen->availableGeometry();
    if (wa.top() > 0) return wa.top();
    return screen->geometry().height() - (wa.top() + wa.height());
}

QByteArray Tmysystem::WinToIso(const QByteArray& s) {
    return platform::Encode(platform::StringFromAnsi(s), platform::TTextEncoding::ISO88592);
}

bool Tmysystem::CreateShellLink(const QString& FileName, const QString& Target, const QString& Description,
                                const QString& StartIn, const QString& Parameters, const QString& IconPath,
                                int /*IconIndex*/, uint16_t /*HotKey*/, TShowState /*ShowState*/,
                                const void* /*ItemIDList*/) {
    // Launchers have no hot key, icon index, window state or item list: those are not written.
    QString exec = ExecQuote(Target);
    // "%" starts a field code on the Exec line: a literal one is written doubled.
    if (!Parameters.isEmpty())
        exec += QLatin1Char(' ') + QString(Parameters).replace(u'%', QLatin1String("%%"));
    QString text = QStringLiteral("[Desktop Entry]\nType=Application\nVersion=1.0\n");
    text += QLatin1String("Name=") + EntryValue(QFileInfo(FileName).completeBaseName()) + QLatin1Char('\n');
    if (!Description.isEmpty())
        text += QLatin1String("Comment=") + EntryValue(Description) + QLatin1Char('\n');
    text += QLatin1String("Exec=") + EntryValue(exec) + QLatin1Char('\n');
    if (!StartIn.isEmpty()) text += QLatin1String("Path=") + EntryValue(StartIn) + QLatin1Char('\n');
    if (!IconPath.isEmpty()) text += QLatin1String("Icon=") + EntryValue(IconPath) + QLatin1Char('\n');
    text += QLatin1String("Terminal=false\n");
    try {
        platform::SaveTextFile(FileName, text, platform::TTextEncoding::UTF8, 0, false);
    } catch (const platform::EStreamError&) {
        return false;
    }
    QFile::setPermissions(FileName,
                          QFile::permissions(FileName) | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    return true;
}

bool Tmysystem::CreateLink(const QString& name, const QString& exename, const QString& desc, uint8_t f) {
    QString folder;
    switch (f) {
    case 0:
        folder = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
        break;
    case 1:
    case 3:
        folder = QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation);
        break;
    case 2: {
        const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        if (!config.isEmpty()) folder = config + QLatin1String("/autostart");
        break;
    }
    default:
        break;
    }
    // Without a folder the launcher would land in the file-system root: refuse instead.
    if (folder.isEmpty() || !QDir().mkpath(folder)) return false;
    const QString file = folder + QLatin1Char('/') + name + QLatin1String(".desktop");
    return CreateShellLink(file, exename, desc, QFileInfo(exename).absolutePath(), QString(), exename, 0, 0,
                           TShowState::ssNormal, nullptr);
}

} // namespace quorvel
