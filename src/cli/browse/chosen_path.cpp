#include "cli/browse/chosen_path.h"

#include <algorithm>

#include "base/utf.h"
#include "view/shown_text.h"

namespace zw::cli::browse {

std::string ChosenPathLine(std::u16string_view path, bool cut, std::string_view mountPoint) {
  std::u16string scratch;
  std::u16string shown(view::Shown(path, scratch));
  std::string line;
  if (!cut && !mountPoint.empty() && shown.size() >= 2 && shown[1] == u':') {
    // "D:\a\b.txt" under /mnt/d is /mnt/d/a/b.txt.
    std::u16string rest = shown.substr(2);
    std::replace(rest.begin(), rest.end(), u'\\', u'/');
    line.assign(mountPoint);
    while (!line.empty() && line.back() == '/') line.pop_back();
    if (rest.empty() || rest.front() != u'/') line += '/';
    AppendUtf8(line, rest);
  } else {
    AppendUtf8(line, shown);
  }
  line += '\n';
  return line;
}

}  // namespace zw::cli::browse
