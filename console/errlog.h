// errlog.h - what the error log tells the kav tool beyond its exported functions, which report
// success whether or not a text reached its destination.
#pragma once

namespace kav::console::errlog {

// Whether the last text kav_logerr_write handed on reached its destination: the redirect
// stream, the LOGFILE file (the whole record), a message box or standard error.
bool last_text_delivered();

}  // namespace kav::console::errlog
