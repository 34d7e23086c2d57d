/*
 * system: processes, prompts and timing.
 *
 * The single exit point of orderly stops (KEZ_exit), the move of a batch
 * plot into the background, child processes with a ten-slot table of
 * background children, the line prompts with the "set" and "exit" commands
 * that every prompt accepts, sleeping and elapsed time for the window loops,
 * the virtual memory size and the version text.
 *
 * Prompts read whole lines from standard input. At the end of the input a
 * prompt ends the program with status 0 after a message, exactly as "exit"
 * does, so that a batch child on /dev/null never asks for ever.
 */
#include "kez.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr int kNumProcs = 10;

struct ProcItem {
  int index = 0;
  std::string name; /* the name the child was started under */
  int id = -1;      /* process id; -1 marks a free slot */
};

struct SystemState {
  std::array<ProcItem, kNumProcs> procs{};
  int num_proc = 0; /* one more than the highest slot ever filled */
  std::string infile, outfile;
  struct timeval start {};
  struct timeval current {};
  float elapse = 0.0f; /* seconds slept through KEZ_sleep */
  int end_status = 0;  /* exit status of a prompt at the end of its input */
};

SystemState state;

bool proc_ok(int proc) { return proc >= 0 && proc < kNumProcs; }

/* Reads one line of standard input without its line end. At the end of the
 * input the program ends, with status 0 unless a caller whose question has
 * no sound default set another (KEZ_set_end_status). */
std::string read_answer() {
  std::fflush(stdout);
  std::string line;
  int c;
  bool any = false;
  while ((c = std::getchar()) != EOF) {
    any = true;
    if (c == '\n') break;
    line += static_cast<char>(c);
  }
  if (!any) {
    MESS_print(M_warn, "\nKEZ_prompt: End of input, exiting\n");
    KEZ_exit(state.end_status);
  }
  return line;
}

/* Prompts for one line, cleaned of line ends and trailing blanks. Batch
 * mode has no one to answer: a question there ends the run rather than
 * taking whatever the standard input holds. */
std::string ask(const char* prompt) {
  if (FLAG_batch()) {
    MESS_print(M_error, "KEZ_prompt: Batch mode cannot ask: %s\n", prompt ? prompt : "");
    KEZ_exit(KEZ_EXIT_USAGE);
  }
  MESS_print_text(M_print, prompt);
  std::string line = read_answer();
  std::vector<char> buf(line.begin(), line.end());
  buf.push_back('\0');
  wstrim_string(buf.data());
  return buf.data();
}

/* The first blank-separated word of a line, at most max characters. */
std::string first_word(const std::string& line, size_t max) {
  std::istringstream in(line);
  std::string word;
  in >> word;
  if (word.size() > max) word.resize(max);
  return word;
}

/* Flushes the stdio buffers so that a child does not print them again. */
pid_t fork_clean() {
  std::fflush(nullptr);
  return ::fork();
}

/* Waits for child pid; other children that end meanwhile leave the table.
 * Returns the child's exit status, 128 plus the signal number for a child
 * killed by a signal, or -1 when there is no child to wait for. */
int wait_for(pid_t pid) {
  for (;;) {
    int status = 0;
    pid_t got = ::waitpid(-1, &status, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      MESS_print(M_error, "KEZ_run: No child to wait for (%s)\n", std::strerror(errno));
      return -1;
    }
    if (got == pid) {
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      if (WIFSIGNALED(status)) {
        MESS_print(M_warn, "KEZ_run: Child %d ended by signal %d\n", static_cast<int>(pid), WTERMSIG(status));
        return 128 + WTERMSIG(status);
      }
      continue;
    }
    int slot = KEZ_proc(got);
    if (slot >= 0) KEZ_clr_proc(slot);
  }
}

bool reopen(int fd, const std::string& name, int flags) {
  int opened = ::open(name.c_str(), flags, 0666);
  if (opened < 0) return false;
  if (opened != fd) {
    if (::dup2(opened, fd) < 0) return false;
    ::close(opened);
  }
  return true;
}

} // namespace

const char* KEZ_version() { return KEZ_VERSION_TEXT; }

void KEZ_exit(int status) {
  std::fflush(nullptr);
  std::exit(status);
}

int KEZ_get_pid() { return static_cast<int>(::getpid()); }

int KEZ_back_proc() {
  pid_t pid = fork_clean();
  if (pid < 0) {
    MESS_print(M_error, "KEZ_back_proc: Unable to start the background process (%s)\n", std::strerror(errno));
    KEZ_exit(1);
  }
  if (pid > 0) KEZ_exit(0);
  ::signal(SIGINT, SIG_DFL);
  ::close(0);
  ::close(1);
  ::close(2);
  int fd = ::open("/dev/null", O_RDWR);
  if (fd < 0) return 0;
  if (fd != 0) {
    ::dup2(fd, 0);
    ::close(fd);
  }
  ::dup2(0, 1);
  ::dup2(0, 2);
  ::setpgid(0, 0);
  return 1;
}

int KEZ_run(const char* filename, char** argv, char** env, int flag) {
  bool background = (flag & 2) != 0;
  if (background && state.num_proc >= kNumProcs) return 0;
  pid_t pid = fork_clean();
  if (pid < 0) {
    MESS_print(M_error, "KEZ_run: Unable to start %s (%s)\n", filename, std::strerror(errno));
    return -1;
  }
  if (pid == 0) {
    ::signal(SIGINT, SIG_DFL);
    if (flag & 1) {
      /* Run the program from its own directory. */
      std::string dir = filename;
      size_t slash = dir.rfind('/');
      if (slash != std::string::npos && ::chdir(slash == 0 ? "/" : dir.substr(0, slash).c_str()) != 0) ::_exit(1);
    }
    if (background) {
      if (!reopen(0, state.infile.empty() ? "/dev/null" : state.infile, O_RDONLY)) ::_exit(1);
      if (!state.outfile.empty() && !reopen(1, state.outfile, O_WRONLY | O_CREAT | O_TRUNC)) ::_exit(1);
      ::setpgid(0, 0);
    } else {
      if (!state.infile.empty() && !reopen(0, state.infile, O_RDONLY)) ::_exit(1);
      if (!state.outfile.empty() && !reopen(1, state.outfile, O_WRONLY | O_CREAT | O_TRUNC)) ::_exit(1);
    }
    if (env) environ = env;
    ::execvp(filename, argv);
    std::string text = std::string("Running ") + filename;
    std::perror(text.c_str());
    ::_exit(2);
  }
  if (background) return KEZ_add_proc(static_cast<int>(pid), argv && argv[0] ? argv[0] : filename);
  return wait_for(pid);
}

int KEZ_run_func(int (*func)(int), int arg) {
  pid_t pid = fork_clean();
  if (pid < 0) {
    MESS_print(M_error, "KEZ_run_func: Unable to fork (%s)\n", std::strerror(errno));
    return -1;
  }
  if (pid == 0) {
    ::signal(SIGINT, SIG_DFL);
    int result = func(arg);
    std::fflush(nullptr);
    ::_exit(result & 0xFF);
  }
  return wait_for(pid);
}

int KEZ_add_proc(int pid, const char* name) {
  for (int i = 0; i < kNumProcs; ++i) {
    ProcItem& item = state.procs[static_cast<size_t>(i)];
    if (item.id != -1) continue;
    item.id = pid;
    item.name = name ? std::string(name).substr(0, 14) : std::string();
    if (i >= state.num_proc) ++state.num_proc;
    return i;
  }
  return -1;
}

int KEZ_numproc() { return state.num_proc; }

int KEZ_proc(int pid) {
  if (pid < 0) return -1;
  for (int i = 0; i < kNumProcs; ++i)
    if (state.procs[static_cast<size_t>(i)].id == pid) return i;
  return -1;
}

int KEZ_proc_id(int proc) { return proc_ok(proc) ? state.procs[static_cast<size_t>(proc)].id : -1; }

const char* KEZ_proc_name(int proc) { return proc_ok(proc) ? state.procs[static_cast<size_t>(proc)].name.c_str() : ""; }

int KEZ_set_proc(int proc, int value) {
  if (!proc_ok(proc)) return -1;
  state.procs[static_cast<size_t>(proc)].id = value;
  return 0;
}

int KEZ_clr_proc(int proc) {
  if (!proc_ok(proc)) return -1;
  state.procs[static_cast<size_t>(proc)].id = -1;
  state.procs[static_cast<size_t>(proc)].name.clear();
  return 0;
}

int KEZ_chk_proc(int proc) {
  if (!proc_ok(proc)) return 0;
  int id = state.procs[static_cast<size_t>(proc)].id;
  if (id < 0) return 0;
  if (::kill(id, 0) == 0) return 1;
  KEZ_clr_proc(proc);
  return 0;
}

int KEZ_set_infile(const char* name) {
  state.infile = name ? name : "";
  return 1;
}

int KEZ_set_outfile(const char* name) {
  state.outfile = name ? name : "";
  return 1;
}

int KEZ_set_command(const char* string) {
  if (!string) return 0;
  if (std::strlen(string) >= 3 && strnicmp(string, "set", 3) == 0) {
    /* Skip the first word, take the name up to a blank or "=", skip any run
     * of blanks and "=", and the rest of the line is the value. */
    const char* p = string;
    while (*p && !std::isspace(static_cast<unsigned char>(*p))) ++p;
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    const char* name_start = p;
    while (*p && *p != '=' && *p != ' ') ++p;
    std::string name(name_start, static_cast<size_t>(p - name_start));
    while (*p == '=' || *p == ' ') ++p;
    if (!name.empty()) {
      RES_put(name.c_str(), p);
    } else {
      MESS_print(M_mess_d, "Set resources\n");
      RES_list();
      MESS_print(M_mess_d, "\n");
    }
    return 1;
  }
  if (std::strlen(string) >= 4 && strnicmp(string, "exit", 4) == 0) KEZ_exit(0);
  return 0;
}

int KEZ_set_end_status(int status) {
  const int before = state.end_status;
  state.end_status = status;
  return before;
}

char* KEZ_prompts(const char* prompt, char* str, int length) {
  if (length < 2) length = 2;
  if (!str) {
    str = static_cast<char*>(std::malloc(static_cast<size_t>(length) + 1));
    if (!str) return nullptr;
  }
  for (;;) {
    std::string line = ask(prompt);
    std::string word = first_word(line, static_cast<size_t>(length - 1));
    std::memcpy(str, word.c_str(), word.size() + 1);
    if (KEZ_set_command(line.c_str()) == 1) continue;
    return str;
  }
}

char* KEZ_promptl(const char* prompt, char* str) {
  if (!str) {
    str = static_cast<char*>(std::malloc(81));
    if (!str) return nullptr;
  }
  for (;;) {
    std::string line = ask(prompt);
    std::string word = first_word(line, KEZ_PROMPT_WORD);
    std::memcpy(str, word.c_str(), word.size() + 1);
    if (KEZ_set_command(word.c_str()) == 1) continue;
    return str;
  }
}

float KEZ_promptf(const char* prompt) {
  for (;;) {
    std::string line = ask(prompt);
    float value = 0.0f;
    int got = std::sscanf(line.c_str(), "%f", &value);
    if (got != 1) value = 0.0f;
    if (KEZ_set_command(line.c_str()) == 1) continue;
    if (got != 1 && !string_is_blank(line.c_str())) continue;
    return value;
  }
}

int KEZ_promptd(const char* prompt) {
  for (;;) {
    std::string line = ask(prompt);
    int value = 0;
    int got = std::sscanf(line.c_str(), "%d", &value);
    if (got != 1) value = 0;
    if (KEZ_set_command(line.c_str()) == 1) continue;
    if (got != 1 && !string_is_blank(line.c_str())) continue;
    return value;
  }
}

int KEZ_sleep(float secs) {
  if (!(secs > 0.0f)) return -1;
  long long usec = static_cast<long long>(static_cast<double>(secs) * 1e6);
  struct timespec ts;
  ts.tv_sec = static_cast<time_t>(usec / 1000000);
  ts.tv_nsec = static_cast<long>((usec % 1000000) * 1000);
  while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
  state.elapse += secs;
  return 0;
}

int KEZ_init_time() {
  ::gettimeofday(&state.start, nullptr);
  state.elapse = 0.0f;
  return 0;
}

float KEZ_elapse_time() {
  ::gettimeofday(&state.current, nullptr);
  long secs = static_cast<long>(state.current.tv_sec - state.start.tv_sec);
  long usecs = static_cast<long>(state.current.tv_usec - state.start.tv_usec);
  if (usecs < 0) {
    usecs += 1000000;
    secs -= 1;
  }
  return static_cast<float>(secs) + static_cast<float>(usecs) / 1000000.0f;
}

long int KEZ_get_virt_mem() {
  std::ifstream in("/proc/" + std::to_string(KEZ_get_pid()) + "/stat");
  if (!in) return 0;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  /* The command name (field 2) may hold blanks: count the fields from the
   * last ")" on, where field 3 begins. */
  size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 1));
  std::string field;
  for (int i = 3; i <= 23; ++i)
    if (!(fields >> field)) return 0;
  return std::strtol(field.c_str(), nullptr, 10);
}
