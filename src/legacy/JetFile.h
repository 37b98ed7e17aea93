#pragma once

#include "legacy/LegacyTables.h"

#include <memory>

// An Access/Jet database (.mdb of Jet 3 or Jet 4, .accdb where libmdb reads it), opened
// for reading only: the file is never written. Hostile files (truncated, pointers out of
// range, not a Jet file at all) are refused with one Italian sentence.
class JetFile : public LegacyTables {
public:
    ~JetFile() override;
    JetFile(const JetFile&) = delete;
    JetFile& operator=(const JetFile&) = delete;

    // Whether the file starts like a Jet or ACE database (how daba.ini's file is told apart
    // from the program's own SQLite database).
    static bool looksLikeJet(const QString& path);

    static Result open(const QString& path, std::unique_ptr<JetFile>& file);

    // "Jet 3", "Jet 4", "ACE (Access 2007 o successivo)".
    QString version() const override;
    // System tables left out.
    QStringList tables() const override { return m_tables; }
    qint64 rowCount(const QString& table) const override;
    Result read(const QString& table, const std::function<void(const QList<Column>&)>& columns,
                const std::function<bool(const QList<JetValue>&)>& row) const override;

private:
    struct Handle;
    explicit JetFile(const QString& path);

    QString m_path;
    std::unique_ptr<Handle> m_handle;
    QStringList m_tables;
};
