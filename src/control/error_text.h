// Writing the library's last error text.
#ifndef QUORVANE_CONTROL_ERROR_TEXT_H
#define QUORVANE_CONTROL_ERROR_TEXT_H

namespace quorvane {

// Makes text, with its terminating NUL, the text at the start of g_err.
// When that text is already in place nothing is written, so host threads
// that read the buffer with plain loads while other threads' starts are
// refused for the same reason read it race-free. Otherwise each byte is
// stored atomically: a reader that overlaps such a change sees a torn text
// at worst. Callers are serialised (the start gate); text must fit.
void set_error_text(const char* text);

}  // namespace quorvane

#endif  // QUORVANE_CONTROL_ERROR_TEXT_H
