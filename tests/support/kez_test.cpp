#include "kez_test.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace kez_test {

TempDir::TempDir() {
  std::string templ = (std::filesystem::temp_directory_path() / "kez-test-XXXXXX").string();
  if (!::mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
  path_ = templ;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

namespace {

std::string slurp_fd(int fd) {
  std::string text;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
  return text;
}

} // namespace

ChildResult run_child(const std::function<int()>& body, const std::string& input) {
  TempDir dir;
  std::string in_path = dir.file("in"), out_path = dir.file("out"), err_path = dir.file("err");
  write_file(in_path, input);
  std::fflush(nullptr);
  pid_t pid = ::fork();
  if (pid == 0) {
    int in = ::open(in_path.c_str(), O_RDONLY);
    int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    std::clearerr(stdin);
    int status = body();
    std::fflush(nullptr);
    ::_exit(status & 0xFF);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ChildResult result;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = read_file(out_path);
  result.err = read_file(err_path);
  return result;
}

ChildResult capture(const std::function<void()>& body) {
  TempDir dir;
  std::fflush(nullptr);
  int saved_out = ::dup(1), saved_err = ::dup(2);
  int out = ::open(dir.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  int err = ::open(dir.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ::dup2(out, 1);
  ::dup2(err, 2);
  ::close(out);
  ::close(err);
  body();
  std::fflush(nullptr);
  ::dup2(saved_out, 1);
  ::dup2(saved_err, 2);
  ::close(saved_out);
  ::close(saved_err);
  ChildResult result;
  result.status = 0;
  result.out = read_file(dir.file("out"));
  result.err = read_file(dir.file("err"));
  return result;
}

int run_command(const std::string& command, std::string* output) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return -1;
  std::string text = slurp_fd(::fileno(pipe));
  int status = ::pclose(pipe);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool wait_until(const std::function<bool()>& condition, double seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= until) return condition();
    ::usleep(10000);
  }
}

bool have_program(const std::string& name) { return run_command("command -v " + name + " >/dev/null 2>&1") == 0; }

} // namespace kez_test
