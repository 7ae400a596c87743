#include "rclcpp/expand_topic_or_service_name.hpp"

#include <cctype>
#include <string>

#include "rclcpp/exceptions/exceptions.hpp"

namespace rclcpp {
namespace detail {
namespace {

bool is_alnum(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

bool is_digit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Checks the name as the user wrote it (before expansion).
std::string validate_input_name(const std::string & name, const char * kind, size_t & index)
{
  const std::string k(kind);
  if (name.empty()) {
    index = 0;
    return k + " must not be empty string";
  }
  if (name.back() == '/') {
    index = name.size() - 1;
    return k + " must not end with a forward slash";
  }
  bool in_braces = false;
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (c == '{') {
      if (in_braces) {
        index = i;
        return k + " must not contain nested curly braces";
      }
      in_braces = true;
      continue;
    }
    if (c == '}') {
      if (!in_braces) {
        index = i;
        return k + " must not contain unmatched curly braces";
      }
      in_braces = false;
      continue;
    }
    if (c == '~') {
      if (i != 0 || (name.size() > 1 && name[1] != '/')) {
        index = i;
        return k + " must not contain tilde (~) unless it is the first character and " +
               "followed by a slash (/) if it is not the only character";
      }
      continue;
    }
    if (!is_alnum(c) && c != '_' && c != '/') {
      index = i;
      return k + " must not contain characters other than alphanumerics, '_', '~', '{', or '}'";
    }
    if (c == '/' && i + 1 < name.size() && name[i + 1] == '/') {
      index = i + 1;
      return k + " must not contain repeated forward slashes";
    }
    const bool token_start = (i == 0) || name[i - 1] == '/';
    if (token_start && is_digit(c)) {
      index = i;
      return k + " tokens must not start with a number";
    }
  }
  if (in_braces) {
    index = name.size() - 1;
    return k + " must not contain unmatched curly braces";
  }
  return "";
}

// Checks a fully expanded name.
std::string validate_full_name(const std::string & name, const char * kind, size_t & index)
{
  const std::string k(kind);
  if (name.empty() || name[0] != '/') {
    index = 0;
    return k + " must be absolute, it must lead with a '/'";
  }
  if (name.size() > 1 && name.back() == '/') {
    index = name.size() - 1;
    return k + " must not end with a forward slash";
  }
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (!is_alnum(c) && c != '_' && c != '/') {
      index = i;
      return k + " must not contain characters other than alphanumerics, '_', or '/'";
    }
    if (c == '/' && i + 1 < name.size() && name[i + 1] == '/') {
      index = i + 1;
      return k + " must not contain repeated forward slashes";
    }
    if (i > 0 && name[i - 1] == '/' && is_digit(c)) {
      index = i;
      return k + " must not have a token that starts with a number";
    }
  }
  return "";
}

[[noreturn]] void throw_name_error(
    const std::string & name, const std::string & reason, size_t index, bool is_service)
{
  if (is_service) {
    throw exceptions::InvalidServiceNameError(name.c_str(), reason.c_str(), index);
  }
  throw exceptions::InvalidTopicNameError(name.c_str(), reason.c_str(), index);
}

std::string replace_all(std::string text, const std::string & from, const std::string & to)
{
  size_t pos = 0;
  while ((pos = text.find(from, pos)) != std::string::npos) {
    text.replace(pos, from.size(), to);
    pos += to.size();
  }
  return text;
}

}  // namespace

std::string validate_node_name(const std::string & node_name, size_t & invalid_index)
{
  if (node_name.empty()) {
    invalid_index = 0;
    return "node name must not be empty";
  }
  for (size_t i = 0; i < node_name.size(); ++i) {
    if (!is_alnum(node_name[i]) && node_name[i] != '_') {
      invalid_index = i;
      return "node name must not contain characters other than alphanumerics or '_'";
    }
  }
  if (is_digit(node_name[0])) {
    invalid_index = 0;
    return "node name must not start with a number";
  }
  if (node_name.size() > 255) {
    invalid_index = 254;
    return "node name should not exceed 255 characters";
  }
  return "";
}

std::string validate_namespace(const std::string & namespace_, size_t & invalid_index)
{
  if (namespace_.empty()) {
    invalid_index = 0;
    return "namespace must not be empty";
  }
  if (namespace_[0] != '/') {
    invalid_index = 0;
    return "namespace must be absolute, it must lead with a '/'";
  }
  if (namespace_.size() > 1 && namespace_.back() == '/') {
    invalid_index = namespace_.size() - 1;
    return "namespace must not end with a forward slash";
  }
  for (size_t i = 0; i < namespace_.size(); ++i) {
    const char c = namespace_[i];
    if (!is_alnum(c) && c != '_' && c != '/') {
      invalid_index = i;
      return "namespace must not contain characters other than alphanumerics, '_', or '/'";
    }
    if (c == '/' && i + 1 < namespace_.size() && namespace_[i + 1] == '/') {
      invalid_index = i + 1;
      return "namespace must not contain repeated forward slashes";
    }
    if (i > 0 && namespace_[i - 1] == '/' && is_digit(c)) {
      invalid_index = i;
      return "namespace must not have a token that starts with a number";
    }
  }
  return "";
}

}  // namespace detail

std::string expand_topic_or_service_name(
    const std::string & name,
    const std::string & node_name,
    const std::string & namespace_,
    bool is_service)
{
  const char * kind = is_service ? "service name" : "topic name";
  size_t index = 0;
  std::string reason = detail::validate_node_name(node_name, index);
  if (!reason.empty()) {
    throw exceptions::InvalidNodeNameError(node_name.c_str(), reason.c_str(), index);
  }
  reason = detail::validate_namespace(namespace_, index);
  if (!reason.empty()) {
    throw exceptions::InvalidNamespaceError(namespace_.c_str(), reason.c_str(), index);
  }
  reason = detail::validate_input_name(name, kind, index);
  if (!reason.empty()) {
    detail::throw_name_error(name, reason, index, is_service);
  }

  const std::string ns_prefix = namespace_ == "/" ? "" : namespace_;
  const std::string node_fqn = ns_prefix + "/" + node_name;
  std::string expanded;
  if (name[0] == '/') {
    expanded = name;
  } else if (name[0] == '~') {
    expanded = node_fqn + name.substr(1);
  } else {
    expanded = ns_prefix + "/" + name;
  }
  expanded = detail::replace_all(expanded, "{node}", node_name);
  expanded = detail::replace_all(expanded, "{namespace}", namespace_ == "/" ? "" : namespace_);
  expanded = detail::replace_all(expanded, "{ns}", namespace_ == "/" ? "" : namespace_);
  if (expanded.find('{') != std::string::npos) {
    detail::throw_name_error(
        name,
        std::string(kind) + " contains an unknown substitution",
        expanded.find('{'),
        is_service);
  }
  // A substitution of the root namespace may leave a double slash.
  expanded = detail::replace_all(expanded, "//", "/");
  reason = detail::validate_full_name(expanded, kind, index);
  if (!reason.empty()) {
    detail::throw_name_error(expanded, reason, index, is_service);
  }
  return expanded;
}

}  // namespace rclcpp
