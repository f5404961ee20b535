#pragma once

#include "Win1252.h"

#include <QString>
#include <string>

// Windows-1252 bytes of the core to and from Qt strings.
inline QString fromAnsi(const std::string& text) {
    return QString::fromStdString(win1252ToUtf8(text));
}
inline std::string toAnsi(const QString& text) {
    return utf8ToWin1252(text.toStdString());
}
