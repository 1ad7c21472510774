#pragma once

#include <QFont>

namespace quorlink::qtface {

// The window's font, Tahoma 8 point, or the system's sans-serif at that size
// where there is no Tahoma.
QFont windowFont();

} // namespace quorlink::qtface
