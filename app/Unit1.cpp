#include "Unit1.h"

#include "RunInterrupt.h"
#include "ServiceNotify.h"
#include "UpdateRun.h"

#include "lib/quorvel/Tmylib.h"
#include "platform/Application.h"
#include "platform/DateTime.h"
#include "platform/Exceptions.h"
#include "ui/htmllabel/MarkupLabel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QIcon>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTextCursor>
#include <QTimer>
#include <QWidget>
#include <cerrno>

// The icon lives in a resource of a static library: it is registered by hand.
static void InitIconResource() {
    Q_INIT_RESOURCE(tarvelo);
}

using namespace platform;

namespace {

constexpr int kClientWidth = 783;
constexpr int kClientHeight = 517;
constexpr int kMemoTop = 180;
constexpr int kMemoHeight = kClientHeight - kMemoTop;
// The log view shows the newest lines, about five runs of a plant of 300 moulds; every line is in
// the monthly file, which each run only extends, so a program that runs for months neither grows
// in memory nor spends longer on its file.
constexpr int kLogViewLines = 3000;
// How often the program looks whether a notification area has appeared.
constexpr int kTrayWatchInterval = 1000;
// How long after a click on the icon a window mapped minimised is restored once more.
constexpr int kRestoreSpan = 2000;

void ConfigureDatabase(TpFbDatabase* db) {
    // A server that takes the connection but does not answer fails the attach after the time-out
    // ([sql] timeout), rather than holding the program.
    db->SetDBParams({QStringLiteral("user_name=SYSDBA"), QStringLiteral("password=tulipwand"),
                     QStringLiteral("lc_ctype=WIN1250"), QStringLiteral("connect_timeout=30")});
    db->SetSQLDialect(3);
    db->SetTimeout(0);
    db->SetWaitForRestoreConnect(0);
}

// Keeps the log view docked to the bottom edge at its height, spanning the full width.
class TFormWindow : public QWidget {
public:
    QWidget* Docked = nullptr;
    std::function<void()> OnClose;
    std::function<void()> OnStateChange;

protected:
    void changeEvent(QEvent* e) override {
        QWidget::changeEvent(e);
        if (e->type() == QEvent::WindowStateChange && OnStateChange) OnStateChange();
    }
    void closeEvent(QCloseEvent* e) override {
        if (OnClose) OnClose();
        QWidget::closeEvent(e);
    }
    void resizeEvent(QResizeEvent* e) override {
        QWidget::resizeEvent(e);
        if (Docked) Docked->setGeometry(0, height() - kMemoHeight, width(), kMemoHeight);
    }
};

// A name beside the monthly file that no file has yet: "log_2024_3.txt" gives
// "log_2024_3_20240305_140709.txt", with "_2", "_3"... added when that one exists too.
QString NameBeside(const QString& fileName) {
    const QFileInfo info(fileName);
    const QString stem = info.dir().filePath(info.completeBaseName()) + QLatin1Char('_') +
                         FormatDateTime(QStringLiteral("yyyymmdd_hhnnss"), Now());
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    QString name = stem + suffix;
    for (int n = 2; QFileInfo::exists(name) || QFileInfo(name).isSymLink(); ++n)
        name = stem + QLatin1Char('_') + QString::number(n) + suffix;
    return name;
}

// A text put into the information panel's markup, shown as written ("R&D", "dane<2024").
QString MarkupEscaped(QString s) {
    return s.replace(QLatin1Char('&'), QLatin1String("&amp;"))
        .replace(QLatin1Char('<'), QLatin1String("&lt;"))
        .replace(QLatin1Char('>'), QLatin1String("&gt;"));
}

} // namespace

TForm1::TForm1(TComponent* owner, const TFormOptions& options) : TComponent(owner), FOptions(options) {
    SetName(QStringLiteral("Form1"));
    BeginLoading();

    pFbDatabaseFormy = new TpFbDatabase(this);
    pFbDatabaseFormy->SetName(QStringLiteral("pFbDatabaseFormy"));
    ConfigureDatabase(pFbDatabaseFormy);
    pFbDatabaseVorek = new TpFbDatabase(this);
    pFbDatabaseVorek->SetName(QStringLiteral("pFbDatabaseVorek"));
    ConfigureDatabase(pFbDatabaseVorek);
    CreateRunComponents();

    auto* window = new TFormWindow;
    FWindow = window;
    window->setObjectName(QStringLiteral("Form1"));
    window->setWindowTitle(QStringLiteral("Tarvelo    ver 2.0"));
    InitIconResource();
    const QIcon icon(QStringLiteral(":/tarvelo.svg"));
    window->setWindowIcon(icon);
    // Qt measures widgets in device-independent pixels: scaled screens keep the designed layout.
    window->resize(kClientWidth, kClientHeight);
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    window->setPalette(palette);
    window->setAutoFillBackground(true);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    window->setFont(font);
    window->OnClose = [this] { Guarded([this] { FormClose(this); }); };
    // A window that was once minimised keeps the hint to start minimised: shown again after being
    // hidden, the window manager maps it minimised. The restore from the icon then finishes.
    window->OnStateChange = [this] {
        // Only the first change of state after the click, and only while it is recent.
        const bool restoring = FRestoring.isValid() && !FRestoring.hasExpired(kRestoreSpan);
        FRestoring.invalidate();
        if (!restoring || !FWindow->isMinimized()) return;
        FWindow->showNormal();
        FWindow->raise();
        FWindow->activateWindow();
    };

    MarkupLabel1 = new htmllabel::TMarkupLabel(window);
    MarkupLabel1->setObjectName(QStringLiteral("MarkupLabel1"));
    MarkupLabel1->setGeometry(8, 8, 97, 21);
    MarkupLabel1->SetTransparent(true);
    MarkupLabel1->SetAutoSizing(true);
    MarkupLabel1->SetAutoSizeType(htmllabel::TAutoSizeType::asBoth);

    Memo1 = new TMemo(this, window);
    Memo1->SetName(QStringLiteral("Memo1"));
    Memo1->SetMaxLines(kLogViewLines);
    Memo1->Widget()->setGeometry(0, kMemoTop, kClientWidth, kMemoHeight);
    Memo1->Widget()->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->Widget()->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->Widget()->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->SetText(QStringLiteral("Memo1"));
    window->Docked = Memo1->Widget();

    Button1 = new QPushButton(QStringLiteral("Ręczny start"), window);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(8, 149, 161, 25);
    Button2 = new QPushButton(QStringLiteral("Do ikony"), window);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(175, 149, 75, 25);
    QWidget::setTabOrder(Memo1->Widget(), Button1);
    QWidget::setTabOrder(Button1, Button2);
    connect(Button1, &QPushButton::clicked, this, [this] { Guarded([this] { Button1Click(Button1); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { Guarded([this] { Button2Click(Button2); }); });

    TrayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    if (FOptions.TrayIcon) {
        TrayIcon1 = new QSystemTrayIcon(icon, this);
        TrayIcon1->setObjectName(QStringLiteral("TrayIcon1"));
        TrayIcon1->setToolTip(Application().Title());
        connect(TrayIcon1, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::Trigger) Guarded([this] { TrayIcon1Click(TrayIcon1); });
                });
        // The program may start before the desktop's notification area (at log-in). On X11 the
        // icon is shown at once and goes into an area as soon as one appears; elsewhere the watch
        // shows it then. The watch also shows it again when an area appears after a restart.
        if (TrayAvailable() || QGuiApplication::platformName() == QLatin1String("xcb")) TrayIcon1->show();
        FTrayWasAvailable = TrayAvailable();
        auto* trayWatch = new QTimer(this);
        trayWatch->setInterval(kTrayWatchInterval);
        connect(trayWatch, &QTimer::timeout, this, [this] { WatchTray(); });
        trayWatch->start();
    }

    EndLoading();
    CreateTimer();
    Guarded([this] { FormCreate(this); });
    FStarting = false;
    // A tick that came while start-up was connecting is decided now, for the moment it came, from
    // the event loop: the run is then the complete program's own, and start-up is logged once.
    if (FTickDuringStart)
        QTimer::singleShot(0, this,
                           [this, at = *FTickDuringStart] { Guarded([this, at] { DailyTick(at); }); });
}

TForm1::~TForm1() {
    delete FWindow;
}

void TForm1::FormCreate(QObject* /*Sender*/) {
    FInfoText =
        QStringLiteral("<b>Program aktualizujący stany liczników programu Lidorna na podstawie raportów  z "
                       "systemu Vorek OEE MES</b><br><br>");
    sini = std::make_unique<TIniFile>(quorvel::Tmysystem::MojKatalog() + QStringLiteral("setup.ini"));

    formybase = sini->ReadString(QStringLiteral("sql"), QStringLiteral("formy"), QString());
    if (!formybase.isEmpty()) formybase += QStringLiteral("formy_db.fdb");
    vorekbase = sini->ReadString(QStringLiteral("sql"), QStringLiteral("vorek"), QString());
    if (!vorekbase.isEmpty()) vorekbase += QStringLiteral("vorek_mes.fdb");

    FInfoText +=
        QStringLiteral("Baza Formy:<ind=\"120\">") + MarkupEscaped(formybase) + QStringLiteral("<br>");
    FInfoText +=
        QStringLiteral("Baza Vorek MES:<ind=\"120\">") + MarkupEscaped(vorekbase) + QStringLiteral("<br>");
    Application().ProcessMessages();

    pFbDatabaseFormy->SetDBName(formybase);
    pFbDatabaseVorek->SetDBName(vorekbase);
    // Optional credentials of a dedicated database user replace the built-in ones on both connections.
    for (const char* key : {"user", "password"}) {
        const QString value = sini->ReadString(QStringLiteral("sql"), QLatin1String(key), QString());
        if (value.isEmpty()) continue;
        const QString param = QLatin1String(key) == QLatin1String("user") ? QStringLiteral("user_name")
                                                                          : QStringLiteral("password");
        for (TpFbDatabase* db : {pFbDatabaseFormy, pFbDatabaseVorek}) {
            QStringList params = db->DBParams().Strings();
            for (QString& line : params)
                if (line.section(QLatin1Char('='), 0, 0) == param) line = param + QLatin1Char('=') + value;
            db->SetDBParams(params);
        }
    }

    const int timeout = sini->ReadInteger(QStringLiteral("sql"), QStringLiteral("timeout"), 30);
    if (timeout >= 1 && timeout <= 255)
        for (TpFbDatabase* db : {pFbDatabaseFormy, pFbDatabaseVorek}) {
            QStringList params = db->DBParams().Strings();
            for (QString& line : params)
                if (line.startsWith(QLatin1String("connect_timeout=")))
                    line = QStringLiteral("connect_timeout=%1").arg(timeout);
            db->SetDBParams(params);
        }
    runLimitMinutes = qMax(0, sini->ReadInteger(QStringLiteral("set"), QStringLiteral("limit"), 60));
    metricsFile = sini->ReadString(QStringLiteral("monitoring"), QStringLiteral("plik"), QString());

    godzina = quint16(sini->ReadInteger(QStringLiteral("set"), QStringLiteral("godzina"), 3));
    FInfoText += QStringLiteral("Aktualizacja liczników o godznie ") + QString::number(godzina) +
                 QStringLiteral(":05<br><br>");

    add_hist = sini->ReadBool(QStringLiteral("set"), QStringLiteral("historia"), false);
    if (add_hist)
        FInfoText += QStringLiteral("Załączone raportowanie w histori zmian liczników programu lidorna<br>");

    loguj = sini->ReadBool(QStringLiteral("set"), QStringLiteral("log"), false);
    if (loguj) FInfoText += QStringLiteral("Załączony log operacji <br>");

    ShowInfoText();
    Application().ProcessMessages();
    FWindow->raise();

    if (!ConnectDatabase(pFbDatabaseVorek)) return;
    if (!ConnectDatabase(pFbDatabaseFormy)) return;
    OpenMonthlyLog();
}

void TForm1::OpenMonthlyLog() {
    int year, month, day;
    DecodeDate(Date(), year, month, day);
    mylogfile = quorvel::Tmysystem::MojKatalog() + QStringLiteral("log_") + QString::number(year) +
                QLatin1Char('_') + QString::number(month) + QStringLiteral(".txt");
    if (QFile::exists(mylogfile)) {
        // Until it is loaded, the file holds a record the view does not: it must not be replaced.
        FLogNotLoaded = true;
        Memo1->LoadFromFile(mylogfile);
        FLogNotLoaded = false;
    }
    DoLogu(QStringLiteral("start programu"));
}

bool TForm1::ConnectDatabase(TpFbDatabase* database) {
    try {
        database->SetConnected(true);
        Application().ProcessMessages();
        return true;
    } catch (const platform::Exception& e) {
        Application().ShowMessage(e.Message());
        return false;
    }
}

void TForm1::ShowInfoText() {
    // The design text goes; the information text is the one line, and the label sizes itself to it.
    MarkupLabel1->BeginUpdate();
    MarkupLabel1->ClearLines();
    MarkupLabel1->AddLine(FInfoText);
    MarkupLabel1->EndUpdate();
    MarkupLabel1->Doit();
}

void TForm1::Button1Click(QObject* /*Sender*/) {
    FireUpdate();
}

void TForm1::WatchTray() {
    const bool available = TrayAvailable && TrayAvailable();
    if (available && !FTrayWasAvailable && TrayIcon1) {
        TrayIcon1->hide();
        TrayIcon1->show();
    }
    FTrayWasAvailable = available;
}

bool TForm1::TrayIconShown() const {
    return TrayIcon1 && TrayIcon1->isVisible() && TrayAvailable && TrayAvailable();
}

void TForm1::Button2Click(QObject* /*Sender*/) {
    FRestoring.invalidate();
    // Hidden only where the icon can bring it back.
    if (TrayIconShown())
        FWindow->hide();
    else
        FWindow->showMinimized();
}

void TForm1::TrayIcon1Click(QObject* /*Sender*/) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isMinimized()) w->showNormal();
    if (FWindow->isMinimized()) FWindow->showNormal();
    FWindow->show();
    FWindow->raise();
    FWindow->activateWindow();
    FRestoring.start();
}

void TForm1::FormClose(QObject* /*Sender*/) {}

void TForm1::DoLogu(const QString& sx, bool failure) {
    if (!loguj) return;
    // One message, one line: nothing in it may start a line of its own in the view or the file.
    const QString line = DateTimeToStr(Now()) + QStringLiteral("   ") + updaterun::OneLine(sx);
    Memo1->AppendLine(line);
    // The newest line is the one to see, as in a log view that follows its end.
    Memo1->ScrollToEnd();
    if (FOptions.LogEcho) FOptions.LogEcho(line, failure);
}

void TForm1::SaveLog() {
    if (!FLogNotLoaded) {
        Memo1->SaveNewLinesToFile(mylogfile);
        return;
    }
    if (FLogBeside.isEmpty()) {
        const QString beside = NameBeside(mylogfile);
        Memo1->AppendLine(DateTimeToStr(Now()) + QStringLiteral("   Nie wczytano pliku logu ") + mylogfile +
                          QStringLiteral(", log zapisywany jest do pliku ") + beside);
        FLogBeside = beside;
    }
    Memo1->SaveNewLinesToFile(FLogBeside);
}

std::unique_ptr<TFolderLock> TForm1::LockFolder() {
    const QString folder = quorvel::Tmysystem::MojKatalog();
    // A termination request or the run's limit also ends the wait.
    auto lock = std::make_unique<TFolderLock>(folder, FOptions.RunLockWaitMs, [] {
        // Waiting is no hang: the service's watchdog hears so.
        servicenotify::Watchdog();
        const TRunInterrupt* interrupt = TRunInterrupt::Current();
        return interrupt && interrupt->Requested();
    });
    if (!lock->Locked() && lock->Error() == ECANCELED) throw EAbort(QString());
    if (!lock->Locked() && lock->Error() == EWOULDBLOCK)
        throw ERunBusy(
            QStringLiteral("Inny przebieg programu pracuje w katalogu %1 (czekano %2 s); ten przebieg "
                           "nie został wykonany")
                .arg(QDir::toNativeSeparators(folder))
                .arg(FOptions.RunLockWaitMs / 1000.0, 0, 'g', 3));
    return lock;
}
