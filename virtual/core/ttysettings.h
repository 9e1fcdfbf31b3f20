#ifndef TELVAR_VIRTUAL_TTYSETTINGS_H
#define TELVAR_VIRTUAL_TTYSETTINGS_H

#include "line.h"
#include "linesettings.h"

namespace Virtual {

// The line settings of the tty `fd` as the line model takes them. On the
// master of a pseudo-terminal these are the settings the program set on its
// end (network/linesettings.h reads them). False when the settings cannot be
// read.
bool readHostLine(int fd, HostLine *line);

// The host's line as a UART's settings give it: a tty's, or those an RFC 2217
// client set.
HostLine hostLine(const Network::LineSettings &settings);

} // namespace Virtual

#endif
