// The settings files. Any bytes read as a file give at most the values asked for and
// never crash; any list of values (the input cut at zero bytes) written with the
// program's own writer reads back exactly, line breaks inside a value becoming blanks.

#include "FuzzCheck.h"
#include "data/folder/SettingsFile.h"

#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static QTemporaryDir folder(Fuzz::scratchRoot() + QStringLiteral("/velmora-fuzz-XXXXXX"));
    const QByteArray bytes = Fuzz::bytes(data, size);

    // Reading whatever lies in a file.
    const QString path = folder.filePath(QStringLiteral("letto.ini"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
            fuzzFailure("the scratch file is written", path);
    }
    for (const int count : {1, 4, 9}) {
        const SettingsFile::Values read = SettingsFile::read(path, count);
        FUZZ_CHECK(read.found && read.values.size() <= count, QString::fromUtf8(bytes.toHex()));
    }

    // Writing values and reading them back.
    const QStringList values = Fuzz::texts(data, size, 9).first(std::min<qsizetype>(9, bytes.count('\0') + 1));
    const QString saved = folder.filePath(QStringLiteral("scritto.ini"));
    const Result written = SettingsFile::write(saved, values);
    FUZZ_CHECK(written.ok(), written.message());
    const SettingsFile::Values back = SettingsFile::read(saved, static_cast<int>(values.size()));
    QStringList expected;
    for (QString value : std::as_const(values)) {
        value.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        value.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        expected << value;
    }
    FUZZ_CHECK(back.values == expected, QStringLiteral("wrote «%1»\nread «%2»")
                                            .arg(expected.join(QStringLiteral("» «")), back.values.join(QStringLiteral("» «"))));
    return 0;
}
