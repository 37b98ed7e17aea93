#include "legacy/JetFile.h"

#include "data/folder/SettingsFile.h"
#include "platform/files/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <cstring>
#include <mdbtools.h>

// libmdb is the only reader of the file's pages; this file alone speaks its language.
struct JetFile::Handle {
    MdbHandle* mdb = nullptr;
    ~Handle() {
        if (mdb)
            mdb_close(mdb);
    }
};

namespace {

constexpr int headerSize = 0x18;
constexpr int memoOverhead = 12;

QString refusal(const QString& path, const QString& why) {
    return QStringLiteral("Il file «%1» non si può leggere come archivio Access: %2.")
        .arg(QDir::toNativeSeparators(path), why);
}

// The header's version byte: 0 Jet 3 (pages of 2 kB), 1 Jet 4, 2 and more ACE (4 kB).
std::optional<int> headerVersion(const QByteArray& header) {
    if (header.size() < headerSize || !header.startsWith(QByteArray("\x00\x01\x00\x00", 4)))
        return std::nullopt;
    const QByteArray kind = header.mid(4, 15);
    if (kind != "Standard Jet DB" && kind != "Standard ACE DB")
        return std::nullopt;
    return qFromLittleEndian<quint32>(header.constData() + 0x14);
}

QString typeName(int type) {
    switch (type) {
    case MDB_BOOL: return QStringLiteral("Sì/No");
    case MDB_BYTE: return QStringLiteral("Byte");
    case MDB_INT: return QStringLiteral("Intero");
    case MDB_LONGINT: return QStringLiteral("Intero lungo");
    case MDB_MONEY: return QStringLiteral("Valuta");
    case MDB_FLOAT: return QStringLiteral("Precisione singola");
    case MDB_DOUBLE: return QStringLiteral("Precisione doppia");
    case MDB_DATETIME: return QStringLiteral("Data/ora");
    case MDB_BINARY: return QStringLiteral("Binario");
    case MDB_TEXT: return QStringLiteral("Testo");
    case MDB_OLE: return QStringLiteral("Oggetto OLE");
    case MDB_MEMO: return QStringLiteral("Memo");
    case MDB_REPID: return QStringLiteral("ID replica");
    case MDB_NUMERIC: return QStringLiteral("Decimale");
    default: return QStringLiteral("tipo %1").arg(type);
    }
}

// Text as Jet 4 keeps it: UTF-16, or "compressed" (FF FE, then runs of one byte a
// character, a zero byte switching between one and two bytes a character). Jet 3 keeps
// the 8-bit code page, Windows-1252 in the offices this program serves.
QString decodeText(const QByteArray& bytes, bool jet3) {
    if (jet3)
        return SettingsFile::decodeWindows1252(bytes);
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype size = bytes.size();
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        QString text(size, Qt::Uninitialized);
        QChar* out = text.data();
        qsizetype length = 0;
        bool compressed = true;
        for (qsizetype i = 2; i < size;) {
            if (data[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                out[length++] = QChar(data[i++]);
            } else if (i + 1 < size) {
                out[length++] = QChar(char16_t(data[i] | (data[i + 1] << 8)));
                i += 2;
            } else {
                break;
            }
        }
        text.truncate(length);
        return text;
    }
    QString text(size / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i + 1 < size; i += 2)
        text[i / 2] = QChar(char16_t(data[i] | (data[i + 1] << 8)));
    return text;
}

// The bytes of a long value (Memo, OLE): kept in the row when short, otherwise in a
// chain of rows on other pages. Empty with `ok` false when the chain cannot be followed.
QByteArray longValue(MdbHandle* mdb, const unsigned char* field, int size, bool& ok) {
    ok = true;
    if (size < memoOverhead)
        return {};
    const quint32 header = qFromLittleEndian<quint32>(field);
    const quint32 length = header & 0x3FFFFFFF;
    if (header & 0x80000000)
        return QByteArray(reinterpret_cast<const char*>(field + memoOverhead), size - memoOverhead);
    qint32 pageRow = qFromLittleEndian<qint32>(field + 4);
    void* page = nullptr;
    int start = 0;
    size_t rowLength = 0;
    if (header & 0x40000000) {
        if (mdb_find_pg_row(mdb, pageRow, &page, &start, &rowLength) != 0) {
            ok = false;
            return {};
        }
        return QByteArray(static_cast<const char*>(page) + start, qsizetype(std::min<size_t>(rowLength, length)));
    }
    if (header & 0xFF000000) {
        ok = false;
        return {};
    }
    QByteArray bytes;
    // A chain that loops or runs past the stated length is damage, not a longer memo.
    for (int hops = 0; pageRow != 0 && bytes.size() < qsizetype(length); ++hops) {
        if (hops > 1 << 20 || mdb_find_pg_row(mdb, pageRow, &page, &start, &rowLength) != 0 || rowLength < 4) {
            ok = false;
            return {};
        }
        const auto* row = static_cast<const unsigned char*>(page) + start;
        bytes.append(reinterpret_cast<const char*>(row + 4), qsizetype(rowLength - 4));
        pageRow = qFromLittleEndian<qint32>(row);
    }
    if (bytes.size() < qsizetype(length)) {
        ok = false;
        return {};
    }
    bytes.truncate(length);
    return bytes;
}

// The catalog entry of a table (other objects, a form for one, may share its name).
MdbCatalogEntry* tableEntry(MdbHandle* mdb, const QByteArray& name) {
    for (unsigned int i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if ((entry->object_type == MDB_TABLE || entry->object_type == MDB_SYSTEM_TABLE) && name == entry->object_name)
            return entry;
    }
    return nullptr;
}

JetValue unreadable(const unsigned char* field, int size) {
    JetValue value;
    value.kind = JetValue::Kind::Unreadable;
    value.text = QStringLiteral("(valore illeggibile: %1)")
                     .arg(QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(field), size).toHex(' ')));
    return value;
}

JetValue valueOf(MdbHandle* mdb, const MdbColumn* column, const MdbField& field, bool jet3) {
    JetValue value;
    using Kind = JetValue::Kind;
    // A Yes/No keeps its value in the row's null mask: "null" there means No.
    if (column->col_type == MDB_BOOL) {
        value.kind = Kind::Bool;
        value.integer = field.is_null ? 0 : 1;
        return value;
    }
    if (field.is_null)
        return value;
    const auto* bytes = static_cast<const unsigned char*>(field.value);
    const int size = field.siz;
    const auto needs = [&](int wanted) { return size == wanted; };
    switch (column->col_type) {
    case MDB_BYTE:
        if (!needs(1))
            return unreadable(bytes, size);
        value.kind = Kind::Integer;
        value.integer = bytes[0];
        return value;
    case MDB_INT:
        if (!needs(2))
            return unreadable(bytes, size);
        value.kind = Kind::Integer;
        value.integer = qFromLittleEndian<qint16>(bytes);
        return value;
    case MDB_LONGINT:
    case MDB_COMPLEX:
        if (!needs(4))
            return unreadable(bytes, size);
        value.kind = Kind::Integer;
        value.integer = qFromLittleEndian<qint32>(bytes);
        return value;
    case MDB_MONEY:
        if (!needs(8))
            return unreadable(bytes, size);
        value.kind = Kind::Currency;
        value.integer = qFromLittleEndian<qint64>(bytes);
        return value;
    case MDB_FLOAT: {
        if (!needs(4))
            return unreadable(bytes, size);
        // The shortest decimal of the single, so 0.1 stays 0.1 rather than 0.100000001.
        const float single = qFromLittleEndian<float>(bytes);
        value.kind = Kind::Real;
        value.real = QString::number(single, 'g', QLocale::FloatingPointShortest).toDouble();
        return value;
    }
    case MDB_DOUBLE:
    case MDB_DATETIME:
        if (!needs(8))
            return unreadable(bytes, size);
        value.kind = column->col_type == MDB_DATETIME ? Kind::DateTime : Kind::Real;
        value.real = qFromLittleEndian<double>(bytes);
        return value;
    case MDB_NUMERIC: {
        if (!needs(17))
            return unreadable(bytes, size);
        const auto start = int(bytes - mdb->pg_buf);
        char* text = mdb_numeric_to_string(mdb, start, column->col_scale, column->col_prec);
        value.kind = Kind::Decimal;
        value.text = QString::fromUtf8(text);
        g_free(text);
        return value;
    }
    case MDB_TEXT:
        value.kind = Kind::Text;
        value.text = decodeText(QByteArray(reinterpret_cast<const char*>(bytes), size), jet3);
        return value;
    case MDB_MEMO:
    case MDB_OLE: {
        bool ok = true;
        const QByteArray stored = longValue(mdb, bytes, size, ok);
        if (!ok)
            return unreadable(bytes, size);
        if (column->col_type == MDB_OLE) {
            value.kind = Kind::Binary;
            value.bytes = stored;
        } else {
            value.kind = Kind::Text;
            value.text = decodeText(stored, jet3);
        }
        return value;
    }
    case MDB_REPID:
    case MDB_BINARY:
    default:
        value.kind = Kind::Binary;
        value.bytes = QByteArray(reinterpret_cast<const char*>(bytes), size);
        return value;
    }
}

} // namespace

JetFile::JetFile(const QString& path) : m_path(path), m_handle(std::make_unique<Handle>()) {}

JetFile::~JetFile() = default;

bool JetFile::looksLikeJet(const QString& path) {
    if (!RegularFile::problem(path).isEmpty())
        return false;
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && headerVersion(file.read(headerSize)).has_value();
}

Result JetFile::open(const QString& path, std::unique_ptr<JetFile>& file) {
    if (const QString problem = RegularFile::problem(path); !problem.isEmpty())
        return Result::failure(refusal(path, QStringLiteral("il file ") + problem));
    QFile raw(path);
    if (!raw.open(QIODevice::ReadOnly))
        return Result::failure(refusal(path, QStringLiteral("il file non si apre")));
    const auto version = headerVersion(raw.read(headerSize));
    if (!version)
        return Result::failure(refusal(path, QStringLiteral("non è un file di Access (Jet)")));
    // Every page is whole in a file Access wrote: a shorter last page is a cut copy.
    const qint64 pageSize = *version == 0 ? 2048 : 4096;
    if (raw.size() < 3 * pageSize || raw.size() % pageSize != 0)
        return Result::failure(refusal(path, QStringLiteral("il file è troncato (una copia interrotta?)")));
    raw.close();

    std::unique_ptr<JetFile> opened(new JetFile(path));
    MdbHandle* mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!mdb)
        return Result::failure(refusal(path, QStringLiteral("la sua intestazione è danneggiata")));
    opened->m_handle->mdb = mdb;
    // Long memos come whole; libmdb itself only converts what this class leaves to it.
    mdb_set_bind_size(mdb, 1 << 16);
    const QString damagedCatalog = refusal(path, QStringLiteral("il suo elenco delle tabelle è danneggiato"));
    if (!mdb_read_catalog(mdb, MDB_ANY))
        return Result::failure(damagedCatalog);
    // The list of objects says how many it holds: fewer read means pages are missing
    // (a copy cut at a page's end).
    MdbCatalogEntry* objects = tableEntry(mdb, "MSysObjects");
    MdbTableDef* catalog = objects ? mdb_read_table(objects) : nullptr;
    const bool whole = catalog && catalog->num_rows <= mdb->num_catalog;
    if (catalog)
        mdb_free_tabledef(catalog);
    if (!whole)
        return Result::failure(damagedCatalog);
    for (unsigned int i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type == MDB_TABLE && !mdb_is_system_table(entry))
            opened->m_tables << QString::fromUtf8(entry->object_name);
    }
    file = std::move(opened);
    return Result::success();
}

QString JetFile::version() const {
    switch (m_handle->mdb->f->jet_version) {
    case MDB_VER_JET3:
        return QStringLiteral("Jet 3");
    case MDB_VER_JET4:
        return QStringLiteral("Jet 4");
    default:
        return QStringLiteral("ACE (Access 2007 o successivo)");
    }
}

qint64 JetFile::rowCount(const QString& table) const {
    MdbCatalogEntry* entry = tableEntry(m_handle->mdb, table.toUtf8());
    if (!entry)
        return 0;
    MdbTableDef* definition = mdb_read_table(entry);
    if (!definition)
        return 0;
    const qint64 rows = definition->num_rows;
    mdb_free_tabledef(definition);
    return rows;
}

Result JetFile::read(const QString& table, const std::function<void(const QList<Column>&)>& columns,
                     const std::function<bool(const QList<JetValue>&)>& row) const {
    MdbHandle* mdb = m_handle->mdb;
    const auto damaged = [&](const QString& what) {
        return Result::failure(refusal(m_path, QStringLiteral("la tabella «%1» è danneggiata (%2)").arg(table, what)));
    };
    MdbCatalogEntry* entry = tableEntry(mdb, table.toUtf8());
    if (!entry)
        return damaged(QStringLiteral("non si trova"));
    std::unique_ptr<MdbTableDef, void (*)(MdbTableDef*)> definition(mdb_read_table(entry), mdb_free_tabledef);
    if (!definition || !mdb_read_columns(definition.get()))
        return damaged(QStringLiteral("la sua descrizione non si legge"));
    MdbTableDef* tdef = definition.get();
    const bool jet3 = mdb->f->jet_version == MDB_VER_JET3;

    QList<Column> described;
    for (unsigned int i = 0; i < tdef->num_cols; ++i) {
        const auto* column = static_cast<const MdbColumn*>(g_ptr_array_index(tdef->columns, i));
        described.append({QString::fromUtf8(column->name), typeName(column->col_type)});
    }
    columns(described);

    std::vector<MdbField> fields(std::max(1u, tdef->num_cols));
    QList<JetValue> values(tdef->num_cols);
    qint64 read = 0;
    mdb_rewind_table(tdef);
    while (mdb_fetch_row(tdef)) {
        // mdb_fetch_row found the row; crack it once more to learn which values are null
        // and where each one's bytes lie (it keeps that only for bound columns).
        int start = 0;
        size_t length = 0;
        if (mdb_find_row(mdb, int(tdef->cur_row) - 1, &start, &length) != 0)
            return damaged(QStringLiteral("una riga non si trova"));
        if (mdb_crack_row(tdef, start & 0x1FFF, length, fields.data()) < 0)
            return damaged(QStringLiteral("una riga non si legge"));
        for (unsigned int i = 0; i < tdef->num_cols; ++i) {
            const MdbField& field = fields[i];
            if (field.colnum < 0 || unsigned(field.colnum) >= tdef->num_cols)
                return damaged(QStringLiteral("una riga non si legge"));
            const auto* column = static_cast<const MdbColumn*>(g_ptr_array_index(tdef->columns, field.colnum));
            values[field.colnum] = valueOf(mdb, column, field, jet3);
        }
        ++read;
        if (!row(values))
            return Result::success();
    }
    // Pages that cannot be reached leave rows behind: the file says how many there are.
    if (read < qint64(tdef->num_rows))
        return damaged(QStringLiteral("si leggono %1 righe delle %2 che contiene").arg(read).arg(tdef->num_rows));
    return Result::success();
}
