#pragma once

#include <QIcon>

// The program's own images, drawn in code.
namespace Icons {
QIcon window();
QIcon play();
QIcon globe();
} // namespace Icons
