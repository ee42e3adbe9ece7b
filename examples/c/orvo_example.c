/* orvo_example: the C library in two of its common uses.
 *
 *   orvo_example open CIPHER KEYFILE < sealed.txt
 *       Each line of standard input is a Base64 sealed value (what a
 *       scripting object's Encrypt gave, ECB, filler 0); prints each opened
 *       value as a line of text, the zero padding removed.
 *   orvo_example verify PUBLICKEYFILE SIGNATUREFILE < data
 *       Checks an RSA signature (raw bytes) over standard input, read piece
 *       by piece; prints "valid" (exit 0) or "invalid" (exit 1).
 *
 * Key files hold key blobs as raw bytes (orvocrypto keygen -o FILE).
 * Build: cc orvo_example.c $(pkg-config --cflags --libs orvocrypto) */
#include <orvocrypto.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int fail(const char* what, orvo_status status) {
  fprintf(stderr, "orvo_example: %s: %s (%s)\n", what, orvo_last_error(), orvo_status_name(status));
  return 2;
}

/* The whole file into a library buffer (which wipes the key when freed). */
static int read_file(const char* path, orvo_buffer* out) {
  unsigned char chunk[4096];
  unsigned char* bytes = NULL;
  size_t size = 0, n;
  int ok;
  FILE* f = fopen(path, "rb");
  if (f == NULL) {
    perror(path);
    return 0;
  }
  while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) {
    unsigned char* grown = realloc(bytes, size + n);
    if (grown == NULL) break;
    bytes = grown;
    memcpy(bytes + size, chunk, n);
    size += n;
  }
  fclose(f);
  ok = n == 0 && orvo_buffer_set(out, bytes, size) == ORVO_OK;
  if (bytes != NULL) memset(bytes, 0, size);
  free(bytes);
  return ok;
}

/* Decodes Base64 (RFC 4648) in place; returns the byte count or -1. */
static long base64_decode(char* text) {
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  unsigned long bits = 0;
  int have = 0;
  long n = 0;
  const char* p;
  for (p = text; *p && *p != '=' && *p != '\n' && *p != '\r'; ++p) {
    const char* at = strchr(alphabet, *p);
    if (at == NULL || *p == '\0') return -1;
    bits = (bits << 6) | (unsigned long)(at - alphabet);
    have += 6;
    if (have >= 8) {
      have -= 8;
      text[n++] = (char)((bits >> have) & 0xFF);
    }
  }
  return n;
}

static int open_values(const char* cipher_name, const char* key_path) {
  orvo_cipher* cipher = NULL;
  orvo_buffer key = ORVO_BUFFER_INIT, plain = ORVO_BUFFER_INIT;
  char line[65536];
  orvo_status s;
  int status = 0;
  if (!read_file(key_path, &key)) return 2;
  if ((s = orvo_cipher_new(cipher_name, &cipher)) != ORVO_OK) return fail("cipher", s);
  if ((s = orvo_cipher_set_key(cipher, key.data, key.size)) != ORVO_OK) status = fail(key_path, s);
  orvo_buffer_free(&key);
  while (status == 0 && fgets(line, sizeof line, stdin) != NULL) {
    long n = base64_decode(line);
    if (n < 0) {
      fprintf(stderr, "orvo_example: not Base64: %s", line);
      status = 2;
      break;
    }
    if ((s = orvo_cipher_decrypt(cipher, line, (size_t)n, &plain)) != ORVO_OK) {
      status = fail("decrypt", s);
      break;
    }
    while (plain.size > 0 && plain.data[plain.size - 1] == 0) --plain.size; /* the filler */
    printf("%.*s\n", (int)plain.size, (const char*)plain.data);
  }
  orvo_buffer_free(&plain);
  orvo_cipher_free(cipher);
  return status;
}

static int verify(const char* public_path, const char* signature_path) {
  orvo_rsa* rsa = NULL;
  orvo_buffer key = ORVO_BUFFER_INIT, signature = ORVO_BUFFER_INIT;
  unsigned char chunk[65536];
  size_t n;
  int valid = 0, status = 0;
  orvo_status s;
  if (!read_file(public_path, &key) || !read_file(signature_path, &signature)) return 2;
  if ((s = orvo_rsa_new(&rsa)) != ORVO_OK) return fail("rsa", s);
  if ((s = orvo_rsa_set_public_key(rsa, key.data, key.size)) != ORVO_OK) status = fail(public_path, s);
  while (status == 0 && (n = fread(chunk, 1, sizeof chunk, stdin)) > 0) {
    if ((s = orvo_rsa_update(rsa, chunk, n)) != ORVO_OK) status = fail("data", s);
  }
  if (status == 0 && (s = orvo_rsa_verify_final(rsa, signature.data, signature.size, &valid)) != ORVO_OK) {
    status = fail("verify", s);
  }
  if (status == 0) {
    printf("%s\n", valid ? "valid" : "invalid");
    status = valid ? 0 : 1;
  }
  orvo_buffer_free(&key);
  orvo_buffer_free(&signature);
  orvo_rsa_free(rsa);
  return status;
}

int main(int argc, char** argv) {
  if (argc == 4 && strcmp(argv[1], "open") == 0) return open_values(argv[2], argv[3]);
  if (argc == 4 && strcmp(argv[1], "verify") == 0) return verify(argv[2], argv[3]);
  fprintf(stderr, "usage: orvo_example open CIPHER KEYFILE < base64-lines\n"
                  "       orvo_example verify PUBLICKEYFILE SIGNATUREFILE < data\n"
                  "liborvocrypto %s\n", orvo_version());
  return 2;
}
