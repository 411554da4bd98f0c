#pragma once
// TpFbDatabase: the database component the application places on its window; adds the connect
// question, the connection-restore machinery and the transaction events.

#include "FbDatabase.h"
#include "fb.h"

enum class TOnLostConnectAction { laTerminateApp, laCloseConnect, laIgnore, laWaitRestore };
using TOnLostConnectActions = TOnLostConnectAction;

class TpFbDatabase : public TFbDatabase {
    Q_OBJECT
public:
    explicit TpFbDatabase(platform::TComponent* owner = nullptr);
    ~TpFbDatabase() override;

    using TBeforeConnectEvent =
        std::function<void(TpFbDatabase* sender, TDBParams& loginParams, bool& doConnect)>;
    using TLostConnectEvent = std::function<void(TpFbDatabase* sender, EFbError& error,
                                                 TOnLostConnectActions& actions, bool& doRaise)>;
    using TDatabaseEvent = std::function<void(TpFbDatabase* sender)>;

    void Open(bool raiseExcept = true) override;

    quint32 WaitForRestoreConnect() const { return FWaitForRestoreConnect; }
    // A non-zero value creates the (disabled) restore timer with that interval; 0 destroys it.
    void SetWaitForRestoreConnect(quint32 value);
    bool WaitingRestoreConnect() const;

    // Reads the base level; on a database error hands it to the lost-connection handling and
    // returns false (or re-raises when the handler asks for it).
    bool ExTestConnected(TOnLostConnectActions actions);
    void RestoreConnect();
    void WaitRestoreConnect();
    void StopWaitRestoreConnect();

    QString AliasName() const { return FAliasName; }
    void SetAliasName(const QString& value) { FAliasName = value; }
    bool SaveAliasParamsAfterConnect() const { return FSaveAliasParamsAfterConnect; }
    void SetSaveAliasParamsAfterConnect(bool value) { FSaveAliasParamsAfterConnect = value; }

    // Also named OnLogin: called first by Open; doConnect false cancels the connect silently.
    TBeforeConnectEvent BeforeConnect;
    TLostConnectEvent OnLostConnect;
    TLostConnectEvent OnErrorRestoreConnect;
    TDatabaseEvent AfterRestoreConnect;
    // Called by the transactions of this database around their starts and ends.
    TDatabaseEvent BeforeStartTransaction;
    TDatabaseEvent AfterStartTransaction;
    TDatabaseEvent BeforeEndTransaction;
    TDatabaseEvent AfterEndTransaction;

    // The same event as OnConnect.
    TNotifyEvent& AfterConnect() { return OnConnect; }

protected:
    void InternalClose(bool force) override;
    void DoLostConnect(EFbError& error, TOnLostConnectActions& actions, bool& doRaise);

private:
    void ActOnLostConnect(TOnLostConnectActions actions);

    quint32 FWaitForRestoreConnect = 0;
    TFbCustomTimer* FRestoreTimer = nullptr;
    QString FAliasName;
    bool FSaveAliasParamsAfterConnect = true;
    bool FClosingLostConnect = false;
};
