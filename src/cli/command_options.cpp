// What the commands share for their options.
#include <CLI/CLI.hpp>
#include <cctype>

#include "base/ascii.h"
#include "cli/commands.h"

namespace zw::cli {

CLI::Validator OneOf(std::vector<std::string> choices) {
  std::string names;
  for (size_t i = 0; i < choices.size(); ++i) {
    names += i == 0 ? "" : i + 1 == choices.size() ? " or " : ", ";
    names += choices[i];
  }
  return CLI::Validator(
      [choices = std::move(choices), names](std::string& value) -> std::string {
        for (const std::string& c : choices) {
          if (value == c) return {};
        }
        return "takes " + names + ", not '" + value + "'";
      },
      "", "");
}

bool ParseDriveLetter(std::string_view value, char16_t& letter) {
  if (value.size() == 2 && value[1] == ':') value.remove_suffix(1);
  if (value.size() != 1 || !std::isalpha(static_cast<unsigned char>(value[0]))) return false;
  letter = UpperAscii(char16_t(static_cast<unsigned char>(value[0])));
  return true;
}

}  // namespace zw::cli
