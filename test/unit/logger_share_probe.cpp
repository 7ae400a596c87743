// Helper program for the shared-instance test: logs from the executable, from two dlopen'ed
// shared libraries and, when built with LOGGER_SHARE_LINKED, from a linked one, interleaved.
// Without the linked library nothing of the header is in the process's global scope, so the two
// dlopen'ed libraries can meet only through the unique symbol of the logger object.

#include <iostream>

#include "logger_share_lib.hpp"
#include "util/util.hpp"

int main()
{
  try {
    test_util::LoadedShareLib a(LOGGER_SHARE_A_PATH);
    test_util::LoadedShareLib b(LOGGER_SHARE_B_PATH);
    brindlex::Logger::Log(1, "executable one");
    a.log("a one");
    b.log("b one");
#ifdef LOGGER_SHARE_LINKED
    logger_share_log("linked one");
#endif
    brindlex::Logger::Log(1, "executable two");
    a.log("a two");
  } catch (const std::exception & e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
  return 0;
}
