// A small shared library that logs through the shared header. Built three times for the
// shared-instance tests: two copies are dlopen'ed, one is linked to the test executable.

#include "util/util.hpp"

extern "C" {

__attribute__((visibility("default"))) void * logger_share_instance()
{
  return &brindlex::Logger::Instance();
}

__attribute__((visibility("default"))) void logger_share_log(const char * text)
{
  LOG_INFO("{}", text);
}

}  // extern "C"
