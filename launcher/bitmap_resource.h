// The launcher's built-in pictures and pages, compiled in from res/ through the Qt resource
// system, in the user's language where they have variants.
#pragma once

#include <QByteArray>
#include <QIcon>
#include <QImage>

#include "platform/types.h"

// The bitmap strip nId (130 to 134); a null image when there is none.
QImage LoadBitmapResource(UINT nId);
// The HTML page nId (135, 136) in the user's language; empty when there is none.
QByteArray LoadHtmlResource(UINT nId);
// The window icon 128 in all its sizes.
QIcon LoadAppIcon();
