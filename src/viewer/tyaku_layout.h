#pragma once

namespace tsubame {

// A control's place in twips (1/1440 inch, 15 per pixel).
struct TwipsRect {
    double left = 0, top = 0, width = 0, height = 0;
};

// The viewer's controls that follow the window's size.
struct ViewerPlaces {
    TwipsRect topStrip;    // Picture1
    TwipsRect list;        // MailListView
    TwipsRect subject;     // Text7
    TwipsRect from;        // Text8
    TwipsRect date;        // Text9
    TwipsRect reader;      // rtfEd
    TwipsRect copyButton;  // Command1
    TwipsRect copyBox;     // Text6
    TwipsRect statusBar;   // StatusBar1 (only read)
};

// The viewer's layout for an outer size of width × height twips, starting from where the
// controls stand now.
ViewerPlaces viewerLayout(ViewerPlaces places, double width, double height, bool maximized);

}  // namespace tsubame
