#pragma once

#include <QList>
#include <QProcess>
#include <QRectF>
#include <QRegularExpression>
#include <QString>

// The text of a PDF file as pdftotext reads it, page breaks as form feeds.
inline QString pdfText(const QString& path) {
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return QStringLiteral("<pdftotext failed>");
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Each word of a PDF file with its box in points, as pdftotext -bbox finds them, page by page.
struct PdfWord {
    int page = 0;
    QString text;
    QRectF box;
};

inline QList<PdfWord> pdfWords(const QString& path) {
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), path, QStringLiteral("-")});
    QList<PdfWord> words;
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return words;
    static const QRegularExpression tag(QStringLiteral(
        "<page |<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
    int page = -1;
    for (auto found = tag.globalMatch(QString::fromUtf8(process.readAllStandardOutput())); found.hasNext();) {
        const QRegularExpressionMatch match = found.next();
        if (match.captured().startsWith(QStringLiteral("<page"))) {
            ++page;
            continue;
        }
        const QPointF topLeft(match.captured(1).toDouble(), match.captured(2).toDouble());
        const QPointF bottomRight(match.captured(3).toDouble(), match.captured(4).toDouble());
        words.append({page, match.captured(5), QRectF(topLeft, bottomRight)});
    }
    return words;
}
