#pragma once
// The main window of the counter updater: reads setup.ini at start, composes the information
// text, keeps the operation log and its monthly file.

#include "db/connection/pFbDatabase.h"
#include "platform/Component.h"
#include "platform/Controls.h"
#include "platform/IniFile.h"

#include <QString>
#include <memory>

class QLabel;
class QPushButton;
class QWidget;

class TForm1 : public platform::TComponent {
    Q_OBJECT
public:
    // Builds the window and its components, then runs the creation handler; an exception escaping
    // the handler goes to the default error display and the window is still created.
    explicit TForm1(platform::TComponent* owner = nullptr);
    ~TForm1() override;

    QWidget* Window() const { return FWindow; }
    const QString& InfoText() const { return FInfoText; }

    // Components of the stored layout.
    TpFbDatabase* pFbDatabaseFormy = nullptr;
    TpFbDatabase* pFbDatabaseVorek = nullptr;
    QLabel* MarkupLabel1 = nullptr;
    platform::TMemo* Memo1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

    // Settings and state.
    QString formybase;
    QString vorekbase;
    QString mylogfile;
    bool add_hist = false;
    bool loguj = false;
    bool f_blokady = false;
    quint16 godzina = 0;
    std::unique_ptr<platform::TIniFile> sini;

    void FormCreate(QObject* Sender);
    // Appends a time-stamped line to the log view when logging is on.
    void DoLogu(const QString& sx);
    // Writes the whole log view to the monthly file. When that file exists but could not be loaded
    // at start, it is left as it is: the view goes to a file beside it instead (named once, and
    // named in a line added to the view).
    void SaveLog();

private:
    void ShowInfoText();
    // Connects the database; on failure shows the message and returns false.
    bool ConnectDatabase(TpFbDatabase* database);

    QWidget* FWindow = nullptr;
    QString FInfoText;
    bool FLogNotLoaded = false;
    QString FLogBeside;
};
