#include "report/PdfFile.h"

#include "platform/files/AtomicWrite.h"
#include "platform/files/FileError.h"

#include <QPageLayout>
#include <QPdfWriter>
#include <QSaveFile>

namespace PdfFile {

Result write(const QString& path, const QString& title, const Painter& paint) {
    const auto failure = [&](const QString& reason) {
        return Result::failure(QStringLiteral("Impossibile salvare il PDF «%1»: %2.").arg(path, reason));
    };
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failure(FileError::describe(file));
    Result painted = Result::success();
    {
        QPdfWriter writer(&file);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
        writer.setResolution(1200);
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("VELMORA"));
        painted = paint(writer);
    }
    if (!painted) {
        // Stopped or failed: an earlier file of that name stays as it was.
        file.cancelWriting();
        return painted;
    }
    if (const std::optional<QString> reason = AtomicWrite::commit(file, true))
        return failure(*reason);
    return Result::success();
}

} // namespace PdfFile
