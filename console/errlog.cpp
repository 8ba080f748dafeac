// errlog.cpp - the error log and the console prompts.
//
// Every message ends in kav_logerr_write.  It goes to the caller's redirect stream if one is
// set; else a record (time stamp, log id, text) is appended to the file that LOGFILE names,
// which is opened and closed for every record so that several processes can share one log;
// else the text is shown in a message box over the calling thread's active window or, when
// there is none, written to standard error.  The record is composed first and handed to the
// platform whole (append_log_record): it is written with one write, never blocks on a FIFO
// without a reader, goes only to a regular file, a FIFO or a character device, and is taken back
// from the file when it does not fit whole.  Streams are written through the I/O seam.
//
// Messages are formatted into fixed stack buffers with bounded formatting: a text longer than
// its buffer is cut, and the newline that the log appends always fits behind it.  s_prompterr
// formats with its own directive loop and takes each argument by its directive's conversion
// character; s_confirm never asks and answers no.

#include "console/errlog.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>

#include "base/ascii.h"
#include "base/boundary.h"
#include "kavutil.h"
#include "platform/io.h"
#include "platform/platform.h"

namespace {

constexpr std::size_t kMessageSize = 10240;  // kav_logerr, kav_logerrno
constexpr std::size_t kComposedSize = 512;   // s_prompterr's text
constexpr std::size_t kDirectiveSize = 80;   // one s_prompterr directive
constexpr std::size_t kStampSize = 20;
// Formatted text leaves the last byte of a message buffer free for the newline.
constexpr std::size_t kTextRoom = kMessageSize - 1;
constexpr char kCaption[] = "Log Error";

int log_id = 0;
std::FILE* redirect_stream = nullptr;
bool last_delivered = true;  // kav::console::errlog::last_text_delivered

void FormatText(char* buffer, std::size_t size, const char* format, std::va_list args) {
  if (std::vsnprintf(buffer, size, format, args) < 0) buffer[0] = '\0';
}

// Appends the newline to a text of at most kMessageSize - 2 characters and logs it.
int WriteLine(char* message) {
  const std::size_t length = std::strlen(message);
  message[length] = '\n';
  message[length + 1] = '\0';
  return kav_logerr_write(message);
}

// "MM/DD/YYYY hh:mm:ss"; a year beyond 9999 would be cut.
void FormatStamp(char (&stamp)[kStampSize]) {
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  const std::tm fields = local != nullptr ? *local : std::tm{};
  const int written = std::snprintf(stamp, sizeof stamp, "%.2d/%.2d/%.4d %.2d:%.2d:%.2d",
                                    fields.tm_mon + 1, fields.tm_mday, fields.tm_year + 1900,
                                    fields.tm_hour, fields.tm_min, fields.tm_sec);
  if (written < 0) stamp[0] = '\0';
}

// "<stamp> <id> <text>".  A file that does not take the record loses it without a report, and
// so does a record that cannot be composed for want of memory; whether it was written is the
// result.
bool AppendRecord(const char* file, const char* text) {
  char stamp[kStampSize];
  FormatStamp(stamp);
  char head[kStampSize + 16];
  std::snprintf(head, sizeof head, "%s %d ", stamp, log_id);
  return kav::base::guarded(
      false, [&] { return kav::platform::append_log_record(file, std::string(head) + text); });
}

// The message box shows the text without one trailing newline.  When that copy cannot be
// made, the text goes to standard error.  Whether it was shown or written is the result.
bool ShowOrPrint(const char* text) {
  bool shown = false;
  kav::base::guarded([&] {
    std::string copy(text);
    if (!copy.empty() && copy.back() == '\n') copy.pop_back();
    shown = kav::platform::message_box_on_active_window(kCaption, copy.c_str());
  });
  return shown || kav::platform::io::fputs(text, stderr) >= 0;
}

// Builds at most size - 1 characters, always terminated; the rest is cut.
class Composer {
 public:
  Composer(char* buffer, std::size_t size) : buffer_(buffer), size_(size) { buffer_[0] = '\0'; }

  void Add(char c) {
    if (used_ + 1 >= size_) return;
    buffer_[used_++] = c;
    buffer_[used_] = '\0';
  }

  template <typename Value>
  void AddFormatted(const char* directive, Value value) {
    const int written = std::snprintf(buffer_ + used_, size_ - used_, directive, value);
    if (written > 0) used_ += std::min<std::size_t>(written, size_ - 1 - used_);
    buffer_[used_] = '\0';
  }

 private:
  char* buffer_;
  std::size_t size_;
  std::size_t used_ = 0;
};

std::size_t SkipDigits(std::string_view text, std::size_t at) {
  while (at < text.size() && kav::base::is_digit(text[at])) ++at;
  return at;
}

// Whether sprintf reads the directive as one conversion of the argument that s_prompterr takes:
// '%', flags, width, precision, at most one 'l', and the conversion character.  Anything else
// ('*', 'h', 'n', a second conversion, ...) could make it read another argument or type.
bool IsPlainDirective(std::string_view directive) {
  const std::string_view body = directive.substr(1, directive.size() - 2);
  std::size_t at = 0;
  while (at < body.size() && std::strchr("-+ #0", body[at]) != nullptr) ++at;
  at = SkipDigits(body, at);
  if (at < body.size() && body[at] == '.') at = SkipDigits(body, at + 1);
  if (at < body.size() && body[at] == 'l') ++at;
  return at == body.size();
}

// The directive as handed to sprintf: an 'l' stays only where it names a long argument.
void CopyDirective(std::string_view directive, char (&out)[kDirectiveSize]) {
  const char conversion = directive.back();
  const bool is_long = directive[directive.size() - 2] == 'l';
  if (is_long && conversion != 'd' && conversion != 'u') {
    directive.remove_suffix(2);
    std::snprintf(out, sizeof out, "%.*s%c", static_cast<int>(directive.size()), directive.data(),
                  conversion);
    return;
  }
  std::snprintf(out, sizeof out, "%.*s", static_cast<int>(directive.size()), directive.data());
}

// Formats one directive.  The argument is always taken by the conversion character ('l' before
// d or u: a long), so the ones after it stay in step; a directive longer than the 79 characters
// of the directive buffer, or one that sprintf could misread, produces no text.
void FormatDirective(Composer& out, std::string_view directive, std::va_list& args) {
  const char conversion = directive.back();
  if (conversion == '%') {
    out.Add('%');
    return;
  }
  const bool is_long = directive.size() >= 3 && directive[directive.size() - 2] == 'l';
  char spec[kDirectiveSize] = "";
  if (directive.size() < kDirectiveSize && IsPlainDirective(directive)) {
    CopyDirective(directive, spec);
  }
  auto emit = [&](auto value) {
    if (spec[0] != '\0') out.AddFormatted(spec, value);
  };
  switch (conversion) {
    case 'd':
      if (is_long) {
        emit(va_arg(args, long));
      } else {
        emit(va_arg(args, int));
      }
      break;
    case 'u':
      if (is_long) {
        emit(va_arg(args, unsigned long));
      } else {
        emit(va_arg(args, unsigned));
      }
      break;
    case 'c':
      emit(va_arg(args, int));
      break;
    case 'f':
      emit(va_arg(args, double));
      break;
    default: {  // 's'
      const char* text = va_arg(args, const char*);
      emit(text != nullptr ? text : "(null)");
    }
  }
}

// The directive runs from '%' to the first of d, f, u, s, c and '%'; a format that ends before
// one drops the unfinished directive.
void Compose(Composer& out, const char* format, std::va_list& args) {
  for (const char* at = format; *at != '\0';) {
    if (*at != '%') {
      out.Add(*at++);
      continue;
    }
    const std::size_t length = std::strcspn(at + 1, "dfusc%") + 2;
    if (at[length - 1] == '\0') return;
    FormatDirective(out, std::string_view(at, length), args);
    at += length;
  }
}

}  // namespace

extern "C" KAV_API int KAV_CALL kav_logerr_id(int id) KAV_NOEXCEPT {
  log_id = id;
  return 1;
}

extern "C" KAV_API FILE* KAV_CALL kav_logerr_redirect(FILE* stream) KAV_NOEXCEPT {
  std::FILE* previous = redirect_stream;
  redirect_stream = stream;
  return previous;
}

// The text is cut at 10238 characters, so that it fits with its newline.
extern "C" KAV_API int KAV_CDECL kav_logerr(const char* format, ...) KAV_NOEXCEPT {
  if (format == nullptr) return 0;
  char message[kMessageSize];
  std::va_list args;
  va_start(args, format);
  FormatText(message, kTextRoom, format, args);
  va_end(args);
  return WriteLine(message);
}

// errno is read first, before formatting can change it.  The message is cut at 10239
// characters and the composed line at 10238.
extern "C" KAV_API int KAV_CDECL kav_logerrno(const char* format, ...) KAV_NOEXCEPT {
  if (format == nullptr) return 0;
  const int error = errno;
  char message[kMessageSize];
  std::va_list args;
  va_start(args, format);
  FormatText(message, sizeof message, format, args);
  va_end(args);
  char line[kMessageSize];
  const int written =
      std::snprintf(line, kTextRoom, "%s; errno=%d \"%s\"", message, error, std::strerror(error));
  if (written < 0) line[0] = '\0';
  return WriteLine(line);
}

// A null text writes nothing.  The result is 1 whether or not the text arrived; the tool asks
// last_text_delivered.
extern "C" KAV_API int KAV_CALL kav_logerr_write(const char* text) KAV_NOEXCEPT {
  if (text == nullptr) return 1;
  if (redirect_stream != nullptr) {
    last_delivered = kav::platform::io::fputs(text, redirect_stream) >= 0;
    return 1;
  }
  const char* file = kav_getenv("LOGFILE");
  if (file != nullptr && file[0] != '\0') {
    last_delivered = AppendRecord(file, text);
  } else {
    last_delivered = ShowOrPrint(text);
  }
  return 1;
}

// The composed text is cut at 511 characters; the newline is added behind it.
extern "C" KAV_API int KAV_CDECL s_prompterr(const char* format, ...) KAV_NOEXCEPT {
  if (format == nullptr) return 0;
  char composed[kComposedSize];
  Composer out(composed, sizeof composed);
  std::va_list args;
  va_start(args, format);
  Compose(out, format, args);
  va_end(args);
  char message[kMessageSize];
  std::memcpy(message, composed, std::strlen(composed) + 1);
  return WriteLine(message);
}

extern "C" KAV_API int KAV_CDECL s_confirm(const char* /*format*/, ...) KAV_NOEXCEPT { return 0; }

namespace kav::console::errlog {

bool last_text_delivered() { return last_delivered; }

}  // namespace kav::console::errlog
