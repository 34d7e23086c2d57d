#include "kez.h"
#include "kez_test.h"
#include "loop_window.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

using kez_test::LoopWindow;
using kez_test::run_child;

std::string uid_text() { return std::to_string(static_cast<long>(::getuid())); }

/* A raw queue message as the operating system hands it over. */
struct RawMessage {
  long mtype;
  char mtext[124];
};

/* A queue made and removed by the test itself, on raw calls. */
class RawQueue {
 public:
  /* A queue of exactly this key, when the key is free. */
  explicit RawQueue(int key) {
    id_ = ::msgget(key, IPC_CREAT | IPC_EXCL | 0600);
    if (id_ >= 0) key_ = key;
  }
  RawQueue() {
    for (int key = 700000 + static_cast<int>(::getpid() % 50000) * 20, n = 0; n < 1000; ++key, ++n) {
      id_ = ::msgget(key, IPC_CREAT | IPC_EXCL | 0600);
      if (id_ >= 0) {
        key_ = key;
        break;
      }
    }
  }
  ~RawQueue() {
    if (id_ >= 0) ::msgctl(id_, IPC_RMID, nullptr);
  }
  int id() const { return id_; }
  int key() const { return key_; }
  void send(long type, char flag, const std::string& text) const {
    RawMessage msg{};
    msg.mtype = type;
    msg.mtext[0] = flag;
    std::memcpy(msg.mtext + 1, text.c_str(), text.size() + 1);
    ASSERT_EQ(::msgsnd(id_, &msg, 120, IPC_NOWAIT), 0);
  }
  /* The next message of a type without waiting: its size, or -1. */
  ssize_t take(long type, RawMessage* msg) const {
    *msg = RawMessage{};
    return ::msgrcv(id_, msg, 120, type, IPC_NOWAIT);
  }

 private:
  int id_ = -1;
  int key_ = -1;
};

TEST(QueueClient, ExchangesWithTheLoopWindow) {
  LoopWindow window({"-v", "title=From the window"});
  ASSERT_TRUE(window.running());
  const int number = window.number();
  auto r = run_child([number] {
    int id = MQ_open(number);
    if (id < 0) return 1;
    int conn = MQ_connect(id);
    int second = MQ_connect(id);
    char item[MQ_ITEM_LEN];
    std::string seen;
    MQ_put(id, conn, "query res %s", "title");
    for (int flag = 0; flag == 0;) {
      flag = MQ_get(id, conn, item);
      seen += std::to_string(flag) + "[" + item + "]";
    }
    MQ_put(id, conn, "query res %s", "absent");
    for (int flag = 0; flag == 0;) {
      flag = MQ_get(id, conn, item);
      seen += std::to_string(flag) + "[" + item + "]";
    }
    std::printf("%d %d %s\n", conn, second, seen.c_str());
    return 0;
  });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "3 4 0[From the window\n]1[]0[!\n]1[]\n");
  EXPECT_EQ(window.log(), "/|" + uid_text() + "\n/|" + uid_text() + "\n3|query res title\n3|query res absent\n");
}

TEST(QueueClient, LongTextsAreCutToOneMessage) {
  LoopWindow window;
  ASSERT_TRUE(window.running());
  const int number = window.number();
  auto r = run_child([number] {
    int id = MQ_open(number);
    int conn = MQ_connect(id);
    std::string value(300, 'x');
    return MQ_put(id, conn, "set res label %s", value.c_str()) == 0 ? 0 : 1;
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("MQ_put: Message cut to 118 characters"), std::string::npos) << r.err;
  const std::string sent = "set res label " + std::string(104, 'x');
  /* Nothing answers a put: the window logs it in its own time. */
  kez_test::wait_until([&] { return window.log().find("3|" + sent + "\n") != std::string::npos; });
  EXPECT_NE(window.log().find("3|" + sent + "\n"), std::string::npos) << window.log();
}

TEST(QueueClient, MissingQueueFailsAtOnce) {
  /* "At once": with a partner's time-out of a day, a wait would never end
   * within the test's own time limit. */
  auto r = run_child([] {
    int free_number = MQ_find(720000 + static_cast<int>(::getpid() % 50000) * 20);
    if (free_number < 0) return 2;
    MQ_timeout(86400);
    const int missing = MQ_open(free_number), zero = MQ_open(0), connected = MQ_connect(-1);
    char item[MQ_ITEM_LEN] = "stale";
    const int got = MQ_get(-1, 3, item);
    std::printf("%d %d %d %d[%s]", missing, zero, connected, got, item);
    return 0;
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "-1 -1 -1 -1[]") << "open, open of 0, connect, get and its emptied item";
}

TEST(QueueClient, SilentPartnerEndsTheProgramWithStatus7) {
  LoopWindow window({"-silent"});
  ASSERT_TRUE(window.running());
  const int number = window.number();
  auto r = run_child([number] {
    /* Without the parameter's time-out the wait would outlast the test. */
    MQ_timeout(86400);
    RES_put("parameter", "qtype=mqueue,to=1,to");
    MQ_params();
    int id = MQ_open(number);
    MQ_connect(id);
    return 0;
  });
  EXPECT_EQ(r.status, 7);
  EXPECT_EQ(r.err, "Queue not responding!!\n");
}

volatile sig_atomic_t handler_ran = 0;
void note_timeout(int) { handler_ran = 1; }

TEST(QueueClient, OwnTimeoutHandlerMakesTheWaitFail) {
  LoopWindow window({"-silent"});
  ASSERT_TRUE(window.running());
  const int number = window.number();
  auto r = run_child([number] {
    MQ_timeout(1);
    MQ_timeout_func(note_timeout);
    int id = MQ_open(number);
    int conn = MQ_connect(id);
    char item[MQ_ITEM_LEN];
    handler_ran = 0;
    int flag = MQ_get(id, 3, item);
    return conn == -1 && flag == -1 && handler_ran ? 0 : 1;
  });
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST(QueueServer, HandsOutNineteenConnectionsThenRefuses) {
  RawQueue queue;
  ASSERT_GE(queue.id(), 0);
  const int key = queue.key();
  const int id = queue.id();
  auto r = run_child([&queue, key, id] {
    /* The server half works on the id the test made. */
    (void)key;
    std::string out;
    char item[MQ_ITEM_LEN];
    int conn = 0;
    out += std::to_string(MQ_sget(id, &conn, item)) + ";";
    for (int i = 0; i < 20; ++i) {
      queue.send(1, '/', "1000");
      int got = MQ_sget(id, &conn, item);
      RawMessage msg;
      ssize_t size = queue.take(2, &msg);
      if (i == 0 || i >= 18)
        out += std::to_string(got) + ":" + std::to_string(conn) + ":" + std::to_string(size) + ":" + msg.mtext[0] +
               std::string(msg.mtext + 1) + ";";
    }
    /* A negative flag frees a connection: the next request gets it. */
    MQ_sput(id, 5, -1, "bye");
    RawMessage msg;
    queue.take(5, &msg);
    out += std::string(msg.mtext) + ";";
    queue.send(1, '/', "1000");
    MQ_sget(id, &conn, item);
    queue.take(2, &msg);
    out += std::to_string(conn) + ";";
    queue.send(1, '7', "query res title");
    int request = MQ_sget(id, &conn, item);
    out += std::to_string(request) + ":" + std::to_string(conn) + ":" + item + ";";
    out += std::to_string(MQ_sput(id, 22, 1, "x")) + std::to_string(MQ_sput(-1, 3, 1, "x"));
    std::printf("%s\n", out.c_str());
    return 0;
  });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "-1;2:3:120:23;2:21:120:221;2:-1:120:/refused;/bye;5;1:7:query res title;-1-1\n");
  EXPECT_NE(r.err.find("Every connection is taken"), std::string::npos);
}

TEST(QueueServer, ClearFindAndCreate) {
  RawQueue a;
  ASSERT_GE(a.id(), 0);
  const int key = a.key();
  RawQueue b(key + 1);
  ASSERT_GE(b.id(), 0) << "the next key is taken by another process";
  auto r = run_child([&a, key] {
    a.send(5, '0', "one");
    a.send(5, '0', "two");
    a.send(6, '0', "other");
    EXPECT_EQ(MQ_clear(a.id(), 5), -1);
    RawMessage msg;
    EXPECT_EQ(a.take(5, &msg), -1) << "every message of connection 5 cleared";
    EXPECT_EQ(a.take(6, &msg), 120) << "connection 6 untouched";
    /* The first free number comes after the two taken ones. */
    int found = MQ_find(key);
    int made = MQ_create(found);
    EXPECT_EQ(found, key + 2);
    EXPECT_GE(made, 0);
    EXPECT_EQ(MQ_create(found), -1) << "a number in use";
    EXPECT_EQ(MQ_create(-1), -2);
    EXPECT_EQ(MQ_open(found), made);
    MQ_del(made);
    const bool deleted = made >= 0 && MQ_open(found) == -1;
    EXPECT_TRUE(deleted) << "the queue is gone after MQ_del";
    std::printf("%s", deleted ? "[deleted]" : "");
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(r.status, 0) << r.out;
  if (r.out.find("[deleted]") == std::string::npos) kez_test::remove_queue(key + 2);
}

/* ---- the loopback socket ---- */

/* A free port on the loopback address. */
int free_port() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

std::string frame(char flag, const std::string& text) {
  return std::string(1, static_cast<char>(text.size() + 1)) + flag + text;
}

bool read_frame(int fd, std::string* got) {
  unsigned char len = 0;
  if (::read(fd, &len, 1) != 1) return false;
  std::string body(len, '\0');
  size_t have = 0;
  while (have < len) {
    ssize_t n = ::read(fd, body.data() + have, len - have);
    if (n <= 0) return false;
    have += static_cast<size_t>(n);
  }
  *got += std::to_string(len) + ":" + body + ";";
  return true;
}

TEST(SocketLink, ClientFramesAgainstARawServer) {
  const int port = free_port();
  int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  int on = 1;
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(listener, 5), 0);
  kez_test::TempDir dir;
  const std::string log = dir.file("server");
  std::fflush(nullptr);
  pid_t server = ::fork();
  if (server == 0) {
    ::alarm(120);
    int fd = ::accept(listener, nullptr, nullptr);
    std::string got;
    read_frame(fd, &got);
    std::string answer = frame('2', "3");
    ::write(fd, answer.data(), answer.size());
    read_frame(fd, &got);
    answer = frame('0', "blue\n") + frame('1', "");
    ::write(fd, answer.data(), answer.size());
    read_frame(fd, &got);
    kez_test::write_file(log, got);
    ::close(fd);
    ::_exit(0);
  }
  ::close(listener);
  auto r = run_child([port] {
    MQ_settype(1);
    int opened = MQ_open(port);
    int conn = MQ_connect(opened);
    int sent = MQ_put(opened, conn, "query res %s", "color_map");
    char item[MQ_ITEM_LEN];
    int f1 = MQ_get(opened, conn, item);
    std::string first = item;
    int f2 = MQ_get(opened, conn, item);
    MQ_put(opened, conn, "quit");
    std::printf("%d %d %d %d[%s] %d[%s]\n", opened, conn, sent, f1, first.c_str(), f2, item);
    return 0;
  });
  int status = 0;
  ::waitpid(server, &status, 0);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1 3 21 0[blue\n] 1[]\n");
  EXPECT_EQ(kez_test::read_file(log),
            std::to_string(uid_text().size() + 1) + ":/" + uid_text() + ";20:3query res color_map;5:3quit;");
}

TEST(SocketLink, SilentServerEndsTheProgramWithStatus7) {
  const int port = free_port();
  int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  int on = 1;
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(listener, 5), 0);
  std::fflush(nullptr);
  pid_t server = ::fork();
  if (server == 0) {
    /* Answers the handshake, then says nothing more. */
    ::alarm(120);
    int fd = ::accept(listener, nullptr, nullptr);
    std::string got;
    read_frame(fd, &got);
    std::string answer = frame('2', "3");
    ::write(fd, answer.data(), answer.size());
    read_frame(fd, &got);
    ::pause();
    ::_exit(0);
  }
  ::close(listener);
  auto r = run_child([port] {
    MQ_settype(1);
    MQ_timeout(1);
    int opened = MQ_open(port);
    int conn = MQ_connect(opened);
    MQ_put(opened, conn, "query res %s", "title");
    char item[MQ_ITEM_LEN];
    MQ_get(opened, conn, item);
    return 0;
  });
  ::kill(server, SIGTERM);
  ::waitpid(server, nullptr, 0);
  EXPECT_EQ(r.status, 7);
  EXPECT_EQ(r.err, "Queue not responding!!\n");
}

TEST(SocketLink, ServerAnswersARawClient) {
  const int port = free_port();
  kez_test::TempDir dir;
  const std::string ready = dir.file("ready");
  std::fflush(nullptr);
  pid_t server = ::fork();
  if (server == 0) {
    ::alarm(120);
    MQ_settype(1);
    int made = MQ_create(port);
    kez_test::write_file(ready, std::to_string(made));
    char item[MQ_ITEM_LEN];
    int conn = 0;
    for (int handled = 0; handled < 2;) {
      int got = MQ_sget(made, &conn, item);
      if (got == 2) ++handled;
      if (got == 1) {
        MQ_sput(made, conn, 0, "echo %s\n", item);
        MQ_sput(made, conn, 1, "%s", "");
        ++handled;
      }
      if (got < 0) KEZ_sleep(0.01f);
    }
    MQ_del(made);
    ::_exit(0);
  }
  kez_test::wait_until([&] { return !kez_test::read_file(ready).empty(); });
  ASSERT_EQ(kez_test::read_file(ready), "1");
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  std::string request = frame('/', "1000");
  ASSERT_EQ(::write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
  std::string got;
  ASSERT_TRUE(read_frame(fd, &got));
  request = frame('3', "hello");
  ASSERT_EQ(::write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
  ASSERT_TRUE(read_frame(fd, &got));
  ASSERT_TRUE(read_frame(fd, &got));
  ::close(fd);
  int status = 0;
  ::waitpid(server, &status, 0);
  EXPECT_EQ(got, "2:23;12:0echo hello\n;1:1;");
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

} // namespace
