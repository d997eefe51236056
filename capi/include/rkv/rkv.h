/* C interface to the rkv library: the solver IVPRK, the public operations of
 * the error family, the routines that keep control after an error, and the
 * machine constants.
 *
 * Every argument is passed by pointer, as the library's routines take every
 * argument by reference. Character data are a pointer and a pointer to the
 * length (no terminating NUL is needed or written); the character pointer
 * may be null only when the length is 0 or less. Status travels as in the
 * C++ interface: in IDO, in status arguments and in the error state;
 * nothing here reports through return codes of its own.
 *
 * Any other null pointer argument is refused: the routine posts a TERMINAL
 * error with code RKV_NULL_POINTER_CODE under its own name, naming the
 * argument ("TERMINAL ERROR 20 from IVPRK.  The argument XEND is a null
 * pointer.  It must point to its value."), and returns without touching
 * anything else. As for every error, the attributes decide whether the
 * report is printed and whether the run ends (by default it does); see
 * rkv_seterrattr.
 *
 * Each thread has its own error state (name stack, messages, attributes),
 * which starts from the process-wide initial attributes (rkv_setinitattr).
 * IVPRK is not re-entrant: the right-hand side must not call it.
 *
 * A right-hand side must return to its caller: leaving it with longjmp
 * leaves the thread's rkv_ivprk integration refused for good (error 11).
 * To abandon the integration from inside the right-hand side, post a FATAL
 * error (RKV_FATAL) with rkv_e1mes and return; the call ends at the last
 * accepted point with the report, which the attributes print or not. */
#ifndef RKV_RKV_H
#define RKV_RKV_H

#include <stdint.h>

#include "rkv/error_types.h" /* RKV_FATAL, RKV_ALL_TYPES, RKV_ATTR_OFF, ... */

#pragma GCC visibility push(default) /* the interface the shared library exports */

#ifdef __cplusplus
extern "C" {
#endif

/* The error code of a refused null pointer argument. */
#define RKV_NULL_POINTER_CODE 20

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
/* A double under the same letter as rkv_e1setreal ("%(R1)"), with 17
 * significant digits: "1.0000000000000000E-03". */
void rkv_e1setdbl(const int32_t* index, const double* value);
void rkv_e1setstr(const int32_t* index, const char* text, const int32_t* text_len);
void rkv_e1usr(const char* switch_value, const int32_t* switch_len);
int32_t rkv_n1rty(const int32_t* which);

/* Keeping control after an error (the calling thread's error state).
 * rkv_seterrattr: for error type *type (RKV_NOTE to RKV_FATAL_IMMEDIATE, 1 to
 * 7, or RKV_ALL_TYPES for all seven), *print RKV_ATTR_ON prints reports of
 * that type, RKV_ATTR_OFF does not; *stop RKV_ATTR_ON ends the run when such
 * an error is reported, RKV_ATTR_OFF lets the call return; RKV_ATTR_KEEP
 * leaves an attribute as it is (error_types.h). Initially NOTE and ALERT are neither printed nor
 * stopping, WARNING is printed, FATAL and TERMINAL are printed and stop. rkv_geterrattr: reads the
 * two attributes of type *type (1 to 7). rkv_geterrtext: the message text of the last report (the
 * one waiting when its printing is off, else the last printed), copied into text[0..*text_len-1]
 * and padded with blanks; *length receives the length of the whole text. */
void rkv_seterrattr(const int32_t* type, const int32_t* print, const int32_t* stop);

/* The process-wide initial attributes, which every thread's error state
 * starts from when the thread first uses the library. rkv_setinitattr takes
 * the arguments of rkv_seterrattr and sets the calling thread's attributes as
 * well; other threads whose error state exists already keep theirs. Called
 * at the start of a program, it keeps control in every thread started later:
 *   const int32_t all = RKV_ALL_TYPES, off = RKV_ATTR_OFF;
 *   rkv_setinitattr(&all, &off, &off);
 * rkv_getinitattr reads the initial attributes of type *type (1 to 7). */
void rkv_setinitattr(const int32_t* type, const int32_t* print, const int32_t* stop);
void rkv_getinitattr(const int32_t* type, int32_t* print, int32_t* stop);
void rkv_geterrattr(const int32_t* type, int32_t* print, int32_t* stop);
void rkv_geterrtext(char* text, const int32_t* text_len, int32_t* length);

/* Machine constants and unit numbers. */
float rkv_amach(const int32_t* n);
int32_t rkv_imach(const int32_t* n);
void rkv_umach(const int32_t* n, int32_t* unitnum);

#ifdef __cplusplus
}
#endif

#pragma GCC visibility pop

#endif /* RKV_RKV_H */
