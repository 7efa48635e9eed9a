# Checks that DOCUMENT quotes EXAMPLE word for word, so the example the
# document shows is the one the tests build.
# Usage: cmake -DDOCUMENT=<file.md> -DEXAMPLE=<file> -P check_document_quotes.cmake
file(READ ${DOCUMENT} document)
file(READ ${EXAMPLE} example)
string(FIND "${document}" "${example}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${DOCUMENT} does not quote ${EXAMPLE} as it stands")
endif()
