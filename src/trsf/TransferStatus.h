#pragma once

namespace zuzezi_zid {

// CANCELED, FAILED, COMPLETED and ABORTED are final. RETRY_ON_BACKUP_DOMAIN is
// not: it asks the asynchronous task for a second pass on the backup domain.
enum TransferStatus {
    NOT_START = 0,
    IN_PROGRESS = 1,
    CANCELED = 2,
    FAILED = 3,
    COMPLETED = 4,
    RETRY_ON_BACKUP_DOMAIN = 5,
    ABORTED = 6,
};

}  // namespace zuzezi_zid
