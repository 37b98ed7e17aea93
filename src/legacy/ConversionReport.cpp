#include "legacy/ConversionReport.h"

#include "platform/files/AtomicWrite.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>

namespace {

QString count(qint64 n) { return QLocale(QLocale::Italian, QLocale::Italy).toString(n); }

void section(QStringList& lines, const QString& title, const QStringList& items) {
    if (items.isEmpty())
        return;
    lines << QString() << title;
    for (const QString& item : items)
        lines << QStringLiteral("  - ") + item;
}

} // namespace

bool ConversionReport::anythingListed() const {
    return !missingTables.isEmpty() || !extraTables.isEmpty() || !missingFields.isEmpty() || !extraFields.isEmpty() ||
           !values.isEmpty() || !photosMissing.isEmpty();
}

QString ConversionReport::text() const { return text(-1); }

QString ConversionReport::text(int maxValues) const {
    QStringList lines;
    lines << QStringLiteral("Trasferimento dal vecchio archivio «%1» (%2)").arg(QDir::toNativeSeparators(source), version)
          << QStringLiteral("nel database «%1».").arg(QDir::toNativeSeparators(target));
    lines << QString() << QStringLiteral("Righe copiate:");
    for (const auto& [table, copied] : rows)
        lines << QStringLiteral("  %1: %2").arg(table, count(copied));
    section(lines, QStringLiteral("Tabelle che il vecchio archivio non ha (lasciate vuote):"), missingTables);
    section(lines, QStringLiteral("Tabelle in più del vecchio archivio (non copiate):"), extraTables);
    section(lines, QStringLiteral("Campi che il vecchio archivio non ha (lasciati vuoti):"), missingFields);
    section(lines, QStringLiteral("Campi in più del vecchio archivio (non copiati):"), extraFields);

    const auto limited = [&](const QStringList& all) {
        if (maxValues < 0 || all.size() <= maxValues)
            return all;
        QStringList some = all.mid(0, maxValues);
        some << QStringLiteral("… e altri %1 (l'elenco intero è nel rapporto scritto)").arg(count(all.size() - maxValues));
        return some;
    };
    QStringList listed;
    for (const Listed& one : values)
        listed << QStringLiteral("%1, %2, campo «%3»: «%4» %5").arg(one.table, one.row, one.field, one.value, one.why);
    section(lines, QStringLiteral("Valori tenuti come testo o messi altrove (%1):").arg(count(values.size())),
            limited(listed));

    lines << QString() << QStringLiteral("Foto trovate: %1; non trovate: %2.")
                              .arg(count(photosFound), count(photosMissing.size()));
    QStringList missing;
    for (const QString& photo : photosMissing)
        missing << QDir::toNativeSeparators(photo);
    section(lines, QStringLiteral("Foto non trovate (il percorso resta com'era):"), limited(missing));
    section(lines, QStringLiteral("Inoltre:"), notes);
    lines << QString()
          << (anythingListed() ? QStringLiteral("Qualcosa è stato elencato qui sopra: nulla è andato perso, ma va guardato.")
                               : QStringLiteral("Tutto è stato copiato così com'era."));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString ConversionReport::pathFor(const QString& target) {
    const QFileInfo info(target);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral("-trasferimento.txt"));
}

Result ConversionReport::write(QString* written) const {
    const QString path = pathFor(target);
    QSaveFile file(path);
    const QByteArray bytes = text().toUtf8();
    const bool allWritten = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    if (const auto why = AtomicWrite::commit(file, allWritten))
        return Result::failure(
            QStringLiteral("Il rapporto «%1» non si può scrivere: %2.").arg(QDir::toNativeSeparators(path), *why));
    if (written)
        *written = path;
    return Result::success();
}
