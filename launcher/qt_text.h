// Conversions between the engine's wide strings and Qt's.
#pragma once

#include <QString>

#include "platform/cstring.h"

inline QString ToQString(const CString& text) {
    return QString::fromWCharArray(text.GetString(), text.GetLength());
}

inline CString FromQString(const QString& text) { return CString(text.toStdWString()); }
