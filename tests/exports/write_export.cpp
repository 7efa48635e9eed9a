// Writes the .prom or .html export of a results document read from a file,
// so that the tests can feed the collector and the browser constructed
// documents without a 20 s run each.
//
//   quorvane_write_export DOCUMENT OUTPUT [BASELINE]
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include <nlohmann/json.hpp>

#include "export_html.h"
#include "export_prometheus.h"

namespace {

bool read_document(const char* path, nlohmann::json& document) {
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  document = nlohmann::json::parse(text, nullptr, false);
  if (in.bad() || document.is_discarded()) {
    std::fprintf(stderr, "write_export: %s is not a JSON document\n", path);
    return false;
  }
  return true;
}

bool ends_with(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: %s DOCUMENT OUTPUT [BASELINE]\n", argv[0]);
    return 2;
  }
  nlohmann::json document;
  nlohmann::json baseline;
  if (!read_document(argv[1], document) || (argc == 4 && !read_document(argv[3], baseline))) {
    return 2;
  }
  const std::string output = argv[2];
  std::string text;
  if (ends_with(output, ".prom")) {
    text = quorvane::host::format_prometheus(document);
  } else if (ends_with(output, ".html")) {
    text = quorvane::host::format_html(document, argc == 4 ? &baseline : nullptr);
  } else {
    std::fprintf(stderr, "write_export: %s is neither .prom nor .html\n", output.c_str());
    return 2;
  }
  std::ofstream out(output, std::ios::binary);
  out << text;
  return out.good() ? 0 : 1;
}
