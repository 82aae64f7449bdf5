/// @file
/// TransferStatus, the states of one transfer.
#pragma once

namespace zuzezi_zid {

/// State of one transfer. CANCELED, FAILED, COMPLETED and ABORTED are final: a waiter
/// wakes on them. RETRY_ON_BACKUP_DOMAIN is not: it asks the asynchronous task for a
/// second pass on the backup domain.
enum TransferStatus {
    NOT_START = 0,               ///< Created, not yet started.
    IN_PROGRESS = 1,             ///< Running.
    CANCELED = 2,                ///< A multipart upload stopped by a cancel request; final.
                                 ///< Other transfers that are cancelled end FAILED.
    FAILED = 3,                  ///< Ended with a failed result; final.
    COMPLETED = 4,               ///< Ended with a successful result; final.
    RETRY_ON_BACKUP_DOMAIN = 5,  ///< Failed on the default domain, to be run again on the
                                 ///< backup domain; not final.
    ABORTED = 6,                 ///< Final; the one final status that may follow another
                                 ///< (CANCELED). The library itself never sets it.
};

}  // namespace zuzezi_zid
