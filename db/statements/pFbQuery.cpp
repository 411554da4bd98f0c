#include "pFbQuery.h"

#include "platform/Exceptions.h"

TpFbQuery::TpFbQuery(platform::TComponent* owner) : TFbQuery(owner) {}

TpFbQuery::~TpFbQuery() = default;

void TpFbQuery::DoBeforeExecute() {
    if (BeforeExecute) BeforeExecute(this);
    TFbQuery::DoBeforeExecute();
}

void TpFbQuery::DoAfterExecute() {
    if (AfterExecute) AfterExecute(this);
    TFbQuery::DoAfterExecute();
}

void TpFbQuery::ExecQuery() {
    TDataAction action = TDataAction::daRetry;
    while (action == TDataAction::daRetry) {
        action = TDataAction::daFail;
        try {
            TFbQuery::ExecQuery();
        } catch (EFbError& error) {
            // The handler runs from a copy: it may replace itself.
            const TExecuteErrorEvent handler = OnExecuteError;
            if (!handler) throw;
            handler(this, error, action);
            if (action == TDataAction::daFail) throw;
            if (action == TDataAction::daAbort) throw platform::EAbort(QStringLiteral("Operation aborted"));
        }
    }
}

void TpFbQuery::ExecProc() {
    if (IsProc()) ExecQuery();
}

void TpFbQuery::ExecProcedure(const QString& procName) {
    const QString text = QStringLiteral("EXECUTE  PROCEDURE ") + procName;
    if (SQL().Text() != text + QStringLiteral("\r\n")) SQL().SetText(text);
    ExecProc();
}

void TpFbQuery::ExecProcedure(const QString& procName, const QList<QVariant>& values) {
    QString text = QStringLiteral("EXECUTE  PROCEDURE ") + procName;
    if (!values.isEmpty()) {
        text += QStringLiteral("(?P0");
        for (int i = 1; i < values.size(); ++i)
            text += QStringLiteral(",?P") + QString::number(i);
        text += QLatin1Char(')');
    }
    if (SQL().Text() != text + QStringLiteral("\r\n")) SQL().SetText(text);
    if (!Prepared()) Prepare();
    for (int i = 0; i < values.size() && i < Params().Count(); ++i)
        Params().Vars(i).SetAsVariant(values[i]);
    ExecProc();
}
