/*
 * Helpers shared by the tests: temporary folders, files, captured standard
 * streams and scenarios run in a child process (for module state that must
 * start fresh, for KEZ_exit and for prompts fed through standard input).
 */
#ifndef KEZ_TEST_H
#define KEZ_TEST_H

#include <functional>
#include <string>

namespace kez_test {

/* A fresh folder under the system's temporary folder, removed with all it
 * holds when the object goes. */
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& text);

/* What a child scenario left behind. */
struct ChildResult {
  int status = -1; /* exit status, or 128 + signal */
  std::string out; /* standard output */
  std::string err; /* standard error */
};

/* Runs body in a forked child with input on its standard input; the child
 * ends with body's result unless body ends the process itself. */
ChildResult run_child(const std::function<int()>& body, const std::string& input = "");

/* Captures what body writes to the standard streams in this process. */
ChildResult capture(const std::function<void()>& body);

/* Output of a shell command (standard output), and its exit status. */
int run_command(const std::string& command, std::string* output = nullptr);

/* True when a program is on the PATH. */
bool have_program(const std::string& name);

/* How long a test waits for something that should happen soon: generous,
 * so that a machine whose every core is busy still gets there. */
inline constexpr double kPatience = 60.0;

/* Polls condition until it holds or `seconds` have passed; whether it
 * held. Tests wait for what they expect this way, never for a fixed time. */
bool wait_until(const std::function<bool()>& condition, double seconds = kPatience);

} // namespace kez_test

#endif
