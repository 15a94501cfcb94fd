// Start-up failures as a box on the page (page.js) and the same text on stderr, which the page
// sends to the browser's console.
#include "platform/message_box.h"

#include <cstdio>

#include <emscripten.h>

namespace korvana {

EM_JS(void, korvana_show_message, (const char* text, const char* caption, int error),
      { Module.korvana.showMessage(UTF8ToString(text), UTF8ToString(caption), error != 0); });

void showMessageBox(const char* text, const char* caption, MessageIcon icon) {
    if (caption[0] != '\0')
        std::fprintf(stderr, "%s: %s\n", caption, text);
    else
        std::fprintf(stderr, "%s\n", text);
    std::fflush(stderr);
    korvana_show_message(text, caption, icon == MessageIcon::Error ? 1 : 0);
}

}  // namespace korvana
