#include "ui/header_painter.h"

#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOptionHeader>
#include <QTableView>
#include <QTreeView>

namespace tsubame {
namespace {

void drawRaisedEdge(QPainter& painter, const QRect& r) {
    painter.setPen(QColor(HeaderPainter::kRaisedLight));
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(QColor(HeaderPainter::kRaisedDark));
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());
}

void drawFlatEdge(QPainter& painter, const QRect& r) {
    painter.setPen(QColor(HeaderPainter::kFlatEdge));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(r.adjusted(0, 0, -1, -1));
}

}  // namespace

// A style of its own as base, so that the painter never shares (and later deletes) the
// application's style object.
HeaderPainter::HeaderPainter()
    : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}

void HeaderPainter::drawControl(ControlElement element, const QStyleOption* option,
                                QPainter* painter, const QWidget* widget) const {
    const auto* header = qstyleoption_cast<const QStyleOptionHeader*>(option);
    if (element != CE_Header || !header) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    QRect cell = header->rect;
    painter->fillRect(cell, QColor(kFill));
    // The edge leaves the cell's last column to the neighbour's edge.
    QRect edge = cell.adjusted(0, 0, -1, 0);
    if (header->state & State_Sunken)
        drawFlatEdge(*painter, edge);
    else
        drawRaisedEdge(*painter, edge);
    QRect captionRect = edge.adjusted(kCaptionInset, 0, 0, 0);
    painter->setPen(QColor(kCaption));
    painter->setBackground(QColor(kFill));
    painter->setClipRect(edge);
    painter->drawText(captionRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      header->text.section(u'\n', 0, 0));
    painter->restore();
}

void installHeaderPainter(QHeaderView& header) {
    if (qobject_cast<HeaderPainter*>(header.style()) == nullptr) {
        auto* painter = new HeaderPainter;
        painter->setParent(&header);
        header.setStyle(painter);
    }
    header.setSectionsClickable(true);
}

void installHeaderPainter(QTreeView& view) { installHeaderPainter(*view.header()); }
void installHeaderPainter(QTableView& view) { installHeaderPainter(*view.horizontalHeader()); }

}  // namespace tsubame
