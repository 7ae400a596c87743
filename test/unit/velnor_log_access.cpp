// Built as a shared library so that it joins the logger object that the process's libraries share
// (an executable keeps a private one); the tests read the library records through it.
#include <memory>

#include "util/util.hpp"

std::shared_ptr<spdlog::logger> velnorLibraryLogger()
{
  return brindlex::Logger::Instance().getLogger();
}
