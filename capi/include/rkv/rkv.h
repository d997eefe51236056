/* C interface to the rkv library: the solver IVPRK, the public operations of
 * the error family and the machine constants.
 *
 * Every argument is passed by pointer, as the library's routines take every
 * argument by reference. Character data are a pointer and a length (no
 * terminating NUL is needed). Status travels as in the C++ interface: in IDO,
 * in status arguments and in the error state; nothing here reports through
 * return codes of its own.
 *
 * Like the library itself, this interface is for use from one thread; IVPRK
 * is not re-entrant and the right-hand side must not call it. */
#ifndef RKV_RKV_H
#define RKV_RKV_H

#include <stdint.h>

#pragma GCC visibility push(default) /* the interface the shared library exports */

#ifdef __cplusplus
extern "C" {
#endif

/* Right-hand side: yprime[0..*neq-1] = f(*x, y[0..*neq-1]). */
typedef void (*rkv_rhs_fn)(const int32_t* neq, const float* x, const float* y, float* yprime);

/* IVPRK: see the README for IDO and PARAM. param has 50 entries, y has *neq. */
void rkv_ivprk(int32_t* ido, const int32_t* neq, rkv_rhs_fn fcn, float* x, const float* xend,
               const float* tol, float* param, float* y);

/* The error family. */
void rkv_e1psh(const char* name, const int32_t* name_len);
void rkv_e1pop(const char* name, const int32_t* name_len);
void rkv_e1mes(const int32_t* type, const int32_t* code, const char* text, const int32_t* text_len);
void rkv_e1setint(const int32_t* index, const int32_t* value);
void rkv_e1setreal(const int32_t* index, const float* value);
void rkv_e1setstr(const int32_t* index, const char* text, const int32_t* text_len);
void rkv_e1usr(const char* switch_value, const int32_t* switch_len);
int32_t rkv_n1rty(const int32_t* which);

/* Machine constants and unit numbers. */
float rkv_amach(const int32_t* n);
int32_t rkv_imach(const int32_t* n);
void rkv_umach(const int32_t* n, int32_t* unitnum);

#ifdef __cplusplus
}
#endif

#pragma GCC visibility pop

#endif /* RKV_RKV_H */
