#pragma once

#include "platform/gui/Context.h"

#include <QWidget>
#include <memory>

class QComboBox;
class QLabel;
class QScrollArea;
class QToolButton;
class ReportRenderer;

// The preview of a report: its pages one at a time, page arrows, zoom (fit width,
// whole page, 100%), print and save as PDF.
class ReportPreview : public QWidget {
    Q_OBJECT
public:
    ReportPreview(std::unique_ptr<ReportRenderer> report, const Context& context, QWidget* parent = nullptr);
    ~ReportPreview() override;

    int page() const { return m_page; }
    int pageCount() const;
    void showPage(int page);
    // The page as shown, for a look at it.
    QImage pageImage() const { return m_image; }

    QToolButton* printButton() const { return m_print; }
    QToolButton* pdfButton() const { return m_pdf; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void render();
    void savePdf();
    void print();
    double dotsPerInch() const;

    std::unique_ptr<ReportRenderer> m_report;
    const Context& m_context;
    int m_page = 0;
    QImage m_image;
    QScrollArea* m_scroll;
    QLabel* m_sheet;
    QLabel* m_pageLabel;
    QComboBox* m_zoom;
    QToolButton* m_first;
    QToolButton* m_previous;
    QToolButton* m_next;
    QToolButton* m_last;
    QToolButton* m_print;
    QToolButton* m_pdf;
};
