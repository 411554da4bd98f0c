#include "pFbDatabase.h"

#include "FbSafeTimer.h"
#include "platform/Application.h"

#include <QCoreApplication>

TpFbDatabase::TpFbDatabase(platform::TComponent* owner) : TFbDatabase(owner) {}

TpFbDatabase::~TpFbDatabase() {
    delete FRestoreTimer;
    FRestoreTimer = nullptr;
    // Disconnect while still a TpFbDatabase, so the transactions it ends see its events.
    Destroying_();
    if (Connected()) {
        try {
            ForceClose();
        } catch (...) {
        }
    }
}

void TpFbDatabase::Open(bool raiseExcept) {
    if (Connected()) return;
    bool doConnect = true;
    if (BeforeConnect) BeforeConnect(this, DBParams(), doConnect);
    if (!doConnect) return;
    TFbDatabase::Open(raiseExcept);
    if (Connected() && !FAliasName.isEmpty()) SaveAlias();
}

void TpFbDatabase::InternalClose(bool force) {
    if (Connected()) TFbDatabase::InternalClose(force);
}

void TpFbDatabase::SetWaitForRestoreConnect(quint32 value) {
    FWaitForRestoreConnect = value;
    if (value == 0) {
        delete FRestoreTimer;
        FRestoreTimer = nullptr;
        return;
    }
    if (!FRestoreTimer) {
        FRestoreTimer = new TFbCustomTimer(nullptr);
        FRestoreTimer->OnTimer = [this](TFbCustomTimer*) { RestoreConnect(); };
    }
    FRestoreTimer->SetInterval(int(qMin<quint32>(value, INT_MAX)));
}

bool TpFbDatabase::WaitingRestoreConnect() const {
    return FRestoreTimer && FRestoreTimer->Enabled();
}

void TpFbDatabase::WaitRestoreConnect() {
    if (FRestoreTimer) FRestoreTimer->SetEnabled(true);
}

void TpFbDatabase::StopWaitRestoreConnect() {
    if (FRestoreTimer) FRestoreTimer->SetEnabled(false);
}

bool TpFbDatabase::ExTestConnected(TOnLostConnectActions actions) {
    try {
        BaseLevel();
        return true;
    } catch (EFbError& error) {
        bool doRaise = false;
        DoLostConnect(error, actions, doRaise);
        if (doRaise) throw;
        return false;
    }
}

void TpFbDatabase::DoLostConnect(EFbError& error, TOnLostConnectActions& actions, bool& doRaise) {
    if (OnLostConnect) OnLostConnect(this, error, actions, doRaise);
    ActOnLostConnect(actions);
}

void TpFbDatabase::ActOnLostConnect(TOnLostConnectActions actions) {
    const auto closeLost = [this] {
        FClosingLostConnect = true;
        CloseLostConnect();
        FClosingLostConnect = false;
    };
    switch (actions) {
    case TOnLostConnectAction::laTerminateApp:
        closeLost();
        QCoreApplication::quit();
        break;
    case TOnLostConnectAction::laCloseConnect:
        closeLost();
        break;
    case TOnLostConnectAction::laWaitRestore:
        closeLost();
        WaitRestoreConnect();
        break;
    case TOnLostConnectAction::laIgnore:
        break;
    }
}

void TpFbDatabase::RestoreConnect() {
    if (Connected()) return;
    const bool wasWaiting = WaitingRestoreConnect();
    StopWaitRestoreConnect();
    try {
        SetConnected(true);
    } catch (EFbError& error) {
        TOnLostConnectActions actions =
            wasWaiting ? TOnLostConnectAction::laWaitRestore : TOnLostConnectAction::laIgnore;
        bool doRaise = false;
        if (OnErrorRestoreConnect) OnErrorRestoreConnect(this, error, actions, doRaise);
        switch (actions) {
        case TOnLostConnectAction::laWaitRestore:
            WaitRestoreConnect();
            break;
        case TOnLostConnectAction::laTerminateApp:
            platform::Application().ShowMessage(error.Message());
            QCoreApplication::quit();
            break;
        default:
            break;
        }
        if (doRaise) throw;
        return;
    }
    if (Connected() && AfterRestoreConnect) AfterRestoreConnect(this);
}
