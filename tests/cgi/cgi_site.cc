#include "tests/cgi/cgi_site.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <vector>

namespace {


}  // namespace

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void Write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::vector<std::string> SortedLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

bool Exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

CgiSite::CgiSite() {
  char pattern[] = "/tmp/vazivev-site-XXXXXX";
  root_ = mkdtemp(pattern);
  const std::string command = "cp -a '" VAZIVEV_INSTALLED "/.' '" + root_ + "'";
  if (system(command.c_str()) != 0) root_ += "/copy-failed";
}

CgiSite::~CgiSite() {
  const std::string command =
      "chmod -R u+w '" + root_ + "' 2>/dev/null; rm -rf '" + root_ + "' '" + root_ + "'-*";
  if (system(command.c_str()) != 0) {
  }
}

void CgiSite::WritePage(const std::string& name, const std::string& text) const {
  std::ofstream(Path("page/" + name + ".html"), std::ios::binary) << text;
}

CgiResult CgiSite::Run(const std::map<std::string, std::string>& env, const std::string& body,
                       const std::string& faketime) const {
  return Run(env, body, faketime, Limits());
}

CgiResult CgiSite::Run(const std::map<std::string, std::string>& env, const std::string& body,
                       const std::string& faketime, const Limits& limits) const {
  // Beside the site, so that the site holds only what the program wrote.
  const std::string in_path = root_ + ".in", out_path = root_ + ".out";
  std::ofstream(in_path, std::ios::binary) << body;
  std::vector<std::string> vars = {"PATH=/usr/bin:/bin"};
  for (const auto& [name, value] : env) vars.push_back(name + "=" + value);
  // Sanitizer builds: their settings pass through, and libfaketime may be
  // preloaded ahead of the sanitizer runtime.
  std::string asan = "ASAN_OPTIONS=verify_asan_link_order=0";
  if (const char* options = getenv("ASAN_OPTIONS")) asan = asan + ":" + options;
  vars.push_back(asan);
  if (const char* options = getenv("UBSAN_OPTIONS")) vars.push_back(std::string("UBSAN_OPTIONS=") + options);
  if (!faketime.empty()) {
    const char* lib = FakeTimeLibrary();
    if (lib != nullptr) vars.push_back(std::string("LD_PRELOAD=") + lib);
    vars.push_back("FAKETIME=@" + faketime);
    vars.push_back("FAKETIME_DONT_RESET=1");
  }
  if (env.count("TZ") == 0) vars.push_back("TZ=UTC");
  std::vector<char*> envp;
  for (std::string& v : vars) envp.push_back(&v[0]);
  envp.push_back(nullptr);
  const std::string program = root_ + "/vazivev.cgi";

  const pid_t pid = fork();
  if (pid == 0) {
    const int in = open(in_path.c_str(), O_RDONLY);
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, 0);
    dup2(out, 1);
    if (chdir(root_.c_str()) != 0) _exit(126);
    if (limits.file_size_limit > 0) {
      signal(SIGXFSZ, SIG_IGN);  // kept across exec
      const rlimit limit = {static_cast<rlim_t>(limits.file_size_limit), static_cast<rlim_t>(limits.file_size_limit)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (limits.address_space_limit > 0) {
      const rlimit limit = {static_cast<rlim_t>(limits.address_space_limit),
                            static_cast<rlim_t>(limits.address_space_limit)};
      setrlimit(RLIMIT_AS, &limit);
    }
    if (limits.run_as >= 0 && (setgroups(0, nullptr) != 0 || setgid(limits.run_as) != 0 || setuid(limits.run_as) != 0)) {
      _exit(125);
    }
    alarm(60);  // a hung request fails the test instead of the whole run
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    execve(argv[0], argv, envp.data());
    _exit(127);
  }
  int wstatus = 0;
  bool ended = false;
  if (!limits.kill_when_path.empty()) {
    while (!(ended = waitpid(pid, &wstatus, WNOHANG) == pid) &&
           Slurp(limits.kill_when_path).find(limits.kill_when_holds) == std::string::npos) {
    }
  }
  if (!ended && limits.kill_after_us >= 0) {
    usleep(static_cast<useconds_t>(limits.kill_after_us));
    kill(pid, SIGKILL);
  }
  if (!ended) waitpid(pid, &wstatus, 0);
  if (!faketime.empty()) {
    // Preloaded without its wrapper, libfaketime makes a semaphore and a
    // shared memory segment named after the process and never removes them.
    const std::string id = std::to_string(pid);
    unlink(("/dev/shm/faketime_shm_" + id).c_str());
    unlink(("/dev/shm/sem.faketime_sem_" + id).c_str());
  }
  CgiResult result;
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  result.out = Slurp(out_path);
  unlink(in_path.c_str());
  unlink(out_path.c_str());
  return result;
}

CgiResult CgiSite::Get(const std::string& query) const {
  return Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", query}});
}

std::string Figure(const std::string& page, const std::string& id) {
  const std::string open = "id=\"" + id + "\">";
  const size_t at = page.find(open);
  if (at == std::string::npos) return "(none)";
  const size_t from = at + open.size();
  return page.substr(from, page.find('<', from) - from);
}
