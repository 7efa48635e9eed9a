// Reads a file with the host's baseline reader and, when the reader accepts
// it, writes its .prom export (the document compared with itself), so that
// the fuzz corpus can be replayed through promtool.
//
//   quorvane_prom_from_baseline BASELINE OUTPUT.prom
// Exit status: 0 written, 1 the export failed, 3 the reader refused it.
#include <cstdio>
#include <string>

#include "export/export_formats.h"
#include "results/baseline.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s BASELINE OUTPUT.prom\n", argv[0]);
    return 2;
  }
  std::string error;
  const auto document = quorvane::host::load_baseline(argv[1], error);
  if (!document) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 3;
  }
  error = quorvane::host::write_export(argv[2], *document, &*document);
  if (!error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  return 0;
}
