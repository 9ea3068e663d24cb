#include "viewer/tyaku_layout.h"

namespace tsubame {

ViewerPlaces viewerLayout(ViewerPlaces p, double w, double h, bool maximized) {
    p.list.width = w * 0.99;
    p.list.height = h * 0.25;
    p.subject.top = p.from.top = p.date.top = p.list.height + 940;
    p.topStrip.width = w;
    p.reader.width = w * 0.99;
    p.reader.top = p.list.height + 1300;
    p.subject.width = w * 0.5;
    p.from.width = w * 0.3;
    p.date.width = w * 0.2;
    // The three header boxes sit edge to edge, starting just left of the reader.
    p.subject.left = p.reader.left - 15;
    p.from.left = p.subject.left + p.subject.width;
    p.date.left = p.from.left + p.from.width;
    // The copy box follows the copy button as it stood before this layout.
    p.copyBox.left = p.copyButton.left + 3380;
    p.copyBox.top = p.statusBar.top + 80;
    p.copyButton.left = p.statusBar.left + 1880;
    p.copyButton.top = p.statusBar.top + 80;
    p.reader.height = (h - p.list.height) * 0.62;
    if (maximized) {
        p.copyBox.top = h - 1000;
        p.copyButton.top = h - 980;
    }
    return p;
}

}  // namespace tsubame
