// semanticmap_node as a child process: start-up order of both nodes, the threads they run on, and
// the exit code for SIGINT (also while activation still waits for TF) and for a missing package.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "server_test_helpers.hpp"

extern char ** environ;

namespace {

using namespace std::chrono_literals;

/// A child process whose standard output is collected by a reader thread while it runs.
class ChildProcess
{
public:
  ChildProcess(
      const std::vector<std::string> & args, const std::map<std::string, std::string> & env)
  {
    std::vector<std::string> env_strings;
    for (char ** entry = environ; *entry != nullptr; ++entry) {
      const std::string item(*entry);
      const auto name = item.substr(0, item.find('='));
      if (env.count(name) == 0 && item.rfind("SPDLOG_", 0) != 0) {
        env_strings.push_back(item);
      }
    }
    for (const auto & [name, value] : env) {
      env_strings.push_back(name + "=" + value);
    }
    std::vector<std::string> arg_strings{SEMANTICMAP_NODE_PATH};
    arg_strings.insert(arg_strings.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (auto & arg : arg_strings) {
      argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    std::vector<char *> envp;
    for (auto & item : env_strings) {
      envp.push_back(item.data());
    }
    envp.push_back(nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
      throw std::system_error(errno, std::generic_category(), "pipe");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
      close(fds[0]);
      throw std::system_error(spawned, std::generic_category(), "posix_spawn");
    }
    reader_ = std::thread([this, fd = fds[0]]() {
      char buffer[4096];
      for (;;) {
        const ssize_t got = read(fd, buffer, sizeof(buffer));
        if (got > 0) {
          std::lock_guard<std::mutex> lock(mutex_);
          out_.append(buffer, static_cast<size_t>(got));
        } else if (got == 0 || errno != EINTR) {
          break;
        }
      }
      close(fd);
    });
  }

  ~ChildProcess()
  {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      wait();
    }
  }

  ChildProcess(const ChildProcess &) = delete;
  ChildProcess & operator=(const ChildProcess &) = delete;

  std::string output()
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return out_;
  }

  /// Waits (60 s at most: sanitised builds start slowly) until every text appears in the output.
  bool waitForOutput(const std::vector<std::string> & texts)
  {
    return server_test::waitFor(
        [&]() {
          const auto out = output();
          for (const auto & text : texts) {
            if (out.find(text) == std::string::npos) {
              return false;
            }
          }
          return true;
        },
        60s);
  }

  void signal(int sig) { kill(pid_, sig); }

  /// Waits for the child to end; its exit code, or -1 when it did not exit normally.
  int wait()
  {
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0) {
      if (errno != EINTR) {
        break;
      }
    }
    pid_ = -1;
    if (reader_.joinable()) {
      reader_.join();
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

private:
  pid_t pid_{-1};
  std::thread reader_;
  std::mutex mutex_;
  std::string out_;
};

struct TraceLine
{
  std::string layer;
  std::string operation;
  std::string thread;
};

std::vector<TraceLine> traces(const std::string & out)
{
  std::vector<TraceLine> lines;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    const auto at = line.find("layer-call ");
    if (at == std::string::npos) {
      continue;
    }
    std::istringstream fields(line.substr(at + 11));
    TraceLine trace;
    std::string thread_field;
    fields >> trace.layer >> trace.operation >> thread_field;
    trace.thread = thread_field.substr(thread_field.find('=') + 1);
    lines.push_back(trace);
  }
  return lines;
}

std::string writeParams(const std::string & file_name, bool publish_tf)
{
  const std::string path = std::string(::testing::TempDir()) + "/" + file_name + "_" +
                           std::to_string(getpid()) + ".yaml";
  std::ofstream out(path);
  for (const std::string node : {"global_semanticmap", "local_semanticmap"}) {
    const std::string layer = node == "global_semanticmap" ? "g_rec" : "l_rec";
    out << "/" << node << "/" << node << ":\n"
        << "  ros__parameters:\n"
        << "    global_frame: map\n"
        << "    robot_base_frame: base_link\n"
        << "    rolling_window: " << (node == "local_semanticmap" ? "true" : "false") << "\n"
        << "    width: 4\n"
        << "    height: 4\n"
        << "    resolution: 0.1\n"
        << "    update_frequency: 20.0\n"
        << "    publish_frequency: 2.0\n"
        << "    plugins: [\"marks\"]\n"
        << "    marks:\n"
        << "      plugin: \"nav2_costmap_2d::TestMarkLayer\"\n"
        << "    semanticmap_plugins: [\"" << layer << "\"]\n"
        << "    " << layer << ":\n"
        << "      plugin: \"semantic_map_test::RecordingLayer\"\n"
        << "      static_tf: " << (publish_tf && node == "global_semanticmap" ? "true" : "false")
        << "\n";
  }
  return path;
}

std::map<std::string, std::string> childEnvironment()
{
  return {
      {"AMENT_PREFIX_PATH", std::string(TEST_PREFIX_PATH) + ":" + BUILD_PREFIX_PATH},
      {"BRINDLEX_TEST_LAYER_TRACE", "1"},
      {"SPDLOG_STDOUT", "true"},
      {"SPDLOG_SYSTEMD", "false"},
  };
}

size_t positionOf(const std::string & out, const std::string & text)
{
  const auto at = out.find(text);
  return at == std::string::npos ? std::string::npos : at;
}

TEST(ServerExecutable, StartsBothNodesInOrderAndExitsWithZeroOnSigint)
{
  const auto params = writeParams("running", true);
  ChildProcess child({"--ros-args", "--params-file", params}, childEnvironment());
  ASSERT_TRUE(child.waitForOutput({"layer-call g_rec updateMaps", "layer-call l_rec updateMaps"}))
      << child.output();
  child.signal(SIGINT);
  EXPECT_EQ(child.wait(), 0);
  const auto out = child.output();

  // Configure global, configure local, activate global, activate local.
  const auto configure_global = positionOf(out, "SemanticmapROS global_semanticmap Configuring");
  const auto configure_local = positionOf(out, "SemanticmapROS local_semanticmap Configuring");
  const auto activate_global = positionOf(out, "SemanticmapROS global_semanticmap activating");
  const auto activate_local = positionOf(out, "SemanticmapROS local_semanticmap activating");
  ASSERT_NE(activate_local, std::string::npos) << out;
  EXPECT_LT(configure_global, configure_local);
  EXPECT_LT(configure_local, activate_global);
  EXPECT_LT(activate_global, activate_local);

  // All four transitions on one start-up thread, the cycles on one thread per node.
  std::vector<std::string> startup_sequence;
  std::string startup_thread;
  std::map<std::string, std::string> update_thread;
  bool one_startup_thread = true;
  for (const auto & trace : traces(out)) {
    if (trace.operation == "onInitialize" || trace.operation == "activate") {
      startup_sequence.push_back(trace.layer + "." + trace.operation);
      if (startup_thread.empty()) {
        startup_thread = trace.thread;
      }
      one_startup_thread = one_startup_thread && trace.thread == startup_thread;
    } else if (trace.operation == "updateBounds") {
      auto & known = update_thread[trace.layer];
      if (known.empty()) {
        known = trace.thread;
      }
      EXPECT_EQ(known, trace.thread) << trace.layer;
    }
  }
  EXPECT_EQ(
      startup_sequence,
      (std::vector<std::string>{
          "g_rec.onInitialize", "l_rec.onInitialize", "g_rec.activate", "l_rec.activate"}));
  EXPECT_TRUE(one_startup_thread);
  ASSERT_EQ(update_thread.size(), 2u);
  EXPECT_NE(update_thread["g_rec"], startup_thread);
  EXPECT_NE(update_thread["l_rec"], startup_thread);
  EXPECT_NE(update_thread["g_rec"], update_thread["l_rec"]);
  // The nodes were destroyed on the way out: the layers went with them.
  EXPECT_NE(positionOf(out, "layer-call g_rec destroy"), std::string::npos);
  EXPECT_NE(positionOf(out, "layer-call l_rec destroy"), std::string::npos);
  std::remove(params.c_str());
}

TEST(ServerExecutable, SigintWhileActivationWaitsForTfExitsWithZero)
{
  const auto params = writeParams("waiting", false);
  ChildProcess child({"--ros-args", "--params-file", params}, childEnvironment());
  ASSERT_TRUE(child.waitForOutput({"SemanticmapROS global_semanticmap activating"}))
      << child.output();
  child.signal(SIGINT);
  EXPECT_EQ(child.wait(), 0);
  const auto out = child.output();
  // No cycle ever ran: the pose was never known.
  EXPECT_EQ(positionOf(out, "layer-call g_rec updateBounds"), std::string::npos);
  EXPECT_EQ(positionOf(out, "layer-call l_rec updateBounds"), std::string::npos);
  std::remove(params.c_str());
}

TEST(ServerExecutable, MissingPackageInTheResourceIndexExitsWithOne)
{
  auto env = childEnvironment();
  env["AMENT_PREFIX_PATH"] = std::string(::testing::TempDir()) + "/no_such_prefix";
  ChildProcess child({}, env);
  EXPECT_EQ(child.wait(), 1);
  const auto out = child.output();
  EXPECT_NE(out.find("[ERROR] semanticmap_node cannot create its nodes"), std::string::npos) << out;
}

}  // namespace
