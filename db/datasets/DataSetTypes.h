#pragma once
// Enumerations of the generic data set framework.

#include <QFlags>

enum class TDataSetState {
    dsInactive,
    dsBrowse,
    dsEdit,
    dsInsert,
    dsSetKey,
    dsCalcFields,
    dsFilter,
    dsNewValue,
    dsOldValue,
    dsCurValue,
    dsBlockRead,
    dsInternalCalc,
    dsOpening
};

enum class TFieldType {
    ftUnknown,
    ftString,
    ftSmallint,
    ftInteger,
    ftWord,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftBytes,
    ftVarBytes,
    ftAutoInc,
    ftBlob,
    ftMemo,
    ftGraphic,
    ftFmtMemo,
    ftParadoxOle,
    ftDBaseOle,
    ftTypedBinary,
    ftWideString,
    ftLargeint,
    ftGuid,
    ftWideMemo
};

enum class TFieldKind { fkData, fkCalculated, fkLookup, fkInternalCalc, fkAggregate };

// Answer of a row fetch.
enum class TGetResult { grOK, grBOF, grEOF, grError };
enum class TGetMode { gmCurrent, gmNext, gmPrior };

// What OnGetRecordError decides: TDataAction (daFail, daAbort, daRetry), shared with the statements.
#include "db/statements/pFbQuery.h"

// Bookmark flag of a row buffer (byte 4).
enum class TBookmarkFlag : unsigned char { bfCurrent = 0, bfBOF = 1, bfEOF = 2, bfInserted = 3 };
