// comm_settings.cpp - the device-control text of Windows' mode command, read as BuildCommDCBA
// reads it.
//
// An optional device name comes first: "COM" and a port number from 1, then a colon or a blank,
// blanks around the colon allowed.  Any number is accepted, as Windows 9x does; Windows NT also
// wants the port to exist, which only the open can tell here.  A text with a comma is in the old
// form, "rate,parity,data,stop[,x|p]" with blanks allowed around the commas, where two-digit rates
// stand for the mode command's abbreviations (96 is 9600) and the last letter chooses XON/XOFF
// (x), hardware handshaking (p) or no flow control.  Otherwise it is the new form, keywords
// separated by blanks: baud= parity= data= stop= to= xon= odsr= octs= dtr= rts= idsr=.  Keywords
// and letters are read without regard to case.  Like BuildCommDCBA, the new form sets one stop
// bit when it names none (two at 110 baud), and the old form always sets the flow control.  The
// text changes nothing unless the whole of it is read.

#include "platform/posix/comm_settings.h"

#include <algorithm>
#include <cstring>

#include "base/ascii.h"

namespace kav::platform::posix {
namespace {

using kav::base::is_digit;
using kav::base::to_lower;

class Cursor {
 public:
  explicit Cursor(const char *text) : at_(text) {}

  char peek() const { return *at_; }
  bool at_end() const { return *at_ == '\0'; }
  const char *rest() const { return at_; }
  char next() { return *at_ == '\0' ? '\0' : *at_++; }
  void skip_blanks() {
    while (*at_ == ' ') ++at_;
  }
  bool take(char c) { return *at_ == c ? (++at_, true) : false; }

  // A lower-case word, whatever the case of the text.
  bool take_word(const char *word) {
    const std::size_t length = std::strlen(word);
    for (std::size_t i = 0; i < length; ++i)
      if (to_lower(at_[i]) != word[i]) return false;
    at_ += length;
    return true;
  }

  // Decimal digits; a value past 32 bits reads as the largest one, as strtoul's does.
  bool take_number(std::uint32_t &value) {
    if (!is_digit(*at_)) return false;
    std::uint64_t number = 0;
    while (is_digit(*at_)) number = std::min<std::uint64_t>(number * 10 + (next() - '0'), ~0u);
    value = static_cast<std::uint32_t>(number);
    return true;
  }

 private:
  const char *at_;
};

bool SkipDeviceName(Cursor &text) {
  if (!text.take_word("com")) return text.peek() != ' ';
  if (text.peek() < '1' || text.peek() > '9') return false;
  while (is_digit(text.peek())) text.next();
  if (text.peek() != ':' && text.peek() != ' ') return false;
  text.skip_blanks();
  if (text.take(':')) text.skip_blanks();
  return true;
}

// The letters in the order of the Parity numbers.
bool ReadParity(Cursor &text, std::uint8_t &parity) {
  static const char kLetters[] = "noems";
  const char letter = to_lower(text.next());
  const char *found = letter == '\0' ? nullptr : std::strchr(kLetters, letter);
  if (found == nullptr) return false;
  parity = static_cast<std::uint8_t>(found - kLetters);
  return true;
}

bool ReadByteSize(Cursor &text, std::uint8_t &size) {
  std::uint32_t bits = 0;
  if (!text.take_number(bits) || bits < 5 || bits > 8) return false;
  size = static_cast<std::uint8_t>(bits);
  return true;
}

bool ReadStopBits(Cursor &text, std::uint8_t &stop) {
  if (std::strncmp(text.rest(), "1.5", 3) == 0) {
    text.take_word("1.5");
    stop = kOneAndHalfStopBits;
    return true;
  }
  std::uint32_t bits = 0;
  if (!text.take_number(bits) || (bits != 1 && bits != 2)) return false;
  stop = bits == 1 ? kOneStopBit : kTwoStopBits;
  return true;
}

bool ReadOnOff(Cursor &text, bool &value) {
  if (text.take_word("on")) {
    value = true;
  } else if (text.take_word("off")) {
    value = false;
  } else {
    return false;
  }
  return true;
}

// dtr= and rts= also take "hs" (handshake); rts= takes "tg" (on while sending) as well.
bool ReadLineControl(Cursor &text, std::uint8_t &control, bool toggle) {
  bool on = false;
  if (text.take_word("hs")) {
    control = kLineHandshake;
  } else if (toggle && text.take_word("tg")) {
    control = kLineToggle;
  } else if (ReadOnOff(text, on)) {
    control = on ? kLineOn : kLineOff;
  } else {
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// The old form.

std::uint32_t ExpandRate(std::uint32_t rate) {
  switch (rate) {
    case 11:
    case 15:
    case 30:
    case 60:
      return rate * 10;
    case 12:
    case 24:
    case 48:
    case 96:
      return rate * 100;
    case 19:
      return 19200;
    default:
      return rate;
  }
}

bool TakeComma(Cursor &text) {
  text.skip_blanks();
  if (!text.take(',')) return false;
  text.skip_blanks();
  return true;
}

bool SetOldFlowControl(char letter, CommSettings &settings) {
  const char flow = to_lower(letter);
  if (flow != '\0' && flow != 'x' && flow != 'p') return false;
  settings.in_x = settings.out_x = flow == 'x';
  settings.out_cts_flow = settings.out_dsr_flow = flow == 'p';
  settings.dtr_control = flow == 'p' ? kLineHandshake : kLineOn;
  settings.rts_control = flow == 'p' ? kLineHandshake : kLineOn;
  return true;
}

bool ReadOldForm(Cursor text, CommSettings &settings, unsigned &named) {
  named = kNamedCtsFlow | kNamedRts;
  std::uint32_t rate = 0;
  if (!text.take_number(rate)) return false;
  settings.baud_rate = ExpandRate(rate);
  if (!TakeComma(text) || !ReadParity(text, settings.parity)) return false;
  if (!TakeComma(text) || !ReadByteSize(text, settings.byte_size)) return false;
  if (!TakeComma(text) || !ReadStopBits(text, settings.stop_bits)) return false;
  text.skip_blanks();
  char flow = '\0';
  if (text.take(',')) {
    text.skip_blanks();
    if (!text.at_end()) flow = text.next();
    text.skip_blanks();
  }
  return SetOldFlowControl(flow, settings) && text.at_end();
}

// ---------------------------------------------------------------------------------------------
// The new form.

struct NewForm {
  CommSettings &settings;
  unsigned &named;
  bool baud_named = false;
  bool stop_named = false;
};

// "to=" sets the write timeout in BuildCommDCBAndTimeouts; it is read and has no effect here.
bool ReadKeyword(Cursor &text, NewForm &form) {
  CommSettings &s = form.settings;
  bool ignored = false;
  if (text.take_word("baud=")) {
    form.baud_named = true;
    return text.take_number(s.baud_rate);
  }
  if (text.take_word("stop=")) {
    form.stop_named = true;
    return ReadStopBits(text, s.stop_bits);
  }
  if (text.take_word("xon=")) {
    if (!ReadOnOff(text, s.out_x)) return false;
    s.in_x = s.out_x;
    return true;
  }
  if (text.take_word("parity=")) return ReadParity(text, s.parity);
  if (text.take_word("data=")) return ReadByteSize(text, s.byte_size);
  if (text.take_word("to=")) return ReadOnOff(text, ignored);
  if (text.take_word("odsr=")) return ReadOnOff(text, s.out_dsr_flow);
  if (text.take_word("octs=")) {
    form.named |= kNamedCtsFlow;
    return ReadOnOff(text, s.out_cts_flow);
  }
  if (text.take_word("dtr=")) return ReadLineControl(text, s.dtr_control, false);
  if (text.take_word("rts=")) {
    form.named |= kNamedRts;
    return ReadLineControl(text, s.rts_control, true);
  }
  if (text.take_word("idsr=")) return ReadOnOff(text, s.dsr_sensitivity);
  return false;
}

bool ReadNewForm(Cursor text, CommSettings &settings, unsigned &named) {
  NewForm form{settings, named};
  while (!text.at_end()) {
    text.skip_blanks();
    if (!ReadKeyword(text, form)) return false;
    if (!text.at_end() && text.peek() != ' ') return false;
  }
  if (!form.stop_named)
    settings.stop_bits = form.baud_named && settings.baud_rate == 110 ? kTwoStopBits : kOneStopBit;
  return true;
}

}  // namespace

bool apply_settings_text(const char *text, CommSettings &settings, unsigned *named) {
  unsigned flow = 0;
  if (named != nullptr) *named = 0;
  if (text == nullptr) return false;
  Cursor cursor(text);
  if (!SkipDeviceName(cursor)) return false;
  CommSettings changed = settings;
  const bool read = std::strchr(cursor.rest(), ',') != nullptr ? ReadOldForm(cursor, changed, flow)
                                                               : ReadNewForm(cursor, changed, flow);
  if (!read) return false;
  settings = changed;
  if (named != nullptr) *named = flow;
  return true;
}

}  // namespace kav::platform::posix
