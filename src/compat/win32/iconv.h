// Code page conversion on Windows under the iconv interface: MultiByteToWideChar and
// WideCharToMultiByte, one character at a time. Names: "UTF-8", "UTF-16LE", "UTF-16BE",
// "ASCII", "KOI8-R", "KOI8-U", "ISO-8859-n" and "CPn" for any code page Windows has.
// A character the target can't hold (no best-fit substitutes) or input that is not valid
// in the source stops the conversion with EILSEQ, an incomplete input sequence with EINVAL,
// a full output with E2BIG, as iconv does.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct fp_iconv_state* iconv_t;

iconv_t iconv_open(const char* aTo, const char* aFrom);
size_t iconv(iconv_t aHandle, char** aIn, size_t* aInLeft, char** aOut, size_t* aOutLeft);
int iconv_close(iconv_t aHandle);

#ifdef __cplusplus
}
#endif
