#include "platform/AtomicWrite.h"

#include "platform/FileCopy.h"

namespace AtomicWrite {

std::optional<QString> commit(QSaveFile& file, bool allWritten) {
    if (!allWritten || !file.flush() || file.error() != QFileDevice::NoError) {
        const QString reason = file.error() == QFileDevice::NoError ? FileCopy::describe(QFileDevice::WriteError)
                                                                    : FileCopy::describe(file);
        file.cancelWriting();
        file.commit();  // discards the temporary file
        return reason;
    }
    if (!file.commit())
        return FileCopy::describe(file);
    return std::nullopt;
}

} // namespace AtomicWrite
