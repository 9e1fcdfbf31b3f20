#ifndef TELVAR_PICTURES_ICONS_H
#define TELVAR_PICTURES_ICONS_H

#include <QImage>
#include <QString>
#include <vector>

struct NamedIcon {
    QString relativePath; // below the output directory
    QImage image;
};

// The tool bar icons (32 x 32) and the application icon (128 and 48).
std::vector<NamedIcon> renderIcons();

#endif
