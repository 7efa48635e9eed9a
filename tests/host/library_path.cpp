#include "library_path.h"

const char* const quorvane_library_path = QUORVANE_LIBRARY_PATH;
