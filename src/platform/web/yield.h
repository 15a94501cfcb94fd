// When the program last gave the browser its turn (the show's sleep, or the window layer's own
// pause on a clock that never sleeps), so that the window layer yields only where nothing else did.
#pragma once

namespace korvana::web {

// Yields for `milliseconds` (at least one turn of the browser's event loop) and notes the time.
void yieldToBrowser(unsigned milliseconds);
// performance.now() of the end of the last yield.
double lastYield();

}  // namespace korvana::web
