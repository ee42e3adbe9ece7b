/* orvocrypto.h compiles as C89 with -pedantic-errors (the build of this file is the test). */
#include <orvocrypto.h>

const char* orvo_header_c89_check(void);
const char* orvo_header_c89_check(void) {
  orvo_buffer buffer = ORVO_BUFFER_INIT;
  return buffer.data == NULL ? "" : orvo_status_name(ORVO_E_INTERNAL);
}
