/*
 * mqueue: the link between a program of the suite and a loop window.
 *
 * The loop window program is the server: it owns a numbered channel and
 * answers requests; a client opens the channel by its number, asks for a
 * connection number and then exchanges short text messages. Two transports
 * carry the same messages: a System V message queue whose key is the window
 * number plus an offset, and a TCP connection on the loopback address whose
 * port is that number. The module holds both halves; the resource gathering
 * at start-up is the client of this program.
 *
 * A message is a flag character (the character "0" plus the flag) and a
 * text of at most 118 characters; on the queue it travels with a text part
 * of 120 bytes ending in a zero byte, on the socket as a length byte
 * followed by the flag character and the text. Longer texts are cut, with a
 * warning. Requests go to the server as type 1 with the client's connection
 * number as flag; a connection request has the flag -1 ("/") and is
 * answered on type 2; the server answers a client on its connection number
 * with flag-0 data lines and one message whose flag is not 0.
 *
 * Every client wait, on either transport, is guarded by an alarm: a
 * partner that stops answering ends the program ("Queue not responding!!",
 * status 7) unless the caller set a handler of its own, in which case the
 * wait returns -1.
 */
#include "kez.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kTextPart = MQ_ITEM_LEN;    /* bytes of a message's text part on the queue */
constexpr int kMaxText = MQ_ITEM_LEN - 2; /* characters of text besides the flag and zero */
constexpr int kFirstSlot = 1;             /* slot i belongs to connection number i + 2 */
constexpr int kLastSlot = 19;
constexpr long kServerType = 1; /* every message to the server */
/* (Type 2 is the server's answer to a connection request.) */

/* The record a message travels in on the queue. */
struct mqueuebuf {
  long mtype;
  char mtext[124];
};

struct QueueState {
  int type = 0;                   /* transport: 0 message queue, 1 loopback socket */
  int offset = 0;                 /* added to the window number: the key or the port */
  int timeout = 20;               /* seconds a client waits for its partner */
  void (*to_func)(int) = nullptr; /* the caller's time-out handler, or none */
  struct sigaction top_func {};   /* the SIGALRM handling before the last arming */
  int msgqid = -1;                /* queue id of the last open or create */
  int sock1 = -1;                 /* client: socket to the server; server: listening socket */
  int sock2 = -1;                 /* server: socket to the current client */
  int sock_conn = -1;             /* server: connection number of the socket client */
  std::array<int, 25> conn{};     /* server: 1 for an open connection slot; slot 0 the handshake */
};

QueueState state;

/* Set when the alarm went off; a wait that sees it after the caller's own
 * handler returned gives up. */
volatile sig_atomic_t expired = 0;

extern "C" void on_alarm(int sig) {
  expired = 1;
  if (state.to_func)
    state.to_func(sig);
  else
    MQ_intrp();
}

void install_handler() {
  struct sigaction action {};
  action.sa_handler = on_alarm;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0; /* no restart: a blocked send comes back when the alarm fires */
  sigaction(SIGALRM, &action, &state.top_func);
}

std::string format_text(const char* format, va_list ap) {
  if (!format) return {};
  va_list copy;
  va_copy(copy, ap);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (n <= 0) return {};
  std::string text(static_cast<size_t>(n), '\0');
  std::vsnprintf(text.data(), text.size() + 1, format, ap);
  return text;
}

/* A text that fits one message. */
std::string fit(std::string text, const char* who) {
  if (text.size() > static_cast<size_t>(kMaxText)) {
    MESS_print(M_warn, "%s: Message cut to %d characters: %.40s...\n", who, kMaxText, text.c_str());
    text.resize(static_cast<size_t>(kMaxText));
  }
  return text;
}

char flag_char(int flag) { return static_cast<char>('0' + flag); }

void copy_item(char* item, const char* text, size_t len) {
  if (!item) return;
  len = strnlen(text, std::min(len, static_cast<size_t>(kTextPart - 1)));
  std::memcpy(item, text, len);
  item[len] = '\0';
}

void empty_item(char* item) {
  if (item) item[0] = '\0';
}

bool socket_mode() { return state.type == 1; }

/* ---- queue transport ---- */

int queue_send(int msgqid, long type, int flag, const std::string& text) {
  mqueuebuf msg{};
  msg.mtype = type;
  msg.mtext[0] = flag_char(flag);
  std::memcpy(msg.mtext + 1, text.data(), text.size());
  msg.mtext[1 + text.size()] = '\0';
  for (;;) {
    if (::msgsnd(msgqid, &msg, kTextPart, 0) == 0) return 0;
    if (errno != EINTR || expired) return -1;
  }
}

/* One message of the type without waiting: its byte count, or -1 with
 * errno. An oversized message is cut rather than left to block the queue. */
ssize_t queue_take(int msgqid, long type, mqueuebuf* msg) {
  *msg = mqueuebuf{};
  return ::msgrcv(msgqid, msg, kTextPart, type, IPC_NOWAIT | MSG_NOERROR);
}

/* The flag of a message taken, its text copied into item. */
int unpack(const mqueuebuf& msg, ssize_t got, char* item) {
  if (got < 1) {
    empty_item(item);
    return -1;
  }
  copy_item(item, msg.mtext + 1, static_cast<size_t>(got - 1));
  return msg.mtext[0] - '0';
}

/* ---- socket transport ---- */

bool write_all(int fd, const char* data, size_t len) {
  while (len > 0) {
    ssize_t n = ::send(fd, data, len, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR && !expired) continue;
      return false;
    }
    data += n;
    len -= static_cast<size_t>(n);
  }
  return true;
}

bool read_all(int fd, char* data, size_t len) {
  while (len > 0) {
    ssize_t n = ::read(fd, data, len);
    if (n < 0 && errno == EINTR && !expired) continue;
    if (n <= 0) return false;
    data += n;
    len -= static_cast<size_t>(n);
  }
  return true;
}

/* Sends one framed message; the bytes sent, or -1. */
int socket_send(int fd, int flag, const std::string& text) {
  if (fd < 0) return -1;
  std::string frame;
  frame += static_cast<char>(static_cast<unsigned char>(text.size() + 1));
  frame += flag_char(flag);
  frame += text;
  if (!write_all(fd, frame.data(), frame.size())) return -1;
  MESS_print(M_debug, "Send: %d %d %d => %s\n", static_cast<int>(frame.size()), static_cast<int>(text.size() + 1),
             flag_char(flag), text.c_str());
  return static_cast<int>(frame.size());
}

/* Reads one framed message: its flag with the text in item, or -1 when the
 * connection gives nothing. */
int socket_receive(int fd, char* item) {
  empty_item(item);
  unsigned char len = 0;
  if (fd < 0 || !read_all(fd, reinterpret_cast<char*>(&len), 1) || len == 0) return -1;
  char body[256];
  if (!read_all(fd, body, len)) return -1;
  copy_item(item, body + 1, static_cast<size_t>(len - 1));
  MESS_print(M_debug, "Received: %d %d %d => %s\n", static_cast<int>(len) + 1, static_cast<int>(len), body[0],
             item ? item : "");
  return body[0] - '0';
}

bool port_of(int num, in_port_t* port) {
  long value = static_cast<long>(num) + state.offset;
  if (value < 1 || value > 65535) return false;
  *port = htons(static_cast<uint16_t>(value));
  return true;
}

sockaddr_in loopback(in_port_t port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = port;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return addr;
}

/* A connected client socket to the window's port, or -1. */
int socket_connect(int num) {
  in_port_t port = 0;
  if (!port_of(num, &port)) return -1;
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  MESS_print(M_debug, "Opened socket\n");
  sockaddr_in addr = loopback(port);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return -1;
  }
  MESS_print(M_debug, "Connected to socket\n");
  return fd;
}

void close_socket(int* fd) {
  if (*fd >= 0) ::close(*fd);
  *fd = -1;
}

/* ---- server side ---- */

/* The slot of a connection number: 2 is the handshake channel. */
int slot_of(int conn_id) {
  int slot = conn_id == 2 ? 0 : conn_id - 2;
  return slot >= 0 && slot <= kLastSlot ? slot : -1;
}

/* Answers a connection request: a free slot's number on the handshake
 * channel, or a refusal when every slot is taken. */
int answer_connect(int msgqid, int* conn_id) {
  int slot = -1;
  for (int i = kFirstSlot; i <= kLastSlot; ++i) {
    if (!state.conn[static_cast<size_t>(i)]) {
      slot = i;
      break;
    }
  }
  state.conn[0] = 1;
  if (slot < 0) {
    MESS_print(M_warn, "MQ_sget: Every connection is taken, request refused\n");
    MQ_sput(msgqid, 2, -1, "refused");
    *conn_id = -1;
    return 2;
  }
  MQ_sput(msgqid, 2, 2, "%d", slot + 2);
  state.conn[0] = 0;
  state.conn[static_cast<size_t>(slot)] = 1;
  *conn_id = slot + 2;
  if (socket_mode()) state.sock_conn = slot + 2;
  return 2;
}

int dispatch(int msgqid, char flag, const char* text, int* conn_id, char* item) {
  MESS_print(M_debug, "SGET:%s\n", text);
  if (flag != '/') {
    *conn_id = flag - '0';
    copy_item(item, text, std::strlen(text));
    return 1;
  }
  empty_item(item);
  return answer_connect(msgqid, conn_id);
}

void free_socket_client() {
  close_socket(&state.sock2);
  int slot = slot_of(state.sock_conn);
  if (slot > 0) state.conn[static_cast<size_t>(slot)] = 0;
  state.sock_conn = -1;
}

int socket_sget(int msgqid, int* conn_id, char* item) {
  if (state.sock2 < 0) {
    sockaddr_in from{};
    socklen_t len = sizeof from;
    int fd = ::accept(state.sock1, reinterpret_cast<sockaddr*>(&from), &len);
    if (fd < 0) {
      MESS_print(M_debug, "Accept failed\n");
      MESS_print(M_debug, "accept: %s\n", std::strerror(errno));
      return -1;
    }
    state.sock2 = fd;
    MESS_print(M_debug, "Connection made from %X on port %d\n", ntohl(from.sin_addr.s_addr), ntohs(from.sin_port));
  }
  pollfd pfd{state.sock2, POLLIN, 0};
  if (::poll(&pfd, 1, 0) <= 0) return -1;
  char text[MQ_ITEM_LEN];
  unsigned char len = 0;
  char body[256];
  if (!read_all(state.sock2, reinterpret_cast<char*>(&len), 1) || len == 0 || !read_all(state.sock2, body, len)) {
    MESS_print(M_debug, "Client disconnect\n");
    free_socket_client();
    return -1;
  }
  copy_item(text, body + 1, static_cast<size_t>(len - 1));
  return dispatch(msgqid, body[0], text, conn_id, item);
}

} // namespace

/* ---- client half ---- */

int MQ_open(int num) {
  if (socket_mode()) {
    int fd = socket_connect(num);
    if (fd < 0) return -1;
    close_socket(&state.sock1);
    state.sock1 = fd;
    return 1;
  }
  install_handler();
  key_t key = static_cast<key_t>(state.offset + num);
  /* Key 0 is the private key: asking for it would make a new queue. */
  if (key == IPC_PRIVATE) return -1;
  int id = ::msgget(key, 0);
  if (id < 0) return -1;
  state.msgqid = id;
  return id;
}

int MQ_connect(int msgqid) {
  char item[MQ_ITEM_LEN];
  int flag = -1;
  std::string uid = std::to_string(static_cast<long>(::getuid()));
  if (socket_mode()) {
    if (state.sock1 < 0) return -1;
    MQ_enable_alarm();
    if (socket_send(state.sock1, -1, uid) >= 0) flag = socket_receive(state.sock1, item);
    MQ_disable_alarm();
  } else {
    if (msgqid < 0) return -1;
    MQ_clear(msgqid, 2);
    MQ_enable_alarm();
    if (queue_send(msgqid, kServerType, -1, uid) == 0) flag = MQ_get(msgqid, 2, item);
    MQ_disable_alarm();
  }
  if (flag != 2) return -1;
  int number = std::atoi(item);
  if (number < 3) return -1;
  if (!socket_mode()) MQ_clear(msgqid, number);
  return number;
}

int MQ_put(int msgqid, int conn_id, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  std::string text = fit(format_text(format, ap), "MQ_put");
  va_end(ap);
  if (socket_mode()) return socket_send(state.sock1, conn_id, text);
  if (msgqid < 0) return -1;
  MESS_print(M_debug, "PUT:%d:%s\n", conn_id, text.c_str());
  MQ_enable_alarm();
  int result = queue_send(msgqid, kServerType, conn_id, text);
  MQ_disable_alarm();
  return result;
}

int MQ_get(int msgqid, int conn_id, char* item) {
  if (socket_mode()) {
    /* The socket is waited on under the alarm too: a silent partner must
     * not hold the program for ever. */
    MQ_enable_alarm();
    int flag = socket_receive(state.sock1, item);
    MQ_disable_alarm();
    return flag;
  }
  if (msgqid < 0 || conn_id <= 0) {
    empty_item(item);
    return -1;
  }
  MQ_enable_alarm();
  for (int tries = 1;; ++tries) {
    mqueuebuf msg;
    ssize_t got = queue_take(msgqid, conn_id, &msg);
    int error = got < 0 ? errno : 0;
    MESS_print(M_debug, "GET-MSG:%d %d %d %d\n", conn_id, static_cast<int>(got), error, tries);
    if (got >= 0) {
      MQ_disable_alarm();
      int flag = unpack(msg, got, item);
      MESS_print(M_debug, "GET:%s\n", item ? item : "");
      return flag;
    }
    if ((error != ENOMSG && error != EINTR) || expired) {
      MQ_disable_alarm();
      empty_item(item);
      return -1;
    }
    if (tries >= 3) KEZ_sleep(tries <= 200 ? 0.1f : 1.0f);
    if (expired) {
      MQ_disable_alarm();
      empty_item(item);
      return -1;
    }
  }
}

/* ---- server half ---- */

int MQ_create(int num) {
  if (num == -1) return -2;
  state.conn.fill(0);
  if (socket_mode()) {
    in_port_t port = 0;
    if (!port_of(num, &port)) return -1;
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    /* Only this machine's programs reach the window's commands. */
    sockaddr_in addr = loopback(port);
    int bound = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    MESS_print(M_debug, "Socket bind on port: %d - %d\n", ntohs(port), bound);
    if (bound != 0 || ::listen(fd, 100) != 0) {
      ::close(fd);
      return -1;
    }
    MESS_print(M_debug, "Socket listen...: %d\n", fd);
    int flags = ::fcntl(fd, F_GETFL, 0);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    close_socket(&state.sock1);
    free_socket_client();
    state.sock1 = fd;
    return 1;
  }
  key_t key = static_cast<key_t>(state.offset + num);
  if (key == IPC_PRIVATE) return -1;
  int id = ::msgget(key, IPC_CREAT | IPC_EXCL | 0600);
  if (id < 0) return -1;
  state.msgqid = id;
  return id;
}

int MQ_sget(int msgqid, int* conn_id, char* item) {
  if (msgqid < 0 || !conn_id) return -1;
  if (socket_mode()) return state.sock1 < 0 ? -1 : socket_sget(msgqid, conn_id, item);
  mqueuebuf msg;
  ssize_t got = queue_take(msgqid, kServerType, &msg);
  if (got < 0) return -1;
  if (got < 1) return -1;
  char text[MQ_ITEM_LEN];
  copy_item(text, msg.mtext + 1, static_cast<size_t>(got - 1));
  return dispatch(msgqid, msg.mtext[0], text, conn_id, item);
}

int MQ_sput(int msgqid, int conn_id, int flag, const char* format, ...) {
  if (msgqid < 0 || conn_id < 0) return -1;
  int slot = slot_of(conn_id);
  if (slot < 0 || !state.conn[static_cast<size_t>(slot)]) return -1;
  va_list ap;
  va_start(ap, format);
  std::string text = fit(format_text(format, ap), "MQ_sput");
  va_end(ap);
  MESS_print(M_debug, "SPUT:%d:%s:", conn_id, text.c_str());
  int result = socket_mode() ? socket_send(state.sock2, flag, text) : queue_send(msgqid, conn_id, flag, text);
  if (flag < 0) state.conn[static_cast<size_t>(slot)] = 0;
  return result;
}

int MQ_clear(int msgqid, int index) {
  if (socket_mode()) return 0;
  if (msgqid < 0 || index <= 0) return -1;
  mqueuebuf msg;
  while (queue_take(msgqid, index, &msg) >= 0) {
  }
  return -1;
}

int MQ_del(int msgqid) {
  if (socket_mode()) {
    close_socket(&state.sock1);
    free_socket_client();
    return 0;
  }
  if (msgqid >= 0) ::msgctl(msgqid, IPC_RMID, nullptr);
  return 0;
}

int MQ_find(int ind) {
  for (int num = ind; num < ind + 50; ++num) {
    if (socket_mode()) {
      int fd = socket_connect(num);
      if (fd < 0) return num;
      ::close(fd);
      continue;
    }
    key_t key = static_cast<key_t>(state.offset + num);
    if (key == IPC_PRIVATE) continue;
    /* A queue that exists but is not ours is not free either. */
    if (::msgget(key, 0) < 0 && errno == ENOENT) return num;
  }
  return -1;
}

/* ---- settings and time-out ---- */

int MQ_settype(int ind) {
  state.type = ind == 1 ? 1 : 0;
  return 0;
}

int MQ_offset(int ind) {
  state.offset = ind;
  return 0;
}

int MQ_timeout(int val) {
  if (val <= 0) return -1;
  state.timeout = val;
  return 0;
}

int MQ_timeout_func(void (*func)(int)) {
  state.to_func = func;
  return 0;
}

int MQ_params() {
  int argc = 0;
  char** argv = nullptr;
  RES_getvals("parameter", &argc, &argv);
  for (int i = 0; i < argc; ++i) {
    const char* item = argv[i];
    if (std::strncmp(item, "to", 2) == 0) {
      /* "to=" and the seconds */
      if (std::strlen(item) > 3) MQ_timeout(std::atoi(item + 3));
    } else if (stricmp(item, "qtype=sock") == 0) {
      MQ_settype(1);
    } else if (stricmp(item, "qtype=mqueue") == 0) {
      MQ_settype(0);
    }
  }
  free_parsed_array(argc, argv);
  return 0;
}

int MQ_enable_alarm() {
  install_handler();
  expired = 0;
  ::alarm(static_cast<unsigned>(state.timeout));
  return 0;
}

int MQ_disable_alarm() {
  ::alarm(0);
  return 0;
}

void MQ_intrp() {
  MESS_print(M_warn, "Queue not responding!!\n");
  KEZ_exit(7);
}
