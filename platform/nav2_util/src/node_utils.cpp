#include "nav2_util/node_utils.hpp"

#include <algorithm>
#include <chrono>
#include <random>
#include <string>

namespace nav2_util {

std::string sanitize_node_name(const std::string & potential_node_name)
{
  std::string node_name(potential_node_name);
  std::replace_if(
      node_name.begin(),
      node_name.end(),
      [](char c) { return c == '/' || c == '.' || c == ' ' || c == ':'; },
      '_');
  return node_name;
}

std::string add_namespaces(const std::string & top_ns, const std::string & sub_ns)
{
  if (!top_ns.empty() && top_ns.back() == '/') {
    if (top_ns.front() == '/') {
      return top_ns + sub_ns;
    }
    return "/" + top_ns + sub_ns;
  }
  return top_ns + "/" + sub_ns;
}

std::string generate_internal_node_name(const std::string & prefix)
{
  thread_local std::mt19937 generator(static_cast<std::mt19937::result_type>(
      std::chrono::steady_clock::now().time_since_epoch().count()));
  static const char kDigits[] = "0123456789abcdef";
  std::uniform_int_distribution<int> digit(0, 15);
  std::string suffix;
  for (int i = 0; i < 8; ++i) {
    suffix += kDigits[digit(generator)];
  }
  return sanitize_node_name(prefix) + "_" + suffix;
}

}  // namespace nav2_util
