#include "AtomicWrite.h"

#include "FileCopy.h"

namespace AtomicWrite {

std::optional<QString> commit(QSaveFile& file, bool allWritten) {
    if (!allWritten || !file.flush() || file.error() != QFileDevice::NoError) {
        const QFileDevice::FileError error = file.error();
        const QString reason = FileCopy::describe(error == QFileDevice::NoError ? QFileDevice::WriteError : error);
        file.cancelWriting();
        file.commit();  // discards the temporary file
        return reason;
    }
    if (!file.commit())
        return FileCopy::describe(file.error());
    return std::nullopt;
}

} // namespace AtomicWrite
