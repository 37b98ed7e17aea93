#pragma once

#include <QHash>
#include <QString>

// The photos of an old office's folder: foto.foto holds Windows paths (C:\...\foto\A1.JPG)
// whose files now lie in the photo folder beside the database, named in any case.
class PhotoLookup {
public:
    explicit PhotoLookup(const QString& photoFolder);

    // The file a stored path names, found by its file name in the photo folder without
    // regard to case (or the path itself when it names a file as written); empty when
    // there is none.
    QString find(const QString& stored) const;

    // The last part of a path written on Windows or here: "A1.JPG" of "C:\foto\A1.JPG".
    static QString fileName(const QString& path);

private:
    QString m_folder;
    QHash<QString, QString> m_byFoldedName; // folded name -> name in the folder
};
