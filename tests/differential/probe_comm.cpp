// probe_comm.cpp - serial settings texts read by kavutil's own reader
// (platform/posix/comm_settings.h) and by the system's BuildCommDCBA, in one process, member by
// member.
//
// Usage: probe_comm CORPUS RANDOM-TEXTS SEED LIBRARY-OUTPUT [SYSTEM-OUTPUT]
//
// Each text of CORPUS, then RANDOM-TEXTS texts made from SEED, is applied over two start states
// (A: 1200 baud 8N2, no flow control, DTR and RTS off; B: 19200 baud 7E1 with every flow control
// on and DTR and RTS handshaking).  LIBRARY-OUTPUT gets "<state> <text> => <members>" from
// kavutil's reader, SYSTEM-OUTPUT the same from BuildCommDCBA (Windows only), "refused" where
// the text is not taken (the members then stay as they were, on both sides).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/posix/comm_settings.h"
#include "probe_text.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

using kav::platform::posix::CommSettings;

CommSettings StartState(char state) {
  CommSettings s;
  if (state == 'A') {
    s.baud_rate = 1200, s.byte_size = 8, s.parity = kav::platform::posix::kNoParity;
    s.stop_bits = kav::platform::posix::kTwoStopBits,
    s.dtr_control = s.rts_control = kav::platform::posix::kLineOff;
  } else {
    s.baud_rate = 19200, s.byte_size = 7, s.parity = kav::platform::posix::kEvenParity;
    s.stop_bits = kav::platform::posix::kOneStopBit, s.parity_check = true;
    s.out_x = s.in_x = s.out_cts_flow = s.out_dsr_flow = s.dsr_sensitivity = true;
    s.dtr_control = s.rts_control = kav::platform::posix::kLineHandshake;
  }
  return s;
}

std::string Members(const CommSettings& s) {
  char text[256];
  std::snprintf(text, sizeof text,
                "baud=%u data=%u parity=%u stop=%u binary=%d check=%d outx=%d inx=%d octs=%d "
                "odsr=%d dtr=%u rts=%u idsr=%d",
                s.baud_rate, s.byte_size, s.parity, s.stop_bits, s.binary, s.parity_check, s.out_x,
                s.in_x, s.out_cts_flow, s.out_dsr_flow, s.dtr_control, s.rts_control,
                s.dsr_sensitivity);
  return text;
}

std::string ByLibrary(const std::string& text, char state) {
  CommSettings settings = StartState(state);
  if (!kav::platform::posix::apply_settings_text(text.c_str(), settings)) return "refused";
  return Members(settings);
}

#if defined(_WIN32)
std::string BySystem(const std::string& text, char state) {
  const CommSettings start = StartState(state);
  DCB d{};
  d.DCBlength = sizeof d;
  d.BaudRate = start.baud_rate, d.ByteSize = start.byte_size, d.Parity = start.parity;
  d.StopBits = start.stop_bits, d.fBinary = start.binary, d.fParity = start.parity_check;
  d.fOutX = start.out_x, d.fInX = start.in_x, d.fOutxCtsFlow = start.out_cts_flow;
  d.fOutxDsrFlow = start.out_dsr_flow, d.fDtrControl = start.dtr_control;
  d.fRtsControl = start.rts_control, d.fDsrSensitivity = start.dsr_sensitivity;
  if (!BuildCommDCBA(text.c_str(), &d)) return "refused";
  CommSettings s;
  s.baud_rate = d.BaudRate, s.byte_size = d.ByteSize, s.parity = d.Parity;
  s.stop_bits = d.StopBits, s.binary = d.fBinary, s.parity_check = d.fParity;
  s.out_x = d.fOutX, s.in_x = d.fInX, s.out_cts_flow = d.fOutxCtsFlow;
  s.out_dsr_flow = d.fOutxDsrFlow, s.dtr_control = static_cast<std::uint8_t>(d.fDtrControl);
  s.rts_control = static_cast<std::uint8_t>(d.fRtsControl);
  s.dsr_sensitivity = d.fDsrSensitivity;
  return Members(s);
}
#endif

// A random text in the new form (keywords and values, right and wrong) or the old one (rate,
// parity, data, stop, flow), sometimes after a device name.
std::string RandomText(probe::Random& random) {
  static const char* const kDevices[] = {"",        "",      "",       "",      "COM1:", "com2 ",
                                         "COM3 : ", "COM0:", "COM12:", "COMX:", "COM1"};
  static const char* const kKeywords[] = {
      "baud=", "parity=", "data=", "stop=", "xon=",  "odsr=",   "octs=",
      "dtr=",  "rts=",    "idsr=", "to=",   "BAUD=", "Parity=", "speed="};
  static const char* const kValues[] = {
      "110", "300", "1200", "9600", "19200", "115200", "12", "96", "0",  "99999999999",
      "n",   "o",   "e",    "m",    "s",     "N",      "x",  "no", "4",  "5",
      "6",   "7",   "8",    "9",    "1",     "1.5",    "2",  "3",  "on", "off",
      "ON",  "Off", "hs",   "tg",   "yes",   "",       "1.", "e7"};
  static const char* const kSeparators[] = {" ", " ", " ", "  ", ",", "\t", ""};
  static const char* const kRates[] = {"11", "15",  "30",   "60",    "12",     "24", "48", "96",
                                       "19", "110", "9600", "57600", "115200", "0",  "x"};
  static const char* const kParities[] = {"n", "e", "o", "m", "s", "N", "E", "x", ""};
  static const char* const kData[] = {"5", "6", "7", "8", "9", "4", ""};
  static const char* const kStops[] = {"1", "1.5", "2", "3", ""};
  static const char* const kFlows[] = {"", "", ",", ",x", ",p", ",X", ",P", ",k", ", x", ",x "};
  static const char* const kCommas[] = {",", ",", ",", " ,", ", ", " , "};
  std::string text = random.Pick(kDevices);
  if (random.Below(3) == 0) {
    text += random.Pick(kRates);
    text += random.Pick(kCommas);
    text += random.Pick(kParities);
    text += random.Pick(kCommas);
    text += random.Pick(kData);
    text += random.Pick(kCommas);
    text += random.Pick(kStops);
    text += random.Pick(kFlows);
    return text;
  }
  for (unsigned i = 0, count = 1 + random.Below(4); i < count; ++i) {
    if (i > 0) text += random.Pick(kSeparators);
    text += random.Pick(kKeywords);
    text += random.Pick(kValues);
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5 && argc != 6) {
    std::fprintf(stderr,
                 "usage: probe_comm CORPUS RANDOM-TEXTS SEED LIBRARY-OUTPUT [SYSTEM-OUTPUT]\n");
    return 2;
  }
#if !defined(_WIN32)
  if (argc == 6) {
    std::fprintf(stderr, "probe_comm: BuildCommDCBA is Windows' own\n");
    return 2;
  }
#endif
  std::vector<std::string> texts = probe::ReadCorpus(argv[1]);
  probe::Random random(std::strtoull(argv[3], nullptr, 10));
  for (long i = 0, count = std::strtol(argv[2], nullptr, 10); i < count; ++i)
    texts.push_back(RandomText(random));
  std::FILE* library = std::fopen(argv[4], "wb");
  std::FILE* system = argc == 6 ? std::fopen(argv[5], "wb") : nullptr;
  if (library == nullptr || (argc == 6 && system == nullptr)) return 1;
  for (const std::string& text : texts) {
    for (const char state : {'A', 'B'}) {
      const std::string input = std::string(1, state) + " " + probe::Shown(text);
      std::fprintf(library, "%s => %s\n", input.c_str(), ByLibrary(text, state).c_str());
#if defined(_WIN32)
      if (system != nullptr)
        std::fprintf(system, "%s => %s\n", input.c_str(), BySystem(text, state).c_str());
#endif
    }
  }
  const bool written = std::fclose(library) == 0 && (system == nullptr || std::fclose(system) == 0);
  return written ? 0 : 1;
}
