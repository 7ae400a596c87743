#ifndef MESSAGE_FILTERS__VISIBILITY_CONTROL_H_
#define MESSAGE_FILTERS__VISIBILITY_CONTROL_H_

// The library is built with default visibility; the macros exist so that code written against
// the real headers compiles.
#define MESSAGE_FILTERS_EXPORT __attribute__((visibility("default")))
#define MESSAGE_FILTERS_IMPORT
#define MESSAGE_FILTERS_PUBLIC __attribute__((visibility("default")))
#define MESSAGE_FILTERS_LOCAL __attribute__((visibility("hidden")))
#define MESSAGE_FILTERS_PUBLIC_TYPE

#endif  // MESSAGE_FILTERS__VISIBILITY_CONTROL_H_
