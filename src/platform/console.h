// Text output of a program without a console of its own. On Windows korvana.exe is a GUI program:
// a double-click opens no console window, and its stdout and stderr lead nowhere unless its
// starter gave it files or pipes. Started from a console, it writes to that console instead, so
// --help, --version and the failure messages appear where the user typed the command. Elsewhere
// standard output is always where the user expects it and this does nothing.
#pragma once

namespace korvana {

// Call first in main(): streams that already lead somewhere (redirected to a file or a pipe) are
// kept; the others are connected to the console of the process that started this one, if any.
void useStarterConsole();

}  // namespace korvana
