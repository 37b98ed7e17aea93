#include "TestFolder.h"

#include <QColor>
#include <QFile>
#include <QImage>
#include <QTest>

TestFolder::TestFolder() {
    if (!m_dir.isValid())
        qFatal("cannot create a temporary folder");
}

QString TestFolder::write(const QString& name, const QByteArray& bytes) const {
    const QString path = file(name);
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray TestFolder::read(const QString& name) const {
    QFile in(file(name));
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

QString TestFolder::writePicture(const QString& name, const QColor& colour) const {
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(colour);
    const QString path = file(name);
    if (!image.save(path))
        qFatal("cannot save picture %s", qPrintable(path));
    return path;
}
