// Writing the library's last error text.
#ifndef QUORVANE_CONTROL_ERROR_TEXT_H
#define QUORVANE_CONTROL_ERROR_TEXT_H

namespace quorvane {

// Copies text, with its terminating NUL, to the start of g_err. Each byte is
// stored atomically, so a host thread reading the buffer while another
// thread's start writes it sees a torn text at worst, never undefined
// behaviour inside the library. text must fit the buffer.
void set_error_text(const char* text);

}  // namespace quorvane

#endif  // QUORVANE_CONTROL_ERROR_TEXT_H
