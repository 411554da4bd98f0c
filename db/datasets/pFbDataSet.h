#pragma once
// TpFbDataSet: the select data set used by the application; adds the field set-up after open
// (display formats, default values and column facts) and the row total asked from the server.

#include "FbDataSet.h"

// Display and edit formats given to fields after open.
struct TFormatFields {
    QString DateTimeDisplayFormat = QStringLiteral("dd.mm.yyyy hh:mm AMPM");
    QString NumericDisplayFormat = QStringLiteral("#,##0.");
    QString NumericEditFormat = QStringLiteral("0.");
    QString DisplayFormatDate = QStringLiteral("dd.mm.yyyy");
    QString DisplayFormatTime = QStringLiteral("hh:mm AMPM");
};

// A numeric format with `decimals` decimals: "#,##0." gives "#,##0.00" for 2; a format whose
// last character follows a "." gets that character repeated; any other format stays.
QString FormatWithDecimals(const QString& format, int decimals);

// The select without its locking clause (FOR UPDATE [OF …] [WITH LOCK], or WITH LOCK at its end),
// found outside parentheses, strings, quoted names and comments.
QString WithoutLockingClause(const QString& select);

class TpFbDataSet : public TFbDataSet {
    Q_OBJECT
public:
    explicit TpFbDataSet(platform::TComponent* owner = nullptr);

    TFormatFields& DefaultFormats() { return FDefaultFormats; }

protected:
    void AfterInternalOpen() override;
    int KnownRecordCount() const override { return FKnownRecordCount; }
    void AskRecordCount() override;

private:
    void SetUpField(TField& field);

    TFormatFields FDefaultFormats;
    int FKnownRecordCount = 0;
};
