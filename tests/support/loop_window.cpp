#include "loop_window.h"

#include <poll.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace kez_test {

namespace {

/* Queue keys of one test process start here, apart from other processes'. */
int key_base() { return 610000 + static_cast<int>(::getpid() % 50000) * 20; }

} // namespace

void remove_queue(int key) {
  if (key <= 0) return;
  int id = ::msgget(static_cast<key_t>(key), 0);
  if (id >= 0) ::msgctl(id, IPC_RMID, nullptr);
}

LoopWindow::LoopWindow(const std::vector<std::string>& args) {
  int fds[2];
  if (::pipe(fds) != 0) return;
  std::vector<std::string> all = {KEZ_LOOPWIN_PATH, "-find", std::to_string(key_base()), "-log", dir_.file("log"),
                                  "-life",          "600"};
  all.insert(all.end(), args.begin(), args.end());
  std::fflush(nullptr);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(fds[1], 1);
    ::close(fds[0]);
    ::close(fds[1]);
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  pid_ = pid;
  std::string line;
  pollfd pfd{fds[0], POLLIN, 0};
  while (::poll(&pfd, 1, static_cast<int>(kPatience * 1000)) > 0) {
    char c;
    if (::read(fds[0], &c, 1) != 1 || c == '\n') break;
    line += c;
  }
  ::close(fds[0]);
  if (!line.empty()) number_ = std::atoi(line.c_str());
}

LoopWindow::~LoopWindow() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    if (wait_exit(5) == -1 && pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  remove_queue(number_);
}

std::string LoopWindow::log() const { return read_file(dir_.file("log")); }

int LoopWindow::wait_exit(double secs) {
  if (pid_ <= 0) return -1;
  for (int i = 0; i <= static_cast<int>(secs * 50); ++i) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    ::usleep(20000);
  }
  return -1;
}

} // namespace kez_test
