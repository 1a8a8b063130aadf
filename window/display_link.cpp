#include "window/display_link.h"

#ifdef PALVIMO_WATCH_X11
#include <xcb/xcb.h>

#include <QGuiApplication>
#endif

namespace palvimo {

bool Display_Lost() {
#ifdef PALVIMO_WATCH_X11
  // Some platforms other than xcb offer the interface too, without a
  // connection.
  const auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* const connection = x11 ? x11->connection() : nullptr;
  return connection && xcb_connection_has_error(connection) != 0;
#else
  return false;
#endif
}

}  // namespace palvimo
