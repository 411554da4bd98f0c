#include "TmyFbDataBase.h"

#include "db/connection/FbTransaction.h"
#include "db/connection/fb.h"
#include "db/datasets/pFbDataSet.h"
#include "db/statements/pFbQuery.h"
#include "lib/quorvel/TmyStr.h"
#include "platform/Application.h"
#include "platform/DateTime.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"

#include <QBuffer>
#include <QLineEdit>
#include <QPalette>

namespace quorvel {

QString TmyFbDataBase::LastErrorSQL;
QString TmyFbDataBase::LastErrorMessage;

namespace {

// The platform's wait cursor for SQL work.
constexpr int crSQLWait = -17;

TFbTransaction& TransactionOf(TpFbQuery* q) {
    if (!q->Transaction()) db::connection::RaiseFbError(FbClientError::TransactionNotAssigned);
    return *q->Transaction();
}

// Steps shared by every statement routine: a fresh transaction, the new text, the parameters
// by position, execution.
void Run(TpFbQuery* q, const QStringList& lines, const QList<QVariant>& params = {}, bool close = true,
         const std::function<void(TpFbQuery*)>& setParams = {}) {
    TFbTransaction& tr = TransactionOf(q);
    if (tr.Active()) tr.SetActive(false);
    tr.StartTransaction();
    if (close) q->Close();
    q->SetSQL(lines);
    for (int i = 0; i < params.size(); ++i)
        q->Params().Vars(i).SetAsVariant(params[i]);
    if (setParams) setParams(q);
    q->ExecQuery();
}

bool HasRow(TpFbQuery* q) {
    return !q->Eof();
}

void RollbackQuietly(TpFbQuery* q) {
    try {
        if (q->Transaction() && q->Transaction()->InTransaction()) q->Transaction()->Rollback();
    } catch (...) {
    }
}

// Runs a guarded routine: any failure is rolled back and turned into the failure value.
template <class T, class F> T Guard(TpFbQuery* q, T failure, F&& body) {
    try {
        return body();
    } catch (...) {
        RollbackQuietly(q);
        return failure;
    }
}

bool Write(TpFbQuery* q, const QStringList& lines, const QList<QVariant>& params,
           const std::function<void(TpFbQuery*)>& setParams = {}) {
    return Guard(q, false, [&] {
        Run(q, lines, params, true, setParams);
        q->Transaction()->Commit();
        return true;
    });
}

QString ErrorText(const std::exception& e) {
    if (auto* pe = dynamic_cast<const platform::Exception*>(&e)) return pe->Message();
    return QString::fromUtf8(e.what());
}

QVariant Text(const QString& s) {
    return QVariant(s);
}
QVariant Int(int v) {
    return QVariant(v);
}

} // namespace

bool TmyFbDataBase::SelectSQL(TpFbQuery* IBQ, const QString& txt) {
    try {
        Run(IBQ, {txt});
        return true;
    } catch (const std::exception& e) {
        RollbackQuietly(IBQ);
        if (!Hide_error) {
            LastErrorSQL = txt;
            LastErrorMessage = ErrorText(e);
            platform::Application().ShowMessage(LastErrorMessage);
        }
        return false;
    }
}

bool TmyFbDataBase::SelectSQL(TpFbDataSet* IBds, const QString& txt) {
    try {
        IBds->Close();
        IBds->SelectSQL().SetStrings({txt});
        IBds->Open();
        return true;
    } catch (const std::exception& e) {
        if (!Hide_error) {
            LastErrorSQL = txt;
            LastErrorMessage = ErrorText(e);
            platform::Application().ShowMessage(LastErrorMessage);
            try {
                if (IBds->Transaction() && IBds->Transaction()->InTransaction())
                    IBds->Transaction()->Rollback();
            } catch (...) {
            }
        }
        return false;
    }
}

int TmyFbDataBase::AllRecordInTable(TpFbQuery* IBQ, const QString& tabela) {
    return Guard(IBQ, -1, [&] {
        Run(IBQ, {"select  count(*) from " + tabela});
        return IBQ->Fields(0).AsInteger();
    });
}

int TmyFbDataBase::GetGenerator(TpFbQuery* IBQ, const QString& generator, int ic) {
    return Guard(IBQ, -1, [&] {
        Run(IBQ, {"select gen_id( " + generator + "," + QString::number(ic) + " ) from rdb$database "});
        return HasRow(IBQ) ? IBQ->Fields(0).AsInteger() : -1;
    });
}

int TmyFbDataBase::GetMaxId(TpFbQuery* IBQ, const QString& tabela) {
    Run(IBQ, {"select max(id) from " + tabela}, {}, false);
    return IBQ->Fields(0).AsInteger();
}

QString TmyFbDataBase::GetString(TpFbQuery* IBQ, int id, const QString& tabela, const QString& fieldstr) {
    return Guard(IBQ, QString(), [&] {
        Run(IBQ, {"select id, " + fieldstr + " from " + tabela + " where id = :id "}, {Int(id)});
        return HasRow(IBQ) ? IBQ->Fields(1).AsString() : QString();
    });
}

QString TmyFbDataBase::GetStrOnID(TpFbQuery* IBQ, int id, const QString& field, const QString& tabela) {
    Run(IBQ, {"select " + field + " from " + tabela + " where id=:id"}, {Int(id)}, false);
    return IBQ->Fields(0).AsString();
}

QString TmyFbDataBase::GetStrOnIDEx(TpFbQuery* IBQ, int id, const QString& tabela, const QString& field,
                                    const QString& fieldid) {
    Run(IBQ, {"select " + field + " from " + tabela + " where " + fieldid + "=:id"}, {Int(id)}, false);
    return IBQ->Fields(0).AsString();
}

int TmyFbDataBase::GetInteger(TpFbQuery* IBQ, int idd, const QString& tabela, const QString& fieldstr) {
    return Guard(IBQ, -1, [&] {
        Run(IBQ, {"select id, " + fieldstr + " from " + tabela + " where id = :id "}, {Int(idd)});
        return HasRow(IBQ) ? IBQ->Fields(1).AsInteger() : -1;
    });
}

float TmyFbDataBase::GetFloat(TpFbQuery* IBQ, int id, const QString& tabela, const QString& fieldFloat) {
    return Guard(IBQ, 0.0f, [&] {
        Run(IBQ, {"select id, " + fieldFloat + " from " + tabela + " where id = :id "}, {Int(id)});
        return HasRow(IBQ) ? IBQ->Fields(1).AsSingle() : 0.0f;
    });
}

TDateTime TmyFbDataBase::GetDateTime(TpFbQuery* IBQ, int id, const QString& tabela, const QString& fieldDT) {
    return Guard(IBQ, 0.0, [&] {
        Run(IBQ, {"select id, " + fieldDT + " from " + tabela + " where id = :id "}, {Int(id)});
        return HasRow(IBQ) ? IBQ->Fields(1).AsDateTime() : 0.0;
    });
}

int TmyFbDataBase::FindID(TpFbQuery* IBQ, const QString& find_str, const QString& tabela,
                          const QString& fieldstr) {
    return Guard(IBQ, -1, [&] {
        Run(IBQ, {"select id  from " + tabela + " where " + fieldstr + " =  :st "}, {Text(find_str)});
        return HasRow(IBQ) ? IBQ->Fields(0).AsInteger() : 0;
    });
}

bool TmyFbDataBase::IsIDinTable(TpFbQuery* IBQ, int id, const QString& tabela) {
    return Guard(IBQ, false, [&] {
        Run(IBQ, {"select id from " + tabela + " where id = :id "}, {Int(id)});
        return HasRow(IBQ);
    });
}

bool TmyFbDataBase::IsIntInTable(TpFbQuery* IBQ, int id, const QString& tabela, const QString& idfield) {
    return Guard(IBQ, false, [&] {
        Run(IBQ, {"select " + idfield + " from " + tabela + " where " + idfield + " = :id "}, {Int(id)});
        return HasRow(IBQ);
    });
}

bool TmyFbDataBase::IsIdAndIdInTable(TpFbQuery* IBQ, int id1, int id2, const QString& tabela,
                                     const QString& fieldid1, const QString& fieldid2) {
    return Guard(IBQ, false, [&] {
        Run(IBQ, {"select id from " + tabela + " where " + fieldid1 + " = :id and " + fieldid2 + " = :id2"},
            {Int(id1), Int(id2)});
        return HasRow(IBQ);
    });
}

bool TmyFbDataBase::IsTxtInTable(TpFbQuery* IBQ, const QString& tabela, const QString& sx,
                                 const QString& fieldsx) {
    return Guard(IBQ, false, [&] {
        Run(IBQ, {"select id from " + tabela + " where " + fieldsx + " = :sx"}, {Text(sx)});
        return HasRow(IBQ);
    });
}

bool TmyFbDataBase::UpdateString(TpFbQuery* IBQ, int idd, const QString& txt, const QString& tabela,
                                 const QString& pole) {
    return Write(IBQ, {"UPDATE " + tabela + " set " + pole + "= :ss ", "WHERE id = :id"},
                 {Text(txt), Int(idd)});
}

bool TmyFbDataBase::UpdateStringOnId(TpFbQuery* IBQ, int idd, const QString& txt, const QString& tabela,
                                     const QString& pole, const QString& poleid) {
    return Write(IBQ, {"UPDATE " + tabela + " set " + pole + "= :ss ", "WHERE " + poleid + " = :id"},
                 {Text(txt), Int(idd)});
}

bool TmyFbDataBase::UpdateInt(TpFbQuery* IBQ, int idd, const QString& tabela, const QString& fieldstr,
                              int x) {
    return Write(IBQ, {"UPDATE " + tabela + " set " + fieldstr + "= :ss ", "WHERE id = :id"},
                 {Int(x), Int(idd)});
}

bool TmyFbDataBase::UpdateTime(TpFbQuery* IBQ, int idd, const QString& tabela, const QString& fieldstr,
                               TDateTime x) {
    return Write(IBQ, {"UPDATE " + tabela + " set " + fieldstr + "= :ss ", "WHERE id = :id"}, {},
                 [&](TpFbQuery* q) {
                     q->Params().Vars(0).SetAsDateTime(x);
                     q->Params().Vars(1).SetAsInteger(idd);
                 });
}

bool TmyFbDataBase::UpdateFloat(TpFbQuery* IBQ, int idd, double x, const QString& tabela,
                                const QString& fieldnum) {
    return Write(IBQ, {"UPDATE " + tabela + " set " + fieldnum + "= :prz", "WHERE id = :id"}, {},
                 [&](TpFbQuery* q) {
                     q->Params().Vars(0).SetAsDouble(x);
                     q->Params().Vars(1).SetAsInteger(idd);
                 });
}

bool TmyFbDataBase::UpdateNumWithData(TpFbQuery* IBQ, int idd, double x, const QString& tabela,
                                      const QString& fieldnum, const QString& fielddata) {
    return Write(
        IBQ, {"UPDATE " + tabela + " set " + fieldnum + "= :prz, " + fielddata + "= :pr", "WHERE id = :id"},
        {}, [&](TpFbQuery* q) {
            q->Params().Vars(0).SetAsDouble(x);
            q->Params().Vars(1).SetAsDate(platform::Date());
            q->Params().Vars(2).SetAsInteger(idd);
        });
}

bool TmyFbDataBase::InverseValue(TpFbQuery* IBQ, int idd, const QString& tabela, const QString& fieldstr) {
    return Guard(IBQ, false, [&] {
        Run(IBQ, {"select id, " + fieldstr + " from " + tabela + " where id = :id "}, {Int(idd)});
        if (!HasRow(IBQ)) {
            RollbackQuietly(IBQ);
            return false;
        }
        const int flag = IBQ->Fields(1).AsInteger() != 0 ? 0 : 1;
        Run(IBQ, {"UPDATE " + tabela + " set " + fieldstr + "= :ss ", "WHERE id = :id"},
            {Int(flag), Int(idd)});
        IBQ->Transaction()->Commit();
        return true;
    });
}

bool TmyFbDataBase::InsertStringAndInteger(TpFbQuery* IBQ, int idd, const QString& txt, const QString& tabela,
                                           const QString& fieldstr, const QString& fieldid) {
    return Write(IBQ, {"Insert into " + tabela + " (" + fieldstr + ", " + fieldid + ") Values ( :str, :num)"},
                 {Text(txt), Int(idd)});
}

bool TmyFbDataBase::InsertIntegerAndInteger(TpFbQuery* IBQ, int id1, int id2, const QString& tabela,
                                            const QString& fieldid1, const QString& fieldid2) {
    return Write(IBQ,
                 {"Insert into " + tabela + " (" + fieldid1 + ", " + fieldid2 + ") Values ( :id1, :id2)"},
                 {Int(id1), Int(id2)});
}

bool TmyFbDataBase::DeleteRecords(TpFbQuery* IBQ, int idd, const QString& tabela) {
    return Write(IBQ, {"delete from " + tabela + " where id = :id"}, {Int(idd)});
}

bool TmyFbDataBase::DeleteRecordsEx(TpFbQuery* IBQ, int idd, const QString& tabela, const QString& id_field) {
    return Write(IBQ, {"delete from " + tabela + " where " + id_field + " = :id"}, {Int(idd)});
}

bool TmyFbDataBase::DeleteRecordsIdId(TpFbQuery* IBQ, int id1, int id2, const QString& tabela,
                                      const QString& id_field1, const QString& id_field2) {
    return Write(IBQ,
                 {"delete from " + tabela + " where " + id_field1 + " = :id1 and " + id_field2 + " = :id2"},
                 {Int(id1), Int(id2)});
}

bool TmyFbDataBase::GetBlob(TpFbQuery* IBQ, int id, const QString& tabela, const QString& fieldblob,
                            QIODevice& s) {
    return Guard(IBQ, false, [&] {
        Run(IBQ, {"select id," + fieldblob + " from " + tabela, "Where id= :id"}, {Int(id)});
        if (HasRow(IBQ)) IBQ->Fields(1).SaveToStream(s);
        IBQ->Transaction()->Commit();
        return true;
    });
}

bool TmyFbDataBase::UpdateBlob(TpFbQuery* IBQ, int id, const QString& tabela, const QString& fieldblob,
                               QIODevice& s) {
    return Write(IBQ, {"UPDATE " + tabela + " set " + fieldblob + "= :blo", "Where id= :id"}, {},
                 [&](TpFbQuery* q) {
                     if (!s.isSequential()) s.seek(0);
                     q->Params().Vars(0).LoadFromStream(s);
                     q->Params().Vars(1).SetAsInteger(id);
                 });
}

bool TmyFbDataBase::UpdateBlobRTF(TpFbQuery* IBQ, int id, const QString& tabela, const QString& fieldblob,
                                  const platform::TStringList& aLines) {
    QByteArray bytes = platform::AnsiFromString(aLines.Text());
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return UpdateBlob(IBQ, id, tabela, fieldblob, buffer);
}

bool TmyFbDataBase::CommandSQL(TpFbQuery* IBQ, const QString& txt) {
    return Write(IBQ, {txt}, {});
}

bool TmyFbDataBase::CommandSQL_ID(TpFbQuery* IBQ, const QString& txt, int idd) {
    return Write(IBQ, {txt}, {Int(idd)});
}

QString TmyFbDataBase::SQL_SR(const QString& s, int v, const QString& pr) {
    return TmyStr::MyStringReplace(s, pr, QString::number(v));
}

void TmyFbDataBase::DefaultsDataSet(TpFbDataSet* IBds) {
    TFormatFields& f = IBds->DefaultFormats();
    f.DateTimeDisplayFormat = QStringLiteral("yyyy-mm-dd  hh:mm:ss");
    f.DisplayFormatDate = QStringLiteral("yyyy-mm-dd");
    f.DisplayFormatTime = QStringLiteral("hh:mm:ss");
    f.NumericDisplayFormat = QStringLiteral("#,##0.00");
    IBds->SetSQLScreenCursor(crSQLWait);
}

bool TmyFbDataBase::LocateTable(TDataSet* IBds, int idd) {
    if (!IBds->Active()) return false;
    IBds->DisableScrollEvents();
    struct Enable {
        TDataSet* ds;
        ~Enable() { ds->EnableScrollEvents(); }
    } enable{IBds};
    int from = 0; // rows back to the first, to come back when nothing is found
    while (IBds->MoveBy(-1) == -1)
        ++from;
    for (bool more = !IBds->IsEmpty(); more; more = !IBds->Eof()) {
        const auto& id = IBds->FieldByName(QStringLiteral("ID"));
        if (!id.IsNull() && id.AsInteger() == idd) return true; // NULL reads as 0 but is no ID
        IBds->Next();
    }
    IBds->First();
    IBds->MoveBy(from);
    return false;
}

bool TmyFbDataBase::fieldExists(TDataSet* ds, const QString& fname) {
    return ds->FieldDefs().Find(fname) != nullptr;
}

uint32_t TmyFbDataBase::FiltrEditColorValue(int rcount, const QString& text) {
    if (text.isEmpty()) return 0xFFFFFF;
    return rcount != 0 ? 0xA4FFA4 : 0xA4A4FF;
}

void TmyFbDataBase::FiltrEditColor(int rcount, QLineEdit* ed) {
    const uint32_t c = FiltrEditColorValue(rcount, ed->text());
    QPalette p = ed->palette();
    p.setColor(QPalette::Base, QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)));
    ed->setPalette(p);
}

} // namespace quorvel
