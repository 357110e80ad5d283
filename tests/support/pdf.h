// A written PDF read back by poppler's own tools (poppler-utils): its text
// as pdftotext lays it out, and the fonts pdffonts lists. No Qt, so model
// tests and window tests alike use it.
#pragma once

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace qv::test {

// What `command` prints on its standard output; empty when it fails.
inline std::string Output(const std::string& command) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
    out.append(buf, n);
  return ::pclose(p) == 0 ? out : std::string();
}

// The text of every page, in reading order with the columns kept apart
// (pdftotext -layout), pages separated by a form feed.
inline std::string PdfText(const std::string& path) {
  return Output("pdftotext -layout '" + path + "' -");
}

// The lines of the text.
inline std::vector<std::string> PdfLines(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream in(PdfText(path));
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

struct PdfFont {
  std::string name;
  bool embedded = false;
  bool subset = false;
  bool unicode = false;  // has a map to Unicode: its text can be searched
};

// The fonts the PDF uses, as pdffonts lists them.
inline std::vector<PdfFont> PdfFonts(const std::string& path) {
  std::vector<PdfFont> fonts;
  std::istringstream in(Output("pdffonts '" + path + "'"));
  std::string line;
  std::getline(in, line);  // the heading
  std::getline(in, line);  // its rule
  while (std::getline(in, line)) {
    // name ... emb sub uni object ID: the three flags precede the object
    // number and its generation.
    std::istringstream fields(line);
    std::vector<std::string> f;
    for (std::string w; fields >> w;)
      f.push_back(w);
    if (f.size() < 6) continue;
    const size_t n = f.size();
    fonts.push_back({f[0], f[n - 5] == "yes", f[n - 4] == "yes", f[n - 3] == "yes"});
  }
  return fonts;
}

}  // namespace qv::test
