#pragma once
// TpFbTransaction: the transaction component the application places on its window; starts with
// built-in parameter sets and adds events around starts, ends and statement executions.

#include "FbTransaction.h"

enum class TTPBMode { tpbDefault, tpbReadCommitted, tpbRepeatableRead };

class TpFbTransaction : public TFbTransaction {
    Q_OBJECT
public:
    explicit TpFbTransaction(platform::TComponent* owner = nullptr);
    ~TpFbTransaction() override;

    using TEndTransactionEvent =
        std::function<void(TFbTransaction* endingTR, TTransactionAction action, bool force)>;
    // The statement and its kind (the statement's TSQLKind as its number).
    using TSQLExecuteEvent = std::function<void(QObject* statement, int sqlKind)>;

    TTPBMode TPBMode() const { return FTPBMode; }
    // Other than tpbDefault, every start replaces TRParams by the built-in set of the mode.
    void SetTPBMode(TTPBMode value) { FTPBMode = value; }
    QString UserKindTransaction() const { return FUserKindTransaction; }
    void SetUserKindTransaction(const QString& value) { FUserKindTransaction = value; }

    // Does nothing when the transaction is already active.
    void StartTransaction() override;
    void EndTransaction(TTransactionAction action, bool force) override;
    void DoOnSQLExec(QObject* statement, int sqlKind, bool before) override;

    TNotifyEvent BeforeStart;
    TNotifyEvent AfterStart;
    TEndTransactionEvent BeforeEnd;
    TEndTransactionEvent AfterEnd;
    TSQLExecuteEvent BeforeSQLExecute;
    TSQLExecuteEvent AfterSQLExecute;

private:
    TTPBMode FTPBMode = TTPBMode::tpbReadCommitted;
    QString FUserKindTransaction = QStringLiteral("NoUserKind");
};
