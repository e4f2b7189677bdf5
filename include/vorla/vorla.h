/*
 * vorla — the medical-insurance front-end library.
 *
 * The host (the hospital information system) calls one of four functions with
 * an invoke request, a zero-terminated GBK text:
 *
 *   {functionname:'bizbuss',params:{hid:'…',biztype:'…',ip:'…',indata:'…'}}
 *
 * and gets one answer text back: normally a GBK XML transaction document whose
 * head carries ErrCode "0" on success. A function name other than "bizbuss"
 * is answered with {returnCode:0,exception:'非法的函数名'} (GBK). Every call
 * returns normally with a text. Calls must not overlap: call from one thread,
 * one call at a time. The library never allocates memory that the caller frees;
 * the caller's answer buffer must be large enough for the longest answer.
 *
 * On Windows the four functions are __stdcall, exported by undecorated name
 * (ordinals: nodeaddon_invoke 1, node_invoke 2, tembro_invoke 3, invoke 4).
 */
#ifndef VORLA_VORLA_H
#define VORLA_VORLA_H

#include "vorla/version.h"

#if defined(_WIN32)
#define VORLA_CALL __stdcall
/* vorla.dll exports the four through its module-definition file (vorla.def),
   under the undecorated names; dllexport would add the decorated ones. */
#define VORLA_API
#else
#define VORLA_CALL
#define VORLA_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * invoke: `request` is the address of a pointer to the request, `answer` the
 * address of a pointer to the answer buffer. The first four bytes of the
 * buffer are set to spaces, then the L answer bytes are copied from offset 0
 * and a zero byte is written at offset L: the buffer needs max(4, L+1) bytes.
 */
VORLA_API void VORLA_CALL invoke(const char* const* request, char* const* answer);

/*
 * tembro_invoke: the same call with plain pointers to the request and to the
 * answer buffer; the buffer receives exactly what invoke writes.
 */
VORLA_API void VORLA_CALL tembro_invoke(const char* request, char* answer);

/*
 * node_invoke: `request` points to the request, `answer` is the address of a
 * pointer to the answer buffer. The answer (GBK, up to its first zero byte) is
 * written as Base64 (standard alphabet, "=" padding, no line breaks) from
 * offset 0: 4*ceil(L/3) characters and nothing else, no terminator. Zero-fill
 * the buffer before the call or bound what you read.
 */
VORLA_API void VORLA_CALL node_invoke(const char* request, char* const* answer);

/*
 * nodeaddon_invoke: as node_invoke, but what is encoded is the answer
 * converted to UTF-8 followed by one zero byte (U+1 bytes); the first four
 * bytes of the buffer are set to spaces before the 4*ceil((U+1)/3) characters
 * are copied from offset 0, with no terminator.
 */
VORLA_API void VORLA_CALL nodeaddon_invoke(const char* request, char* const* answer);

#ifdef __cplusplus
}
#endif

#endif
