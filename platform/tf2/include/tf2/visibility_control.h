#ifndef TF2__VISIBILITY_CONTROL_H_
#define TF2__VISIBILITY_CONTROL_H_

// The library is built with default visibility; the macros exist so that code written against
// the real headers compiles.
#define TF2_EXPORT __attribute__((visibility("default")))
#define TF2_IMPORT
#define TF2_PUBLIC __attribute__((visibility("default")))
#define TF2_LOCAL __attribute__((visibility("hidden")))
#define TF2_PUBLIC_TYPE

#endif  // TF2__VISIBILITY_CONTROL_H_
