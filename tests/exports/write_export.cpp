// Writes an export of a results document read from a file, through the
// host's export table and atomic writer, so that the tests can feed the
// collector and the browser constructed documents without a 20 s run each.
//
//   quorvane_write_export DOCUMENT OUTPUT [BASELINE]
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include <nlohmann/json.hpp>

#include "export/export_formats.h"

namespace {

bool read_document(const char* path, nlohmann::json& document) {
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  document = nlohmann::json::parse(text, nullptr, false);
  if (!in || document.is_discarded()) {
    std::fprintf(stderr, "write_export: %s is not a JSON document\n", path);
    return false;
  }
  return true;
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
  const std::string error =
      quorvane::host::write_export(argv[2], document, argc == 4 ? &baseline : nullptr);
  if (!error.empty()) {
    std::fprintf(stderr, "write_export: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
