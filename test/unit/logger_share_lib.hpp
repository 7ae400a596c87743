// Entry points of the shared-instance test libraries, and loading them as pluginlib does.

#ifndef UNIT__LOGGER_SHARE_LIB_HPP_
#define UNIT__LOGGER_SHARE_LIB_HPP_

#include <dlfcn.h>

#include <stdexcept>
#include <string>

extern "C" {
void * logger_share_instance();
void logger_share_log(const char * text);
}

namespace test_util {

/// A test library opened with the flags class_loader uses (RTLD_LAZY, symbols kept local).
class LoadedShareLib
{
public:
  explicit LoadedShareLib(const std::string & path) : handle(dlopen(path.c_str(), RTLD_LAZY))
  {
    if (handle == nullptr) {
      throw std::runtime_error(std::string("dlopen failed: ") + dlerror());
    }
    instance = reinterpret_cast<void * (*)()>(dlsym(handle, "logger_share_instance"));
    log = reinterpret_cast<void (*)(const char *)>(dlsym(handle, "logger_share_log"));
    if (instance == nullptr || log == nullptr) {
      throw std::runtime_error("test library lacks its entry points: " + path);
    }
  }
  // Kept loaded: a library holding a unique symbol cannot be unloaded anyway.
  ~LoadedShareLib() = default;
  LoadedShareLib(const LoadedShareLib &) = delete;
  LoadedShareLib & operator=(const LoadedShareLib &) = delete;

  void * handle;
  void * (*instance)() = nullptr;
  void (*log)(const char *) = nullptr;
};

}  // namespace test_util

#endif  // UNIT__LOGGER_SHARE_LIB_HPP_
