// Where the library under test was built. The path is compiled into one small
// source of its own (library_path.cpp) rather than into every test source, so
// that only that one object differs between two clones of the project and the
// others come from the compiler cache.
#ifndef QUORVANE_TESTS_HOST_LIBRARY_PATH_H
#define QUORVANE_TESTS_HOST_LIBRARY_PATH_H

extern const char* const quorvane_library_path;

#endif
