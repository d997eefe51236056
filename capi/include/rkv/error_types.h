/* Named values of the error family for C: the error types that rkv_e1mes
 * posts and rkv_n1rty and the integrate calls report, and the arguments of
 * the attribute routines (rkv_seterrattr, rkv_setinitattr). They equal the
 * C++ constants of rkv/errors/post.hpp and rkv/errors/control.hpp.
 *
 * The routines take every argument by pointer, so a value is given through a
 * variable:
 *
 *   const int32_t all = RKV_ALL_TYPES, off = RKV_ATTR_OFF;
 *   rkv_seterrattr(&all, &off, &off);
 */
#ifndef RKV_ERROR_TYPES_H
#define RKV_ERROR_TYPES_H

/* Error types, in order of seriousness; 0 is the outcome of a call that
 * posted nothing. The immediate types are printed when posted and count as
 * WARNING and FATAL in an outcome. */
#define RKV_NONE 0
#define RKV_NOTE 1
#define RKV_ALERT 2
#define RKV_WARNING 3
#define RKV_FATAL 4
#define RKV_TERMINAL 5
#define RKV_WARNING_IMMEDIATE 6
#define RKV_FATAL_IMMEDIATE 7

/* The TYPE of the attribute routines that selects all seven types. */
#define RKV_ALL_TYPES 0

/* PRINT and STOP of the attribute routines: off, on, or left as it is. */
#define RKV_ATTR_OFF 0
#define RKV_ATTR_ON 1
#define RKV_ATTR_KEEP (-1)

#endif /* RKV_ERROR_TYPES_H */
