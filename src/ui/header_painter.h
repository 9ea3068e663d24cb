#pragma once

#include <QColor>
#include <QProxyStyle>

class QHeaderView;
class QTableView;
class QTreeView;

namespace tsubame {

// Paints list column headers in the program's own colours: steel-blue cells with a soft raised
// edge, white single-line captions aligned left 5 pixels in, and a flat edge while a header is
// pressed. Set on a header only; everything else goes to the application's style.
class HeaderPainter : public QProxyStyle {
    Q_OBJECT
  public:
    static constexpr QRgb kFill = qRgb(58, 119, 165);
    static constexpr QRgb kCaption = qRgb(255, 255, 255);
    static constexpr QRgb kRaisedLight = qRgb(255, 255, 255);
    static constexpr QRgb kRaisedDark = qRgb(64, 64, 64);
    static constexpr QRgb kFlatEdge = qRgb(128, 128, 128);
    static constexpr int kCaptionInset = 5;

    HeaderPainter();

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
};

// Gives the header its painter (owned by the header) and makes its sections clickable, so
// that a press shows. Installing twice is harmless.
void installHeaderPainter(QHeaderView& header);
void installHeaderPainter(QTreeView& view);
void installHeaderPainter(QTableView& view);

}  // namespace tsubame
