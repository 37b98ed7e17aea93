#include "platform/files/AtomicWrite.h"

#include "platform/files/FileError.h"

namespace AtomicWrite {

std::optional<QString> commit(QSaveFile& file, bool allWritten) {
    if (!allWritten || !file.flush() || file.error() != QFileDevice::NoError) {
        const QString reason = file.error() == QFileDevice::NoError ? FileError::describe(QFileDevice::WriteError)
                                                                    : FileError::describe(file);
        file.cancelWriting();
        file.commit();  // discards the temporary file
        return reason;
    }
    if (!file.commit())
        return FileError::describe(file);
    return std::nullopt;
}

} // namespace AtomicWrite
