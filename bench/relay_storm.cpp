// An alert storm: N relays started a chosen number at a time in a temporary
// installation tree (console stand-in with its recording off, no trace
// library), first accepted, then refused; the same number of runs of a
// program that only calls msgpost3 once through the same library; and, with
// the syslog recorder preloaded, a refused storm that counts the event-log
// entries it leaves (one outage should leave one).
//
//   build/posix/bin/relay_storm [ALERTS [AT-A-TIME]]     (default 1000 and 32)
//
// It reports alerts per second and CPU time per alert (user + system of the
// child processes) and the relay's CPU per alert over the baseline's.

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Storm {
  double seconds = 0;
  double cpuSeconds = 0;
  int failed = 0;
};

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; }

/// Runs `argv` `count` times, at most `atATime` at once, with `env` added to
/// this process's environment.
Storm RunStorm(const std::vector<std::string>& argv, const std::vector<std::string>& env, int count,
               int atATime) {
  std::vector<std::string> envStrings;
  for (char** e = environ; *e != nullptr; ++e) envStrings.emplace_back(*e);
  envStrings.insert(envStrings.end(), env.begin(), env.end());
  std::vector<char*> envp;
  for (auto& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = argv;
  std::vector<char*> argp;
  for (auto& a : args) argp.push_back(a.data());
  argp.push_back(nullptr);

  Storm storm;
  int started = 0;
  int running = 0;
  const auto begin = std::chrono::steady_clock::now();
  while (started < count || running > 0) {
    if (started < count && running < atATime) {
      pid_t pid = 0;
      if (posix_spawn(&pid, argp[0], nullptr, nullptr, argp.data(), envp.data()) != 0) {
        std::perror("posix_spawn");
        std::exit(1);
      }
      ++started;
      ++running;
      continue;
    }
    int status = 0;
    rusage usage{};
    if (wait4(-1, &status, 0, &usage) < 0) {
      std::perror("wait4");
      std::exit(1);
    }
    --running;
    storm.cpuSeconds += Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++storm.failed;
  }
  storm.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  return storm;
}

void Report(const char* name, const Storm& storm, int count) {
  std::printf("%-28s %10.0f alerts/s %10.1f us CPU/alert %6d failed\n", name, count / storm.seconds,
              storm.cpuSeconds / count * 1e6, storm.failed);
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int atATime = argc > 2 ? std::atoi(argv[2]) : 32;
  if (count < 1 || atATime < 1) {
    std::fprintf(stderr, "usage: relay_storm [ALERTS [AT-A-TIME]]\n");
    return 2;
  }
  char pattern[] = "/tmp/relay-storm-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const fs::path root = fs::path(pattern) / "App";
  fs::create_directories(root / "bin");
  fs::create_directories(root / "etc");
  for (const char* file : {KIT_EVTRELAY, KIT_MSGPOST_ONCE, KIT_TALMSG}) {
    fs::copy_file(file, root / "bin" / fs::path(file).filename());
  }
  std::ofstream(root / "etc" / "AdpEvt.ini") << "[Severity]\r\nWARN=3\r\n";
  const std::string relay = (root / "bin" / "evtrelay").string();
  const std::vector<std::string> alert = {relay,      "WARN",       "DOMAIN\\NODE01",
                                          "10:20:30", "2006/10/13", "50% on C:\\data"};
  const std::vector<std::string> quiet = {"TALMSG_LOG=", "TLOXTRC_LOG=", "TZ=UTC0"};

  std::printf("%d alerts, %d at a time\n", count, atATime);
  auto with = [&quiet](std::vector<std::string> extra) {
    extra.insert(extra.end(), quiet.begin(), quiet.end());
    return extra;
  };
  const Storm accepted = RunStorm(alert, with({"TALMSG_RESULT=0"}), count, atATime);
  Report("evtrelay, accepted", accepted, count);
  const Storm refused = RunStorm(alert, with({"TALMSG_RESULT=-1"}), count, atATime);
  Report("evtrelay, refused", refused, count);
  const Storm baseline = RunStorm({(root / "bin" / "msgpost_once").string()},
                                  with({"TALMSG_RESULT=0"}), count, atATime);
  Report("msgpost3 alone", baseline, count);
  std::printf("CPU per alert, accepted relay over msgpost3 alone: %.2f (goal: at most 1.2)\n",
              accepted.cpuSeconds / baseline.cpuSeconds);

  // One outage: the lock starts absent, every alert is refused.
  fs::remove(root / "etc" / "nsm_evtlog.lock");
  const fs::path record = fs::path(pattern) / "syslog.log";
  RunStorm(alert,
           with({"TALMSG_RESULT=-1", std::string("LD_PRELOAD=") + KIT_SYSLOG_RECORDER,
                 "SYSLOG_RECORD=" + record.string()}),
           count, atATime);
  std::ifstream in(record);
  int entries = 0;
  for (std::string line; std::getline(in, line);) ++entries;
  std::printf("event-log entries of one refused storm: %d (goal: 1)\n", entries);

  fs::remove_all(pattern);
  return 0;
}
