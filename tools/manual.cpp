// manual.cpp - kav_manual, which writes kav(1): the template docs/kav.1.in with the COMMANDS
// section made from the tool's own command table, so that "kav help NAME" and the manual page
// say the same.  Usage: kav_manual TEMPLATE > kav.1.  The template's line
// '.\" @COMMANDS@' becomes the section's commands, and @VERSION@ the version.
//
// The help's markup (tools/commands.h) becomes roff: paragraphs become indented paragraphs
// of the command's entry, items a list of tagged paragraphs, options bold and the synopsis's
// argument names italic, in lower case as manual pages write them.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"

namespace kav::tool {
namespace {

bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }
bool is_lower(char c) { return c >= 'a' && c <= 'z'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_word(char c) { return is_upper(c) || is_lower(c) || is_digit(c) || c == '_'; }

std::string lower(std::string_view word) {
  std::string text(word);
  for (char &c : text)
    if (is_upper(c)) c = char(c - 'A' + 'a');
  return text;
}

// One character as roff text: a backslash and a dash need escapes.
std::string escaped(char c) {
  if (c == '\\') return "\\e";
  if (c == '-') return "\\-";
  return std::string(1, c);
}

std::string escaped(std::string_view text) {
  std::string out;
  for (char c : text) out += escaped(c);
  return out;
}

// The length of an option word at text[at] ("--name"), or 0.
size_t option_length(std::string_view text, size_t at) {
  if (text.substr(at, 2) != "--" || at + 2 >= text.size() || !is_lower(text[at + 2])) return 0;
  if (at > 0 && (is_word(text[at - 1]) || text[at - 1] == '-')) return 0;
  size_t end = at + 2;
  while (end < text.size() && (is_word(text[end]) || text[end] == '-')) ++end;
  return end - at;
}

// The length of a word of capitals at text[at] (FILE, COMMAND-LINE), or 0.
size_t capitals_length(std::string_view text, size_t at) {
  if (!is_upper(text[at]) || (at > 0 && is_word(text[at - 1]))) return 0;
  size_t end = at;
  while (end < text.size() &&
         (is_upper(text[end]) || is_digit(text[end]) || text[end] == '_' ||
          (text[end] == '-' && end + 1 < text.size() && is_upper(text[end + 1]))))
    ++end;
  if (end < text.size() && is_lower(text[end])) return 0;
  return end - at;
}

// A synopsis or an item's term: options and literal words bold, argument names italic.
std::string formatted_form(std::string_view form, std::set<std::string> *names) {
  std::string out;
  for (size_t at = 0; at < form.size();) {
    if (size_t n = option_length(form, at)) {
      out += "\\fB" + escaped(form.substr(at, n)) + "\\fR";
      at += n;
    } else if (size_t n = capitals_length(form, at)) {
      if (names != nullptr) names->insert(std::string(form.substr(at, n)));
      out += "\\fI" + escaped(lower(form.substr(at, n))) + "\\fR";
      at += n;
    } else if (is_lower(form[at]) && (at == 0 || !is_word(form[at - 1]))) {
      size_t end = at;
      while (end < form.size() && (is_word(form[end]) || form[end] == '-')) ++end;
      out += "\\fB" + escaped(form.substr(at, end - at)) + "\\fR";
      at = end;
    } else {
      out += escaped(form[at++]);
    }
  }
  return out;
}

// Running text: options bold, the command's argument names italic.
std::string formatted_text(std::string_view text, const std::set<std::string> &names) {
  std::string out;
  for (size_t at = 0; at < text.size();) {
    if (size_t n = option_length(text, at)) {
      out += "\\fB" + escaped(text.substr(at, n)) + "\\fR";
      at += n;
    } else if (size_t n = capitals_length(text, at);
               n > 0 && names.count(std::string(text.substr(at, n))) > 0) {
      out += "\\fI" + escaped(lower(text.substr(at, n))) + "\\fR";
      at += n;
    } else {
      out += escaped(text[at++]);
    }
  }
  return out;
}

// A roff line: one that begins with a dot or an apostrophe would be read as a request.
std::string line(const std::string &text) {
  return !text.empty() && (text[0] == '.' || text[0] == '\'') ? "\\&" + text : text;
}

std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> lines;
  std::istringstream in{std::string(text)};
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

bool starts_item(const std::string &l) {
  return l.size() > 2 && l.starts_with("  ") && l[2] != ' ';
}

std::string trimmed(const std::string &text) {
  const size_t first = text.find_first_not_of(' ');
  return first == std::string::npos ? "" : text.substr(first);
}

// The argument names of a command: those of its synopsis and of its items' terms.
std::set<std::string> argument_names(const Command &c) {
  std::set<std::string> names;
  formatted_form(c.synopsis, &names);
  for (const std::string &l : lines_of(c.help)) {
    if (!starts_item(l)) continue;
    const size_t gap = l.find("  ", 2);
    formatted_form(l.substr(2, gap == std::string::npos ? std::string::npos : gap - 2), &names);
  }
  return names;
}

// The body of a command's entry: paragraphs and lists of items.
void write_body(std::ostream &out, const Command &c) {
  const std::set<std::string> names = argument_names(c);
  bool in_list = false, paragraph_open = true;  // the entry's first paragraph follows its tag
  std::vector<std::string> lines = lines_of(c.help);
  if (c.progress) {
    lines.emplace_back();
    lines.emplace_back(kProgressNote);
  }
  for (const std::string &l : lines) {
    if (l.empty()) {
      if (in_list) out << ".RE\n";
      in_list = paragraph_open = false;
    } else if (starts_item(l)) {
      if (!in_list) out << ".RS\n";
      in_list = true;
      const size_t gap = l.find("  ", 2);
      out << ".TP\n"
          << line(formatted_form(l.substr(2, gap == std::string::npos ? gap : gap - 2), nullptr))
          << "\n";
      if (gap != std::string::npos)
        out << line(formatted_text(trimmed(l.substr(gap)), names)) << "\n";
    } else if (in_list && l.starts_with("   ")) {
      out << line(formatted_text(trimmed(l), names)) << "\n";
    } else {
      if (in_list) out << ".RE\n";
      if (in_list || !paragraph_open) out << ".IP\n";
      in_list = false;
      paragraph_open = true;
      out << line(formatted_text(l, names)) << "\n";
    }
  }
  if (in_list) out << ".RE\n";
}

void write_entry(std::ostream &out, const Command &c) {
  const std::vector<std::string> forms = lines_of(c.synopsis);
  const std::string name = "\\fBkav " + escaped(c.name) + "\\fR";
  for (size_t i = 0; i < std::max<size_t>(forms.size(), 1); ++i) {
    if (i == 1) out << ".PD 0\n";
    out << ".TP\n" << name;
    if (i < forms.size() && !forms[i].empty()) out << " " << formatted_form(forms[i], nullptr);
    if (i == 0 && c.progress) out << " [\\fB\\-\\-progress\\fR]";
    out << "\n";
  }
  if (forms.size() > 1) out << ".PD\n";
  write_body(out, c);
}

void write_commands(std::ostream &out) {
  std::string heading;
  for (const Family &family : command_families()) {
    if (heading != family.heading) out << ".SS " << family.heading << "\n";
    heading = family.heading;
    for (const Command &c : family.commands) write_entry(out, c);
  }
}

}  // namespace
}  // namespace kav::tool

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kav_manual TEMPLATE > kav.1\n");
    return 2;
  }
  std::ifstream in(argv[1]);
  if (!in) {
    std::fprintf(stderr, "kav_manual: cannot read %s\n", argv[1]);
    return 2;
  }
  for (std::string l; std::getline(in, l);) {
    if (l == ".\\\" @COMMANDS@") {
      kav::tool::write_commands(std::cout);
      continue;
    }
    for (size_t at; (at = l.find("@VERSION@")) != std::string::npos;) l.replace(at, 9, KAV_VERSION);
    std::cout << l << "\n";
  }
  std::cout.flush();
  return std::cout ? 0 : 2;
}
