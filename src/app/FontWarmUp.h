#pragma once

#include <thread>

namespace zm880::app {

// Has the toolkit set up its fonts on a second thread while the program goes on with other
// start-up work. The first text the window measures needs the fonts: that set-up parses the
// system's whole font configuration, a large part of the window's start-up, which then overlaps
// with what the program does before (on X11 chiefly the icon theme's lookup of the window icon).
// The toolkit's font database is thread-safe: a font wanted before the set-up is done waits for
// it instead of doing it again. Make it after the application object and drop it before that.
class TFontWarmUp {
  public:
    TFontWarmUp();
    TFontWarmUp(const TFontWarmUp&) = delete;
    TFontWarmUp& operator=(const TFontWarmUp&) = delete;
    ~TFontWarmUp();

  private:
    std::thread thread_;
};

}  // namespace zm880::app
