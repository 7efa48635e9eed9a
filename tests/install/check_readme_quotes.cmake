# Checks that README quotes EXAMPLE word for word, so the example the README
# shows is the one the tests build.
# Usage: cmake -DREADME=<README.md> -DEXAMPLE=<file> -P check_readme_quotes.cmake
file(READ ${README} readme)
file(READ ${EXAMPLE} example)
string(FIND "${readme}" "${example}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${README} does not quote ${EXAMPLE} as it stands")
endif()
