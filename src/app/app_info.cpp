// Build facts of the application.
#include "app/app_info.h"

namespace korvana {

const char* korvanaVersion() { return KORVANA_VERSION; }

}  // namespace korvana
