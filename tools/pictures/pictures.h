#ifndef TELVAR_PICTURES_PICTURES_H
#define TELVAR_PICTURES_PICTURES_H

#include "monochrome.h"

#include <vector>

// Draws every demonstration picture. Returns an empty list (after a message
// on stderr) if the QR symbol can't be made as required.
std::vector<MonoPicture> renderPictures();

#endif
