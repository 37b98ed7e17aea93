#include "data/folder/SettingsFile.h"

#include "platform/files/AtomicWrite.h"
#include "platform/files/FileError.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

namespace {

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

bool isLineEnd(QChar c) {
    return c == QLatin1Char('\r') || c == QLatin1Char('\n');
}

// Moves past one line end (CR LF, LF or CR) at `pos`, if there is one.
qsizetype skipLineEnd(const QString& text, qsizetype pos) {
    if (pos < text.size() && text.at(pos) == QLatin1Char('\r'))
        ++pos;
    if (pos < text.size() && text.at(pos) == QLatin1Char('\n'))
        ++pos;
    return pos;
}

// Windows-1252 differs from Latin-1 only in 0x80-0x9F; the five unused codes map to themselves.
constexpr char16_t cp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                     0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

QString SettingsFile::decode(const QByteArray& bytes) {
    // Only the byte order mark at the very start of the file is one (the decoder drops
    // it); a U+FEFF after it belongs to the first value.
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;

    static const QByteArray bom("\xEF\xBB\xBF");
    const QByteArrayView rest =
        bytes.startsWith(bom) ? QByteArrayView(bytes).sliced(bom.size()) : QByteArrayView(bytes);
    return decodeWindows1252(rest.toByteArray());
}

QString SettingsFile::decodeWindows1252(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        text.append(code >= 0x80 && code < 0xA0 ? QChar(cp1252High[code - 0x80]) : QChar(code));
    }
    return text;
}

QStringList SettingsFile::parse(const QString& text, int count) {
    QStringList values;
    qsizetype pos = 0;
    while (values.size() < count && pos < text.size()) {
        while (pos < text.size() && isBlank(text.at(pos)))
            ++pos;

        QString value;
        if (pos < text.size() && text.at(pos) == QLatin1Char('"')) {
            ++pos;
            while (pos < text.size() && !isLineEnd(text.at(pos))) {
                if (text.at(pos) == QLatin1Char('"')) {
                    // A doubled quote inside a quoted value stands for one quote.
                    if (pos + 1 < text.size() && text.at(pos + 1) == QLatin1Char('"')) {
                        value.append(QLatin1Char('"'));
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                value.append(text.at(pos++));
            }
            // Whatever follows the closing quote up to the next separator is not part of the value.
            while (pos < text.size() && text.at(pos) != QLatin1Char(',') && !isLineEnd(text.at(pos)))
                ++pos;
        } else {
            const qsizetype start = pos;
            while (pos < text.size() && text.at(pos) != QLatin1Char(',') && !isLineEnd(text.at(pos)))
                ++pos;
            value = text.mid(start, pos - start);
        }

        if (pos < text.size() && text.at(pos) == QLatin1Char(','))
            ++pos;
        else
            pos = skipLineEnd(text, pos);
        values.append(value);
    }
    return values;
}

QString SettingsFile::encode(const QString& value) {
    QString line = value;
    // A value lives on one line: a line break would shift every later value.
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));

    const bool needsQuotes = line.contains(QLatin1Char(',')) ||
                             (!line.isEmpty() && (isBlank(line.front()) || line.front() == QLatin1Char('"')));
    if (!needsQuotes)
        return line;
    line.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + line + QLatin1Char('"');
}

SettingsFile::Values SettingsFile::read(const QString& path, int count) {
    Values result;
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return result;
    result.found = true;
    result.values = parse(decode(file.readAll()), count);
    return result;
}

Result SettingsFile::write(const QString& path, const QStringList& values) {
    const auto failure = [&](const QString& reason) {
        return Result::failure(QStringLiteral("Impossibile salvare il file «%1»: %2.").arg(path, reason));
    };

    QString text;
    for (const QString& value : values)
        text += encode(value) + QStringLiteral("\r\n");
    // A first value that begins with U+FEFF would be read as a byte order mark: a real
    // mark before it keeps it.
    if (text.startsWith(QChar(0xFEFF)))
        text.prepend(QChar(0xFEFF));

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failure(FileError::describe(file));
    const QByteArray bytes = text.toUtf8();
    const bool allWritten = file.write(bytes) == bytes.size();
    if (const std::optional<QString> reason = AtomicWrite::commit(file, allWritten))
        return failure(*reason);
    return Result::success();
}
