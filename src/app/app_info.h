// Build facts of the application.
#pragma once

namespace korvana {

const char* korvanaVersion();

}  // namespace korvana
