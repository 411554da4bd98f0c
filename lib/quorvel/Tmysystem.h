#pragma once
// System helpers of the helper library: the program's own directory, user and computer names,
// waiting with a responsive window, opening documents and addresses, window placement,
// percentages, random numbers, code-page recoding and desktop launchers.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>

class QMenu;
class QWidget;

namespace quorvel {

enum class TShowState { ssNormal, ssMinimized, ssMaximized };

class Tmysystem {
public:
    // Directory of the executable's real path with a trailing separator.
    static QString MojKatalog();
    // Tests point MojKatalog at a directory of their own; an empty text restores the real one.
    static void OverrideDirectory(const QString& dir);
    static QString PodKatalog(const QString& katalog);
    static QString GetNetUser();
    static QString GetNetworkName();
    static void WaitWithProcess(int dsec);
    static void GoPopup(QMenu* pp);
    static QString EnDeCode(const QString& s);
    static void PozycjaXY(QWidget* f);
    static bool ShowFormTop(QWidget* Frm);
    static void PanelCenterForm(QWidget* f, QWidget* p);
    static void FormMaxi(QWidget* f, int nrMonitor);
    static void FormCenter(QWidget* f, int nrMonitor);
    static void odpal(const QByteArray& filename);
    static void odpalzparametrami(const QByteArray& filename, const QByteArray& params,
                                  const QByteArray& cdir);
    static void odpalwww(const QString& adress);
    static float procent(int64_t calosc, int64_t czesc);
    static float procentf(float calosc, float czesc);
    static float procentp(float calosc, float procent);
    static int RandomInteger(int RandMin, int RandMax);
    static int GetTaskBarHeight();
    static QByteArray WinToIso(const QByteArray& s);
    // A freedesktop launcher (.desktop file) stands in for a shell link.
    static bool CreateShellLink(const QString& FileName, const QString& Target, const QString& Description,
                                const QString& StartIn, const QString& Parameters, const QString& IconPath,
                                int IconIndex, uint16_t HotKey, TShowState ShowState,
                                const void* ItemIDList = nullptr);
    // f: 0 desktop, 1 applications menu, 2 autostart, 3 applications menu (programs).
    static bool CreateLink(const QString& name, const QString& exename, const QString& desc, uint8_t f);

    // Seam for opening documents and addresses: receives the target, the parameters and the
    // working directory; returns whether the opener accepted it. Empty: the desktop's opener.
    static std::function<bool(const QString& target, const QString& params, const QString& dir)>
        ShellOpenHook;
};

} // namespace quorvel
