// semanticmap_node and the demo as child processes: start-up order of both nodes, the threads they
// run on, SIGINT and SIGTERM at any moment of start-up, bad command lines and parameters, a failed
// start-up transition, a missing package, and the demo with the example configuration.
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
  /// How the child starts: which program, whether SIGINT and SIGTERM are blocked when it starts
  /// (a signal sent before the program unblocks them then waits instead of killing it), and
  /// whether standard error goes to output() as well (sanitizer reports, std::terminate).
  struct Launch
  {
    std::string program{SEMANTICMAP_NODE_PATH};
    bool signals_blocked{false};
    bool capture_stderr{false};
    std::string working_directory{};  // the test's own when empty
  };

  ChildProcess(
      const std::vector<std::string> & args, const std::map<std::string, std::string> & env)
      : ChildProcess(Launch(), args, env)
  {
  }

  ChildProcess(
      const Launch & launch,
      const std::vector<std::string> & args,
      const std::map<std::string, std::string> & env)
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
    std::vector<std::string> arg_strings{launch.program};
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
    if (!launch.working_directory.empty()) {
      posix_spawn_file_actions_addchdir_np(&actions, launch.working_directory.c_str());
    }
    if (launch.capture_stderr) {
      posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    }
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (launch.signals_blocked) {
      sigset_t signals;
      sigemptyset(&signals);
      sigaddset(&signals, SIGINT);
      sigaddset(&signals, SIGTERM);
      posix_spawnattr_setsigmask(&attributes, &signals);
      posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    }
    const int spawned =
        posix_spawn(&pid_, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
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

/// Parameter lines of one node that replace the defaults of writeParams(), by key.
using Overrides = std::map<std::string, std::string>;

/**
 * Writes a parameter file for both nodes, each with one recording layer ("g_rec", "l_rec"); the
 * global one publishes map -> base_link when @p publish_tf is set. @p overrides replace single
 * lines of "global_semanticmap" or "local_semanticmap".
 */
std::string writeParams(
    const std::string & file_name,
    bool publish_tf,
    const std::map<std::string, Overrides> & overrides = {})
{
  const std::string path = std::string(::testing::TempDir()) + "/" + file_name + "_" +
                           std::to_string(getpid()) + ".yaml";
  std::ofstream out(path);
  for (const std::string node : {"global_semanticmap", "local_semanticmap"}) {
    const std::string layer = node == "global_semanticmap" ? "g_rec" : "l_rec";
    const std::vector<std::pair<std::string, std::string>> defaults{
        {"global_frame", "map"},
        {"robot_base_frame", "base_link"},
        {"rolling_window", node == "local_semanticmap" ? "true" : "false"},
        {"width", "4"},
        {"height", "4"},
        {"resolution", "0.1"},
        {"update_frequency", "20.0"},
        {"publish_frequency", "2.0"},
        {"plugins", "[\"marks\"]"},
        {"marks.plugin", "\"nav2_costmap_2d::TestMarkLayer\""},
        {"semanticmap_plugins", "[\"" + layer + "\"]"},
        {layer + ".plugin", "\"semantic_map_test::RecordingLayer\""},
        {layer + ".static_tf",
         publish_tf && node == "global_semanticmap" ? "true" : "false"},
    };
    const auto found = overrides.find(node);
    out << "/" << node << "/" << node << ":\n"
        << "  ros__parameters:\n";
    for (const auto & [key, value] : defaults) {
      const bool replaced = found != overrides.end() && found->second.count(key) > 0;
      // Dotted keys are written flat: the parameter file reader joins nested keys the same way.
      out << "    " << key << ": " << (replaced ? found->second.at(key) : value) << "\n";
    }
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
  const auto configure_global = out.find("SemanticmapROS global_semanticmap Configuring");
  const auto configure_local = out.find("SemanticmapROS local_semanticmap Configuring");
  const auto activate_global = out.find("SemanticmapROS global_semanticmap activating");
  const auto activate_local = out.find("SemanticmapROS local_semanticmap activating");
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
  EXPECT_NE(out.find("layer-call g_rec destroy"), std::string::npos);
  EXPECT_NE(out.find("layer-call l_rec destroy"), std::string::npos);
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
  EXPECT_EQ(out.find("layer-call g_rec updateBounds"), std::string::npos);
  EXPECT_EQ(out.find("layer-call l_rec updateBounds"), std::string::npos);
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

// Both programs that host the two nodes: the server and the demo beside its simulated robot.
struct Program
{
  const char * name;
  const char * path;
  bool publishes_tf;  // the demo's robot publishes map -> odom -> base_link itself
};

const Program kNode{"semanticmap_node", SEMANTICMAP_NODE_PATH, false};
const Program kDemo{"semanticmap_demo", SEMANTICMAP_DEMO_PATH, true};

std::vector<std::string> programArgs(const Program & program, const std::string & params)
{
  std::vector<std::string> args{"--ros-args", "--params-file", params};
  if (&program == &kDemo) {
    args.insert(args.begin(), {"--output", std::string(::testing::TempDir()) + "/demo_maps"});
  }
  return args;
}

/// Counts the lines of @p out that contain @p text.
int linesWith(const std::string & out, const std::string & text)
{
  int count = 0;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    count += line.find(text) != std::string::npos ? 1 : 0;
  }
  return count;
}

TEST(ServerExecutable, SignalAtAnyMomentOfStartUpEndsInOrderWithZero)
{
  constexpr int kPoints = 12;
  for (const Program * program : {&kNode, &kDemo}) {
    const auto params = writeParams("signal", !program->publishes_tf);
    ChildProcess::Launch launch;
    launch.program = program->path;
    launch.signals_blocked = true;
    launch.capture_stderr = true;

    // How long a full start-up takes here (sanitised builds are much slower), measured once.
    std::chrono::steady_clock::duration startup{};
    {
      const auto start = std::chrono::steady_clock::now();
      ChildProcess child(launch, programArgs(*program, params), childEnvironment());
      ASSERT_TRUE(
          child.waitForOutput({"layer-call g_rec updateMaps", "layer-call l_rec updateMaps"}))
          << child.output();
      startup = std::chrono::steady_clock::now() - start;
      child.signal(SIGINT);
      ASSERT_EQ(child.wait(), 0) << child.output();
    }

    // Signals spread over the whole start-up, from before main() (they wait, blocked, until the
    // program lets them in) to the first cycles.
    for (int point = 0; point < kPoints; ++point) {
      const int sig = point % 2 == 0 ? SIGINT : SIGTERM;
      const auto delay = startup * point / (kPoints - 1);
      ChildProcess child(launch, programArgs(*program, params), childEnvironment());
      std::this_thread::sleep_for(delay);
      child.signal(sig);
      const int code = child.wait();
      const auto out = child.output();
      const auto at = program->name + std::string(" signal ") + std::to_string(sig) + " after " +
                      std::to_string(std::chrono::duration<double>(delay).count()) + " s";
      EXPECT_EQ(code, 0) << at << "\n" << out;
      for (const char * fault :
           {"terminate called", "runtime error", "AddressSanitizer", "ThreadSanitizer",
            "LeakSanitizer", "cannot create its nodes", "start-up transition"}) {
        EXPECT_EQ(out.find(fault), std::string::npos) << at << ": " << fault << "\n" << out;
      }
      // In order: every layer that was built was also destroyed.
      for (const char * layer : {"g_rec", "l_rec"}) {
        EXPECT_EQ(
            linesWith(out, std::string("layer-call ") + layer + " onInitialize"),
            linesWith(out, std::string("layer-call ") + layer + " destroy"))
            << at << ": " << layer << "\n"
            << out;
      }
    }
    std::remove(params.c_str());
  }
}

TEST(ServerExecutable, BadCommandLineOrParameterExitsWithOneAndSaysWhy)
{
  const std::string missing = std::string(::testing::TempDir()) + "/no_such_params.yaml";
  const std::string malformed =
      std::string(::testing::TempDir()) + "/malformed_" + std::to_string(getpid()) + ".yaml";
  std::ofstream(malformed) << "global_semanticmap: [\n";
  const auto wrong_type = writeParams(
      "wrong_type", false, {{"global_semanticmap", {{"resolution", "\"fine\""}}}});
  struct Case
  {
    const char * what;
    std::vector<std::string> args;
    std::string expected;       // after "<program> "
    std::string demo_expected;  // when the demo says it otherwise
  };
  const std::vector<Case> cases{
      {"missing file",
       {"--ros-args", "--params-file", missing},
       "cannot start: failed to parse ROS arguments: Couldn't parse params file",
       ""},
      {"no file after the flag",
       {"--ros-args", "--params-file"},
       "cannot start: failed to parse ROS arguments: Couldn't parse trailing --params-file flag",
       // The demo reads --params-file itself.
       "--params-file needs a value"},
      {"malformed file",
       {"--ros-args", "--params-file", malformed},
       "cannot start: failed to parse ROS arguments: Couldn't parse params file",
       ""},
      {"wrong-typed Navigation2 parameter",
       {"--ros-args", "--params-file", wrong_type},
       "cannot create its nodes: parameter 'resolution' has invalid type",
       ""},
  };
  for (const Program * program : {&kNode, &kDemo}) {
    for (const auto & c : cases) {
      ChildProcess::Launch launch;
      launch.program = program->path;
      launch.capture_stderr = true;
      ChildProcess child(launch, c.args, childEnvironment());
      EXPECT_EQ(child.wait(), 1) << program->name << ": " << c.what << "\n" << child.output();
      const auto out = child.output();
      const std::string expected =
          program == &kDemo && !c.demo_expected.empty()
              ? std::string("[ERROR] semanticmap_demo: ") + c.demo_expected
              : std::string("[ERROR] ") + program->name + " " + c.expected;
      EXPECT_EQ(linesWith(out, expected), 1)
          << program->name << ": " << c.what << "\n"
          << out;
      EXPECT_EQ(out.find("terminate called"), std::string::npos) << c.what << "\n" << out;
    }
  }
  // The demo's own options need their values too.
  for (const std::string option : {"--params-file", "--duration", "--output"}) {
    ChildProcess::Launch launch;
    launch.program = SEMANTICMAP_DEMO_PATH;
    ChildProcess child(launch, {option}, childEnvironment());
    EXPECT_EQ(child.wait(), 1) << option;
    EXPECT_EQ(linesWith(child.output(), "[ERROR] semanticmap_demo: " + option + " needs a"), 1)
        << child.output();
  }
  std::remove(malformed.c_str());
  std::remove(wrong_type.c_str());
}

TEST(ServerExecutable, FailedStartUpTransitionIsLoggedOnceAndTheProcessRunsOn)
{
  struct Case
  {
    const char * what;
    Overrides local;
    const char * cause;  // an ERROR of the node itself that must come with it
  };
  const std::vector<Case> cases{
      {"unknown layer class",
       {{"l_rec.plugin", "\"semantic_map_test::NoSuchLayer\""}},
       "semantic_map_test::NoSuchLayer"},
      {"zero resolution",
       {{"resolution", "0.0"}},
       "SemanticmapROS local_semanticmap cannot be configured: \"resolution\" 0 is not a finite "
       "positive number"},
  };
  for (const auto & c : cases) {
    const auto params = writeParams("failing", true, {{"local_semanticmap", c.local}});
    ChildProcess::Launch launch;
    launch.capture_stderr = true;  // the lifecycle's own records of the failure
    ChildProcess child(launch, {"--ros-args", "--params-file", params}, childEnvironment());
    const std::string failed =
        "[ERROR] semanticmap_node: start-up transition configure of local_semanticmap failed, the "
        "node is unconfigured";
    // The other node comes up and the process keeps serving it.
    ASSERT_TRUE(child.waitForOutput({failed, "layer-call g_rec updateMaps"}))
        << c.what << "\n" << child.output();
    child.signal(SIGINT);
    EXPECT_EQ(child.wait(), 0) << c.what;
    const auto out = child.output();
    EXPECT_EQ(linesWith(out, "start-up transition"), 1) << c.what << "\n" << out;
    EXPECT_EQ(linesWith(out, failed), 1) << c.what << "\n" << out;
    EXPECT_GE(linesWith(out, c.cause), 1) << c.what << "\n" << out;
    std::remove(params.c_str());
  }
}

TEST(ServerExecutable, DemoRunsTheExampleConfigurationAndWritesItsMaps)
{
  const std::string output =
      std::string(::testing::TempDir()) + "/demo_maps_" + std::to_string(getpid());
  ChildProcess::Launch launch;
  launch.program = SEMANTICMAP_DEMO_PATH;
  launch.capture_stderr = true;
  launch.working_directory = PROJECT_SOURCE_DIR;  // the configuration names data/map/ relatively
  auto env = childEnvironment();
  env.erase("BRINDLEX_TEST_LAYER_TRACE");
  ChildProcess child(
      launch,
      {"--duration", "1", "--output", output, "--params-file", "config/semanticmap_params.yaml"},
      env);
  EXPECT_EQ(child.wait(), 0) << child.output();
  const auto out = child.output();
  EXPECT_NE(out.find("semanticmap_demo: done"), std::string::npos) << out;
  for (const std::string node : {"global_semanticmap", "local_semanticmap"}) {
    for (const std::string topic : {"obstacle_map", "covered_map"}) {
      const std::string path = output + "/" + node + "_" + topic + ".png";
      EXPECT_EQ(linesWith(out, "-> " + path), 1) << path << "\n" << out;
      EXPECT_TRUE(std::ifstream(path).good()) << path;
      std::remove(path.c_str());
    }
  }
  EXPECT_EQ(linesWith(out, "[ERROR]"), 0) << out;
}

}  // namespace
