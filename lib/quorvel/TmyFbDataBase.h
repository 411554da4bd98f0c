#pragma once
// One-statement helpers for tables addressed by an integer id: each routine builds its statement,
// runs it on the caller's statement in that statement's own transaction and returns a value or a
// success flag. Table, column and generator names are the calling program's trusted text and are
// concatenated into the statement as given (no quoting, no checking): never pass user input as a
// name. Values always travel as parameters, set by position.

#include <QColor>
#include <QString>
#include <QStringList>

class QIODevice;
class QLineEdit;
class TpFbQuery;
class TpFbDataSet;
class TDataSet;
namespace platform {
class TStringList;
}

namespace quorvel {

using TDateTime = double;

class TmyFbDataBase {
public:
    // When set, the SelectSQL routines do not show (nor record) their failures.
    bool Hide_error = false;

    // The last failure shown by SelectSQL: its statement text and its message.
    static QString LastErrorSQL;
    static QString LastErrorMessage;

    // Both leave the statement (data set) open on the result; false on failure.
    bool SelectSQL(TpFbQuery* IBQ, const QString& txt);
    bool SelectSQL(TpFbDataSet* IBds, const QString& txt);

    // Reading routines: the value when a row; their failure value on any failure (after a
    // rollback). The transaction is left active.
    static int AllRecordInTable(TpFbQuery* IBQ, const QString& tabela);
    static int GetGenerator(TpFbQuery* IBQ, const QString& generator, int ic);
    static QString GetString(TpFbQuery* IBQ, int id, const QString& tabela, const QString& fieldstr);
    static int GetInteger(TpFbQuery* IBQ, int idd, const QString& tabela, const QString& fieldstr);
    static float GetFloat(TpFbQuery* IBQ, int id, const QString& tabela, const QString& fieldFloat);
    static TDateTime GetDateTime(TpFbQuery* IBQ, int id, const QString& tabela, const QString& fieldDT);
    // 0 when no row, -1 on failure.
    static int FindID(TpFbQuery* IBQ, const QString& find_str, const QString& tabela,
                      const QString& fieldstr);
    static bool IsIDinTable(TpFbQuery* IBQ, int id, const QString& tabela);
    static bool IsIntInTable(TpFbQuery* IBQ, int id, const QString& tabela, const QString& idfield);
    static bool IsIdAndIdInTable(TpFbQuery* IBQ, int id1, int id2, const QString& tabela,
                                 const QString& fieldid1, const QString& fieldid2);
    static bool IsTxtInTable(TpFbQuery* IBQ, const QString& tabela, const QString& sx,
                             const QString& fieldsx);

    // Unguarded: failures reach the caller as the database layer's exceptions.
    static int GetMaxId(TpFbQuery* IBQ, const QString& tabela);
    static QString GetStrOnID(TpFbQuery* IBQ, int id, const QString& field, const QString& tabela);
    static QString GetStrOnIDEx(TpFbQuery* IBQ, int id, const QString& tabela, const QString& field,
                                const QString& fieldid);

    // Writing routines commit; on failure they roll back and give false.
    static bool UpdateString(TpFbQuery* IBQ, int idd, const QString& txt, const QString& tabela,
                             const QString& pole);
    static bool UpdateStringOnId(TpFbQuery* IBQ, int idd, const QString& txt, const QString& tabela,
                                 const QString& pole, const QString& poleid);
    static bool UpdateInt(TpFbQuery* IBQ, int idd, const QString& tabela, const QString& fieldstr, int x);
    static bool UpdateTime(TpFbQuery* IBQ, int idd, const QString& tabela, const QString& fieldstr,
                           TDateTime x);
    static bool UpdateFloat(TpFbQuery* IBQ, int idd, double x, const QString& tabela,
                            const QString& fieldnum);
    static bool UpdateNumWithData(TpFbQuery* IBQ, int idd, double x, const QString& tabela,
                                  const QString& fieldnum, const QString& fielddata);
    // Writes 0 over a value that is not 0 and 1 over 0; false (nothing written) when no row.
    static bool InverseValue(TpFbQuery* IBQ, int idd, const QString& tabela, const QString& fieldstr);
    static bool InsertStringAndInteger(TpFbQuery* IBQ, int idd, const QString& txt, const QString& tabela,
                                       const QString& fieldstr, const QString& fieldid);
    static bool InsertIntegerAndInteger(TpFbQuery* IBQ, int id1, int id2, const QString& tabela,
                                        const QString& fieldid1, const QString& fieldid2);
    static bool DeleteRecords(TpFbQuery* IBQ, int idd, const QString& tabela);
    static bool DeleteRecordsEx(TpFbQuery* IBQ, int idd, const QString& tabela, const QString& id_field);
    static bool DeleteRecordsIdId(TpFbQuery* IBQ, int id1, int id2, const QString& tabela,
                                  const QString& id_field1, const QString& id_field2);
    // The blob of the row is appended to s at its position.
    static bool GetBlob(TpFbQuery* IBQ, int id, const QString& tabela, const QString& fieldblob,
                        QIODevice& s);
    // The whole content of s is written.
    static bool UpdateBlob(TpFbQuery* IBQ, int id, const QString& tabela, const QString& fieldblob,
                           QIODevice& s);
    static bool UpdateBlobRTF(TpFbQuery* IBQ, int id, const QString& tabela, const QString& fieldblob,
                              const platform::TStringList& aLines);
    static bool CommandSQL(TpFbQuery* IBQ, const QString& txt);
    static bool CommandSQL_ID(TpFbQuery* IBQ, const QString& txt, int idd);

    static int SQLBool(bool B) { return B ? 1 : 0; }
    static bool SQLBool(int B) { return B != 0; }
    // s with every occurrence of pr, in any letter case, replaced by the decimal text of v.
    static QString SQL_SR(const QString& s, int v, const QString& pr);

    static void DefaultsDataSet(TpFbDataSet* IBds);
    // Moves to the row whose column ID is idd; when there is none the current row stays.
    static bool LocateTable(TDataSet* IBds, int idd);
    static bool fieldExists(TDataSet* ds, const QString& fname);
    // 0x00BBGGRR colour of an edit showing a search: white when empty, green when found, red when not.
    static uint32_t FiltrEditColorValue(int rcount, const QString& text);
    static void FiltrEditColor(int rcount, QLineEdit* ed);
};

} // namespace quorvel
