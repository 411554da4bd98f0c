// Random navigation compared step by step with a plain model of the rows, over tables whose sizes
// sit around the cache's chunk of 32 rows. Repeatable: TARVELO_SEED chooses the seed, which every
// failure prints.
#include "DataSetTestSupport.h"

#include <QRandomGenerator>
#include <algorithm>

namespace {

// What the data set should show: position, flags and rows fetched so far.
struct TNavigationModel {
    int Rows = 0;
    bool Open = false;
    int Pos = -1;
    bool Bof = true, Eof = true;
    int Fetched = 0;

    void See(int pos) { Fetched = std::max(Fetched, pos + 1); }
    void DoOpen() {
        Open = true;
        Fetched = 0;
        First();
    }
    void First() {
        Pos = Rows ? 0 : -1;
        Bof = true;
        Eof = Rows == 0;
        See(Pos);
    }
    void Last() {
        Pos = Rows - 1;
        Bof = Rows == 0;
        Eof = true;
        Fetched = Rows;
    }
    int MoveBy(int distance) {
        int moved = 0;
        if ((distance > 0 && !Eof) || (distance < 0 && !Bof)) {
            Bof = Eof = false;
            for (; distance > 0; --distance, ++moved) {
                if (Pos == Rows - 1) {
                    Eof = true;
                    Fetched = Rows;
                    break;
                }
                See(++Pos);
            }
            for (; distance < 0; ++distance, --moved) {
                if (Pos == 0) {
                    Bof = true;
                    break;
                }
                --Pos;
            }
        }
        return moved;
    }
};

class DataSetModel : public DataSetTest {
protected:
    static QString Name(int id) { return QStringLiteral("Wiersz %1 żółć").arg(id); }
    static QString Code(int id) { return QStringLiteral("K%1").arg(id % 97); }

    void Check(const TNavigationModel& m, const QString& step) {
        SCOPED_TRACE(step.toStdString());
        ASSERT_EQ(Ds->Active(), m.Open);
        if (!m.Open) return;
        ASSERT_EQ(Ds->Bof(), m.Bof);
        ASSERT_EQ(Ds->Eof(), m.Eof);
        ASSERT_EQ(Ds->RecordCount(), m.Fetched);
        if (m.Pos < 0) {
            ASSERT_TRUE(Ds->FieldByName(QStringLiteral("id")).IsNull());
            return;
        }
        const int id = m.Pos + 1;
        ASSERT_EQ(Ds->FieldByName(QStringLiteral("id")).AsInteger(), id);
        ASSERT_EQ(Ds->FieldByName(QStringLiteral("name")).AsString(), Name(id));
        ASSERT_EQ(Ds->FieldByName(QStringLiteral("code")).AsString(), Code(id));
        if (id % 7 == 0)
            ASSERT_TRUE(Ds->FieldByName(QStringLiteral("amount")).IsNull());
        else
            ASSERT_NEAR(Ds->FieldByName(QStringLiteral("amount")).AsFloat(), id / 100.0, 1e-9);
    }
};

} // namespace

TEST_F(DataSetModel, RandomNavigationMatchesThePlainModel) {
    QString script =
        QStringLiteral("create table rows_all (id integer not null primary key, name varchar(40), "
                       "code char(4), amount numeric(9,2));\n"
                       "set term ^ ;\n"
                       "execute block as declare i integer = 1; begin while (i <= 10000) do begin "
                       "insert into rows_all values (:i, 'Wiersz ' || :i || ' żółć', 'K' || mod(:i, 97), "
                       "iif(mod(:i, 7) = 0, null, :i / 100.00)); i = i + 1; end end^\n"
                       "set term ; ^\n");
    MakeDataSet(MakeDatabase(QStringLiteral("pFbDatabaseFormy"), QStringLiteral("rows.fdb"), script));

    const quint32 seed = qEnvironmentVariableIsSet("TARVELO_SEED")
                             ? quint32(qEnvironmentVariableIntValue("TARVELO_SEED"))
                             : 20261209u;
    SCOPED_TRACE("seed " + std::to_string(seed) + " (rerun with TARVELO_SEED)");
    QRandomGenerator random(seed);
    for (int rows : {0, 1, 31, 32, 33, 10000}) {
        if (Ds->Active()) Ds->Close();
        SetSelect(QStringLiteral("select id, name, code, amount from rows_all where id <= %1 order by id")
                      .arg(rows));
        TNavigationModel m;
        m.Rows = rows;
        const int sequences = rows == 10000 ? 40 : 300;
        for (int sequence = 0; sequence < sequences; ++sequence) {
            if (!m.Open) {
                Ds->Open();
                m.DoOpen();
            }
            for (int step = 0; step < 12; ++step) {
                const int op = int(random.bounded(100));
                QString what;
                if (op < 25) {
                    what = QStringLiteral("Next");
                    Ds->Next();
                    m.MoveBy(1);
                } else if (op < 43) {
                    what = QStringLiteral("Prior");
                    Ds->Prior();
                    m.MoveBy(-1);
                } else if (op < 53) {
                    what = QStringLiteral("First");
                    Ds->First();
                    m.First();
                } else if (op < 58) {
                    what = QStringLiteral("Last");
                    Ds->Last();
                    m.Last();
                } else if (op < 85) {
                    const int span = random.bounded(4) == 0 ? 2 * std::max(rows, 1) : 40;
                    const int distance = int(random.bounded(2 * span + 1)) - span;
                    what = QStringLiteral("MoveBy(%1)").arg(distance);
                    const int moved = Ds->MoveBy(distance);
                    ASSERT_EQ(moved, m.MoveBy(distance)) << what.toStdString() << " seed " << seed;
                } else if (op < 90) {
                    what = QStringLiteral("FetchAll");
                    Ds->FetchAll();
                    m.Fetched = rows;
                } else if (op < 95) {
                    what = QStringLiteral("Close+Open");
                    Ds->Close();
                    m.Open = false;
                    Check(m, what);
                    Ds->Open();
                    m.DoOpen();
                } else {
                    what = QStringLiteral("Close");
                    Ds->Close();
                    m.Open = false;
                    Check(m, QStringLiteral("rows %1, sequence %2, step %3: %4")
                                 .arg(rows)
                                 .arg(sequence)
                                 .arg(step)
                                 .arg(what));
                    break;
                }
                Check(m, QStringLiteral("rows %1, sequence %2, step %3: %4")
                             .arg(rows)
                             .arg(sequence)
                             .arg(step)
                             .arg(what));
                if (HasFatalFailure()) return;
            }
            if (HasFatalFailure()) return;
        }
    }
}
