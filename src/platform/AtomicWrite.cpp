#include "AtomicWrite.h"

#include "FileCopy.h"

namespace AtomicWrite {

std::optional<QString> commit(QSaveFile& file) {
    if (!file.flush() || file.error() != QFileDevice::NoError) {
        const QString reason = FileCopy::describe(file.error());
        file.cancelWriting();
        file.commit();  // discards the temporary file
        return reason;
    }
    if (!file.commit())
        return FileCopy::describe(file.error());
    return std::nullopt;
}

} // namespace AtomicWrite
