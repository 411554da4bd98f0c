#pragma once
// TpFbQuery: the statement component the application places on its window; adds a retry hook for
// execution errors, events around executions and helpers for stored procedures.

#include "FbQuery.h"
#include "db/connection/fb.h"

// What to do after a failed execution.
enum class TDataAction { daFail, daAbort, daRetry };

class TpFbQuery : public TFbQuery {
    Q_OBJECT
public:
    explicit TpFbQuery(platform::TComponent* owner = nullptr);
    ~TpFbQuery() override;

    using TExecuteErrorEvent = std::function<void(TpFbQuery* sender, EFbError& error, TDataAction& action)>;

    // Runs the statement again while OnExecuteError answers daRetry.
    void ExecQuery() override;
    // Executes only an EXECUTE PROCEDURE text.
    void ExecProc();
    void ExecProcedure(const QString& procName);
    void ExecProcedure(const QString& procName, const QList<QVariant>& values);
    bool FieldIsNull(const TFbXSQLVAR& field) const { return field.IsNull(); }

    QString Description() const { return FDescription; }
    void SetDescription(const QString& value) { FDescription = value; }

    TExecuteErrorEvent OnExecuteError;
    TNotifyEvent BeforeExecute;
    TNotifyEvent AfterExecute;

protected:
    void DoBeforeExecute() override;
    void DoAfterExecute() override;

private:
    QString FDescription;
};
