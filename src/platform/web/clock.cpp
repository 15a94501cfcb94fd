// The tick counter from performance.now() (page.js), and the sleep that yields to the browser:
// the show's loop keeps its shape, and the page draws, plays and takes input while it sleeps.
#include "platform/clock.h"

#include <emscripten.h>

#include "platform/web/yield.h"

namespace korvana {

EM_JS(uint32_t, korvana_tick_count, (), { return Module.korvana.tickCount() >>> 0; });
EM_JS(void, korvana_flush_log, (), { Module.korvana.flushLog(); });
EM_JS(void, korvana_show_time, (uint32_t showMilliseconds, uint32_t tick, int running),
      { Module.korvana.showTimeIs(showMilliseconds >>> 0, tick >>> 0, running != 0); });

namespace {
double yieldEnd = 0.0;
}  // namespace

void web::yieldToBrowser(unsigned milliseconds) {
    korvana_flush_log();
    emscripten_sleep(milliseconds);
    yieldEnd = emscripten_get_now();
}

double web::lastYield() { return yieldEnd; }

uint32_t tickCount() { return korvana_tick_count(); }

void reportShowTime(uint32_t showMilliseconds, uint32_t tick, bool running) {
    korvana_show_time(showMilliseconds, tick, running ? 1 : 0);
}

void sleepMilliseconds(uint32_t milliseconds) { web::yieldToBrowser(milliseconds); }

}  // namespace korvana
