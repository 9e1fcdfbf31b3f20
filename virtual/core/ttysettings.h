#ifndef TELVAR_VIRTUAL_TTYSETTINGS_H
#define TELVAR_VIRTUAL_TTYSETTINGS_H

#include "line.h"

namespace Virtual {

// The line settings of the tty `fd`. On the master of a pseudo-terminal these
// are the settings the program set on its end. The speed is read as the
// kernel keeps it, so that a speed that has no Bxxx constant (a custom rate)
// comes back as set. False when the settings cannot be read.
bool readHostLine(int fd, HostLine *line);

} // namespace Virtual

#endif
