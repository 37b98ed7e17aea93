#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A temporary program folder, removed with the test.
class TestFolder {
public:
    TestFolder();

    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }

    // Writes raw bytes to a file of the folder and answers its path.
    QString write(const QString& name, const QByteArray& bytes) const;
    QByteArray read(const QString& name) const;
    // Writes a small picture in the format the name's suffix says.
    QString writePicture(const QString& name, const QColor& colour) const;

private:
    QTemporaryDir m_dir;
};
