#pragma once

#include "platform/Resources.h"

#include <QIcon>
#include <QImage>
#include <QString>

// The program's own drawings (SVG in the resources), made into icons and pictures.
namespace Artwork {

// Makes the built-in resources (drawings, report files) available; any number of calls.
void initialise();

QIcon icon(const QString& resource);
// The drawing at its own size.
QImage picture(const QString& resource);

inline const QString programIcon = QStringLiteral(":/icons/velmora.svg");
using Resources::defaultBackground;

// The default background: sfondo.svg of the program folder, else the installed one, else the
// drawing built into the program.
QImage defaultBackgroundFor(const QString& programFolder);

} // namespace Artwork
