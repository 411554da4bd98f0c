#pragma once
// Pure pieces of the counter update run: the statement texts, the 32-bit addition and the texts
// the run logs.

#include <QString>
#include <cstdint>
#include <exception>

namespace updaterun {

inline const QString kMouldListSQL = QStringLiteral(
    "select id,nazwa,kod1,counter,countmode,id_vorek from  formy where  countmode=1  and id_vorek<>0");
inline const QString kCycleSumSQL =
    QStringLiteral("select sum( t.cx ) as scykli from tools_data t    where t.id_t=:tid");
inline const QString kCounterUpdateSQL1 =
    QStringLiteral("UPDATE formy set counter=:counter, counttch=:counttch  ");
inline const QString kCounterUpdateSQL2 = QStringLiteral("WHERE id = :id");
inline const QString kHistorySQL = QStringLiteral("Insert into FORMY_LICZNIKI (id_f,stan,ostan,opis,id_p,lm  "
                                                  " ) Values ( :id_f,:stan,:ostan,:opis,:id_p,:lm )");

// 32-bit signed addition that wraps around, as the counters always have, without overflow.
inline int32_t AddWrapping(int32_t a, int32_t b) {
    return int32_t(uint32_t(a) + uint32_t(b));
}

// "+ {delta}" for a non-zero correction, empty otherwise.
QString DeltaText(int delta);

// The message as one log line: line breaks and other control characters it holds (a mould's name
// comes from the database) are shown as "\r", "\n", "\x1B", "\u2028".
QString OneLine(const QString& message);

// The first line of a failure's message: for a database error the server's text, else the message.
QString FailureLine(const std::exception& e);

// Why a run stopped, called while its exception is being handled: the termination request or time
// limit, else the failure's first line.
QString StopReason();

} // namespace updaterun
