#include "ui/header_painter.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QMouseEvent>
#include <QStandardItemModel>
#include <QTableView>
#include <QTreeView>

namespace tsubame {
namespace {

class HeaderPainterTest : public ::testing::Test {
  protected:
    HeaderPainterTest() : model(0, 3) {
        model.setHorizontalHeaderLabels({"Subject", "", "Date"});
        view.setModel(&model);
        view.resize(400, 200);
        installHeaderPainter(view);
        header().resizeSection(0, 120);
        header().resizeSection(1, 100);
        view.show();
    }
    QHeaderView& header() { return *view.header(); }
    QImage render() { return header().grab().toImage(); }
    QRect section(int index) {
        return QRect(header().sectionViewportPosition(index), 0, header().sectionSize(index),
                     header().height());
    }
    // Pixels much lighter than the fill: the caption's strokes (smoothed ones included).
    static int whitePixels(const QImage& image, const QRect& area) {
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) {
                QRgb p = image.pixel(x, y);
                if (qRed(p) > 150 && qGreen(p) > 190 && qBlue(p) > 215) ++count;
            }
        return count;
    }
    void press(int index, QEvent::Type type) {
        QPointF at = section(index).center();
        QMouseEvent event(type, at, header().mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(header().viewport(), &event);
    }

    QStandardItemModel model;
    QTreeView view;
};

TEST_F(HeaderPainterTest, CellsAreSteelBlueWithASoftRaisedEdge) {
    QImage image = render();
    QRect cell = section(0);
    // Inside, away from the caption: the fill.
    EXPECT_EQ(image.pixel(cell.right() - 10, cell.bottom() - 2), HeaderPainter::kFill);
    // Raised edge: light on top and left, dark at the bottom and one pixel in from the right.
    EXPECT_EQ(image.pixel(cell.left() + 30, cell.top()), HeaderPainter::kRaisedLight);
    EXPECT_EQ(image.pixel(cell.left(), cell.center().y()), HeaderPainter::kRaisedLight);
    EXPECT_EQ(image.pixel(cell.left() + 30, cell.bottom()), HeaderPainter::kRaisedDark);
    EXPECT_EQ(image.pixel(cell.right() - 1, cell.center().y()), HeaderPainter::kRaisedDark);
    EXPECT_EQ(image.pixel(cell.right(), cell.center().y()), HeaderPainter::kFill);
}

TEST_F(HeaderPainterTest, CaptionIsWhiteAndStartsFivePixelsIn) {
    QImage image = render();
    QRect cell = section(0);
    QRect inner = cell.adjusted(1, 1, -2, -1);
    // Nothing of the caption left of the inset.
    EXPECT_EQ(whitePixels(image, QRect(inner.left(), inner.top(), 4, inner.height())), 0);
    // The caption's white pixels lie in the left part of the cell.
    QRect captionArea(cell.left() + 5, inner.top(), 60, inner.height());
    EXPECT_GT(whitePixels(image, captionArea), 10);
    EXPECT_EQ(whitePixels(image, QRect(cell.left() + 80, inner.top(), 35, inner.height())), 0);
}

TEST_F(HeaderPainterTest, EmptyCaptionIsFilledAndEdgedWithoutText) {
    QImage image = render();
    QRect cell = section(1);
    EXPECT_EQ(whitePixels(image, cell.adjusted(1, 1, -2, -1)), 0);
    EXPECT_EQ(image.pixel(cell.center()), HeaderPainter::kFill);
    EXPECT_EQ(image.pixel(cell.left() + 30, cell.top()), HeaderPainter::kRaisedLight);
}

TEST_F(HeaderPainterTest, APressedHeaderShowsAFlatEdgeUntilReleased) {
    press(2, QEvent::MouseButtonPress);
    QImage pressed = render();
    QRect cell = section(2);
    EXPECT_EQ(pressed.pixel(cell.left() + 30, cell.top()), HeaderPainter::kFlatEdge);
    EXPECT_EQ(pressed.pixel(cell.left(), cell.center().y()), HeaderPainter::kFlatEdge);
    EXPECT_EQ(pressed.pixel(cell.left() + 30, cell.bottom()), HeaderPainter::kFlatEdge);
    EXPECT_EQ(pressed.pixel(cell.right() - 1, cell.center().y()), HeaderPainter::kFlatEdge);
    EXPECT_EQ(pressed.pixel(cell.right() - 10, cell.bottom() - 2), HeaderPainter::kFill);
    // The other headers stay raised.
    EXPECT_EQ(pressed.pixel(section(0).left() + 30, 0), HeaderPainter::kRaisedLight);

    press(2, QEvent::MouseButtonRelease);
    EXPECT_EQ(render().pixel(cell.left() + 30, cell.top()), HeaderPainter::kRaisedLight);
}

TEST_F(HeaderPainterTest, TheListStillWorksAndTablesGetItToo) {
    model.appendRow({new QStandardItem("a"), new QStandardItem("b"), new QStandardItem("c")});
    view.setCurrentIndex(model.index(0, 1));
    EXPECT_EQ(view.currentIndex().row(), 0);
    EXPECT_NE(qobject_cast<HeaderPainter*>(header().style()), nullptr);
    // The rest of the view keeps the application's style.
    EXPECT_EQ(qobject_cast<HeaderPainter*>(view.style()), nullptr);

    QTableView table;
    table.setModel(&model);
    installHeaderPainter(table);
    installHeaderPainter(table);  // a second install keeps the one painter
    EXPECT_EQ(table.horizontalHeader()->findChildren<HeaderPainter*>().size(), 1);
    EXPECT_TRUE(table.horizontalHeader()->sectionsClickable());
}

}  // namespace
}  // namespace tsubame
