/*
 * The link to a loop window: both halves of the message protocol over the
 * socket and the message queue, and the window-id file. The input is cut
 * at NUL bytes into
 *   0  the bytes a loop window answers a client with (socket frames),
 *   1  the bytes a client sends to this program as a server (socket frames),
 *   2  the messages on a queue, one a line (flag character and text),
 *   3  the window text of device 6 ("w7", "+1:2:640x480:3", "0x2a", a name),
 *   4  the window-id file's text ("kezloop.win", "kezloop.1", "kezloop.7",
 *      "winfile" and the standard input all hold it),
 *   5  the "parameter" setting the link reads (transport and time-out).
 * The client talks to a stand-in window of its own (loop_peer.h); the server
 * listens on a free loopback port and is talked to by this target; the queue
 * is a private one that lives for one input (a crash inside the input
 * leaves it behind, for ipcrm). Window texts that name files
 * outside the scratch folder ("/", "~") are refused.
 */
#include "kez_fuzz.h"
#include "kezgks.h"
#include "loop_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kMaxMessages = 60; /* well inside a queue's default room */
constexpr int kMaxPolls = 100;

kez_fuzz::LoopPeer& peer() {
  static kez_fuzz::LoopPeer p;
  return p;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at < text.size()) {
    const size_t nl = text.find('\n', at);
    out.push_back(text.substr(at, nl == std::string::npos ? std::string::npos : nl - at));
    if (nl == std::string::npos) break;
    at = nl + 1;
  }
  return out;
}

/* A loopback port that nothing listens on just now. */
int free_port() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  int port = -1;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    port = ntohs(addr.sin_port);
  ::close(fd);
  return port;
}

/* The client half against the stand-in window: the handshake, then the
 * gathering's requests read to their ends. */
void socket_client(const std::string& replies) {
  peer().set_replies(replies.substr(0, 16384));
  MQ_settype(1);
  MQ_offset(peer().port() - 1);
  char item[MQ_ITEM_LEN];
  if (MQ_open(1) >= 0) {
    const int conn = MQ_connect(1);
    for (const char* request : {"query res title", "set res label a b", "quit"}) {
      if (MQ_put(1, conn, "%s", request) < 0) break;
      for (int i = 0; i < kMaxPolls && MQ_get(1, conn, item) == 0; ++i) {
      }
    }
  }
  peer().finish_input();
}

/* The server half on a port of its own, with this target as the client. */
void socket_server(const std::string& requests) {
  const int port = free_port();
  if (port < 0) return;
  MQ_settype(1);
  MQ_offset(port - 5);
  const int qid = MQ_create(5);
  if (qid < 0) return;
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    for (size_t at = 0; at < requests.size();) {
      const ssize_t n = ::send(fd, requests.data() + at, requests.size() - at, MSG_NOSIGNAL);
      if (n <= 0) break;
      at += static_cast<size_t>(n);
    }
    ::shutdown(fd, SHUT_WR);
    char item[MQ_ITEM_LEN];
    for (int i = 0; i < kMaxPolls; ++i) {
      int conn = -1;
      const int got = MQ_sget(qid, &conn, item);
      if (got == 1) MQ_sput(qid, conn, item[0] == 'q' ? -1 : 1, "%s", item);
      if (got < 0) break;
    }
  }
  if (fd >= 0) ::close(fd);
  MQ_del(qid);
}

/* Both halves on a private queue: requests for the server, then answers
 * the client takes; each message of the input is taken once, so nothing
 * waits for one that never comes. */
void queue_halves(const std::string& text) {
  const int qid = ::msgget(IPC_PRIVATE, IPC_CREAT | 0600);
  if (qid < 0) return;
  MQ_settype(0);
  struct Message {
    long mtype;
    char mtext[MQ_ITEM_LEN + 4];
  };
  auto send = [qid](long type, const std::string& body) {
    Message m{};
    m.mtype = type;
    std::memcpy(m.mtext, body.data(), std::min(body.size(), static_cast<size_t>(MQ_ITEM_LEN)));
    return ::msgsnd(qid, &m, MQ_ITEM_LEN, IPC_NOWAIT) == 0;
  };
  const auto lines = lines_of(text);
  int sent = 0;
  for (const std::string& line : lines)
    if (sent < kMaxMessages / 2 && send(1, line)) ++sent;
  char item[MQ_ITEM_LEN];
  for (int i = 0; i < sent; ++i) {
    int conn = -1;
    const int got = MQ_sget(qid, &conn, item);
    if (got == 1) MQ_sput(qid, conn, 1, "%s", item);
  }
  MQ_clear(qid, 2);
  for (int c = 3; c <= 21; ++c) MQ_clear(qid, c);
  int answers = 0;
  for (const std::string& line : lines)
    if (answers < kMaxMessages / 2 && send(3, line)) ++answers;
  for (int i = 0; i < answers; ++i) MQ_get(qid, 3, item);
  MQ_get(qid, 0, item);
  MQ_put(qid, 3, "%s", text.c_str());
  MQ_clear(qid, 1);
  MQ_del(qid);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    kez_fuzz::quiet();
    kez_fuzz::restore_fuzzer_timer();
    peer().start();
    RES_put("file_path", kez_fuzz::scratch_dir().c_str());
    return true;
  }();
  (void)ready;
  const auto p = kez_fuzz::parts(data, size, 6);
  if (p[3].find_first_of("/~") != std::string::npos) return -1;

  RES_put("parameter", p[5].c_str());
  MQ_params();
  MQ_timeout(5);
  socket_client(p[0]);
  socket_server(p[1]);
  queue_halves(p[2]);
  MQ_settype(0);
  MQ_offset(0);
  MQ_find(1);
  MQ_disable_alarm();
  kez_fuzz::restore_fuzzer_timer();

  for (const char* name : {"kezloop.win", "kezloop.1", "kezloop.7", "winfile"})
    kez_fuzz::write_file(name, reinterpret_cast<const uint8_t*>(p[4].data()), p[4].size());
  const std::string stdin_path = kez_fuzz::scratch_dir() + "/winfile";
  if (!std::freopen(stdin_path.c_str(), "r", stdin)) return 0;
  Gwindow_spec spec{0, 0, 640, 480, 0};
  gget_window_spec(p[3].c_str(), &spec);
  return 0;
}
