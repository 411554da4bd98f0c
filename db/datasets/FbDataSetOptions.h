#pragma once
// Option sets and small settings of the select data set.

#include <QFlags>

enum class TpFbDsOption : unsigned {
    poTrimCharFields = 1u << 0,
    poRefreshAfterPost = 1u << 1,
    poRefreshDeletedRecord = 1u << 2,
    poStartTransaction = 1u << 3,
    poAutoFormatFields = 1u << 4,
    poProtectedEdit = 1u << 5,
    poUseSelectForLock = 1u << 6,
    poKeepSorting = 1u << 7,
    poPersistentSorting = 1u << 8,
    poVisibleRecno = 1u << 9,
    poNoForceIsNull = 1u << 10,
    poFetchAll = 1u << 11,
    poFreeHandlesAfterClose = 1u << 12,
    poCacheCalcFields = 1u << 13,
    poRefreshAfterDelete = 1u << 14,
    poDontCloseAfterEndTransaction = 1u << 15
};
Q_DECLARE_FLAGS(TpFbDsOptions, TpFbDsOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TpFbDsOptions)

enum class TpPrepareOption : unsigned {
    pfSetRequiredFields = 1u << 0,
    pfSetReadOnlyFields = 1u << 1,
    pfImportDefaultValues = 1u << 2,
    psUseBooleanField = 1u << 3,
    psUseGuidField = 1u << 4,
    psSQLINT64ToBCD = 1u << 5,
    psApplyRepositary = 1u << 6,
    psGetOrderInfo = 1u << 7,
    psAskRecordCount = 1u << 8,
    psCanEditComputedFields = 1u << 9,
    psSetEmptyStrToNull = 1u << 10,
    psSupportUnicodeBlobs = 1u << 11,
    psUseLargeIntField = 1u << 12
};
Q_DECLARE_FLAGS(TpPrepareOptions, TpPrepareOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TpPrepareOptions)

inline TpFbDsOptions DefaultDsOptions() {
    return TpFbDsOptions(TpFbDsOption::poTrimCharFields) | TpFbDsOption::poRefreshAfterPost |
           TpFbDsOption::poStartTransaction | TpFbDsOption::poAutoFormatFields;
}
inline TpPrepareOptions DefaultPrepareOptions() {
    return TpPrepareOptions(TpPrepareOption::pfImportDefaultValues) | TpPrepareOption::psUseBooleanField |
           TpPrepareOption::psGetOrderInfo | TpPrepareOption::psSetEmptyStrToNull;
}

enum class TCacheModelKind { cmkStandard, cmkLimitedBufferSize };

struct TCacheModelOptions {
    TCacheModelKind CacheModelKind = TCacheModelKind::cmkStandard;
    int BufferChunks = 32;
    bool PlanForDescSQLs = false;
    int BlobCacheLimit = 0;
};

enum class TDetailCondition : unsigned {
    dcForceOpen = 1,
    dcIgnoreMasterClose = 2,
    dcForceMasterRefresh = 4,
    dcWaitEndMasterScroll = 8
};
Q_DECLARE_FLAGS(TDetailConditions, TDetailCondition)

enum class TFieldOriginRule {
    forNoRule,
    forTableAndFieldName,
    forClientFieldName,
    forTableAliasAndFieldName
};
enum class TTransactionKind { tkReadTransaction, tkUpdateTransaction };

enum class TFilterOption : unsigned { foCaseInsensitive = 1, foNoPartialCompare = 2 };
Q_DECLARE_FLAGS(TFilterOptions, TFilterOption)

enum class TCachedUpdateStatusFlag : unsigned {
    cusUnmodified = 1,
    cusModified = 2,
    cusInserted = 4,
    cusDeleted = 8,
    cusUninserted = 16,
    cusDeletedApplied = 32
};
Q_DECLARE_FLAGS(TCachedUpdateStatusSet, TCachedUpdateStatusFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(TCachedUpdateStatusSet)
inline TCachedUpdateStatusSet DefaultUpdateRecordTypes() {
    return TCachedUpdateStatusSet(TCachedUpdateStatusFlag::cusUnmodified) |
           TCachedUpdateStatusFlag::cusModified | TCachedUpdateStatusFlag::cusInserted;
}

enum class TDataSetRunStateValue : unsigned {
    drsInCacheRefresh = 1u << 0,
    drsInSort = 1u << 1,
    drsInOpenByTimer = 1u << 2,
    drsInFilterProc = 1u << 3,
    drsInGetRecordProc = 1u << 4,
    drsInGotoBookMark = 1u << 5,
    drsInClone = 1u << 6,
    drsInApplyUpdates = 1u << 7,
    drsInRefreshClientFields = 1u << 8,
    drsDontCheckInactive = 1u << 9,
    drsForceCreateCalcFields = 1u << 10,
    drsInRefreshRow = 1u << 11,
    drsInMoveRecord = 1u << 12,
    drsInCacheDelete = 1u << 13,
    drsInFetchingAll = 1u << 14,
    drsInLoaded = 1u << 15,
    drsGetBlobStream = 1u << 16,
    drsInLoadFromStream = 1u << 17
};
Q_DECLARE_FLAGS(TDataSetRunState, TDataSetRunStateValue)
Q_DECLARE_OPERATORS_FOR_FLAGS(TDataSetRunState)
