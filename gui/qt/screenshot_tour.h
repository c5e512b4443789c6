#pragma once
// A test-only mode of the program: it visits every page of the main window,
// the shape window, the file menu and the about window, and writes a picture
// of each into a folder. The screenshots script runs it under Xvfb; nothing
// in it is part of the generator's behaviour.
#include <QString>

namespace vs::gui {

struct TourOptions {
    QString outputDir;
    // The bundled example's files (make_example files DIR): a projector, a
    // bitmap, an icon and an additional file. Empty: the tour shows the
    // window as it starts, without a projector.
    QString sampleDir;
};

// Runs the tour in the running application; 0 when every picture was written.
int RunScreenshotTour(const TourOptions& options);

}  // namespace vs::gui
