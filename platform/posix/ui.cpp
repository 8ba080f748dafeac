// ui.cpp - the user interface on POSIX: there is no window manager to ask, so the calling
// thread never has an active window and callers fall back to the console.

#include "platform/platform.h"

namespace kav::platform {

bool message_box_on_active_window(const char* /*caption*/, const char* /*text*/) { return false; }

}  // namespace kav::platform
