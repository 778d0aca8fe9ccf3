/* Splitting words off a command line as Windows splits off a program name,
 * for the helpers that pass the rest of their own command line on. */
#ifndef ORFA_E2E_COMMAND_WORDS_H
#define ORFA_E2E_COMMAND_WORDS_H

#include <stddef.h>
#include <wchar.h>

/* The length of the word at p: a quoted word ends after its closing quote,
 * a plain one at the first blank. */
static size_t word_length(const wchar_t* p) {
  const wchar_t* q = p;
  if (*q == L'"') {
    for (++q; *q && *q != L'"'; ++q) {
    }
    if (*q) ++q;
  } else {
    for (; *q && *q != L' ' && *q != L'\t'; ++q) {
    }
  }
  return (size_t)(q - p);
}

#endif
