/*
 * kez_loopwin: a stand-in for the loop window program, for the tests.
 *
 * It owns message queue N and serves the requests that the resource
 * gathering sends: connection requests, "query res NAME" (answered with the
 * value and a line feed, or "!" when it has none, then an ending message),
 * "set res NAME VALUE" and "quit". It is written straight on msgget, msgsnd
 * and msgrcv, not on the suite's own queue module, so that a framing fault
 * there cannot hide by being mirrored here.
 *
 *   kez_loopwin (N | -find BASE) [-v NAME=VALUE]... [-silent] [-stopped]
 *               [-log FILE] [-life SECONDS]
 *
 * -find takes the first free key from BASE on. Once the queue exists the
 * number is printed on its own line. -silent receives but never answers,
 * -stopped ends each query answer with the flag -3 ("not running"). Every
 * request is appended to the log as "FLAG|TEXT". The queue is removed when
 * "quit" has been answered, at SIGTERM or SIGINT, and when the life time
 * (60 seconds unless given) runs out.
 */
#include <signal.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace {

struct Message {
  long mtype;
  char mtext[124];
};

constexpr int kTextPart = 120;

volatile sig_atomic_t stop = 0;

extern "C" void on_signal(int) { stop = 1; }

bool send(int id, long type, int flag, const std::string& text) {
  Message msg{};
  msg.mtype = type;
  msg.mtext[0] = static_cast<char>('0' + flag);
  std::snprintf(msg.mtext + 1, sizeof msg.mtext - 1, "%.118s", text.c_str());
  return ::msgsnd(id, &msg, kTextPart, 0) == 0;
}

int usage() {
  std::fprintf(stderr,
               "usage: kez_loopwin (N | -find BASE) [-v NAME=VALUE]... [-silent] "
               "[-stopped] [-log FILE] [-life SECONDS]\n");
  return 2;
}

} // namespace

int main(int argc, char** argv) {
  long number = -1;
  long find_base = -1;
  bool silent = false, stopped = false;
  unsigned life = 60;
  std::string log_name;
  std::map<std::string, std::string> values;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool more = i + 1 < argc;
    if (arg == "-find" && more) {
      find_base = std::strtol(argv[++i], nullptr, 10);
    } else if (arg == "-v" && more) {
      std::string item = argv[++i];
      size_t eq = item.find('=');
      if (eq == std::string::npos) return usage();
      values[item.substr(0, eq)] = item.substr(eq + 1);
    } else if (arg == "-silent") {
      silent = true;
    } else if (arg == "-stopped") {
      stopped = true;
    } else if (arg == "-log" && more) {
      log_name = argv[++i];
    } else if (arg == "-life" && more) {
      life = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
    } else if (!arg.empty() && arg[0] != '-') {
      number = std::strtol(arg.c_str(), nullptr, 10);
    } else {
      return usage();
    }
  }
  if ((number <= 0) == (find_base <= 0)) return usage();

  int id = -1;
  if (find_base > 0) {
    for (long n = find_base; n < find_base + 1000 && id < 0; ++n) {
      id = ::msgget(static_cast<key_t>(n), IPC_CREAT | IPC_EXCL | 0600);
      if (id >= 0) number = n;
    }
  } else {
    id = ::msgget(static_cast<key_t>(number), IPC_CREAT | IPC_EXCL | 0600);
  }
  if (id < 0) {
    std::perror("kez_loopwin: msgget");
    return 1;
  }

  struct sigaction action {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGALRM, &action, nullptr);
  ::alarm(life);

  std::printf("%ld\n", number);
  std::fflush(stdout);
  std::fclose(stdout);

  FILE* log = log_name.empty() ? nullptr : std::fopen(log_name.c_str(), "a");
  int next_conn = 3;
  int status = 0;
  while (!stop) {
    Message msg{};
    ssize_t got = ::msgrcv(id, &msg, kTextPart, 1, MSG_NOERROR);
    if (got < 0) {
      if (errno == EINTR) continue;
      std::perror("kez_loopwin: msgrcv");
      status = 1;
      break;
    }
    if (got < 1) continue;
    const char flag = msg.mtext[0];
    const std::string text(msg.mtext + 1, strnlen(msg.mtext + 1, static_cast<size_t>(got - 1)));
    if (log) {
      std::fprintf(log, "%c|%s\n", flag, text.c_str());
      std::fflush(log);
    }
    if (silent) continue;
    if (flag == '/') {
      send(id, 2, 2, std::to_string(next_conn++));
      continue;
    }
    const long conn = flag - '0';
    if (text.rfind("query res ", 0) == 0) {
      auto it = values.find(text.substr(10));
      send(id, conn, 0, it != values.end() ? it->second + "\n" : std::string("!\n"));
      send(id, conn, stopped ? -3 : 1, "");
    } else if (text.rfind("set res ", 0) == 0) {
      std::string rest = text.substr(8);
      size_t blank = rest.find(' ');
      values[rest.substr(0, blank)] = blank == std::string::npos ? "" : rest.substr(blank + 1);
      send(id, conn, 1, "");
    } else if (text == "quit") {
      send(id, conn, 1, "");
      /* Give the client time to take the answer before the queue goes
       * (a minute at most: a busy machine may be slow to run it). */
      for (int i = 0; i < 600 && !stop; ++i) {
        struct msqid_ds ds {};
        if (::msgctl(id, IPC_STAT, &ds) != 0 || ds.msg_qnum == 0) break;
        ::usleep(100000);
      }
      break;
    } else {
      send(id, conn, 1, "");
    }
  }
  if (log) std::fclose(log);
  ::msgctl(id, IPC_RMID, nullptr);
  return status;
}
