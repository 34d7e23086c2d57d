/*
 * A stand-in loop window for the fuzz targets: a thread that listens on a
 * loopback port of its own, answers every connection with the bytes of the
 * current input and then closes its sending side, so that a client reading
 * past them sees the end of the connection instead of waiting. What the
 * client sends is read and dropped. The message-queue module reaches it
 * through its socket transport, with the offset that turns window number 1
 * into this port.
 *
 * The link's waits arm SIGALRM, which is also libFuzzer's timer for slow
 * inputs; restore_fuzzer_timer() gives that signal and timer back after each
 * input that used the link.
 */
#ifndef KEZ_FUZZ_LOOP_PEER_H
#define KEZ_FUZZ_LOOP_PEER_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kez_fuzz {

class LoopPeer {
 public:
  /* Listens on a free loopback port; false when that fails. */
  bool start() {
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listen_fd_ < 0) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listen_fd_, 16) != 0 ||
        ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      ::close(listen_fd_);
      listen_fd_ = -1;
      return false;
    }
    port_ = ntohs(addr.sin_port);
    if (::pipe(wake_) != 0) return false;
    thread_ = std::thread([this] { serve(); });
    thread_.detach();
    return true;
  }

  int port() const { return port_; }

  /* The bytes every connection of this input gets. */
  void set_replies(std::string bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_ = std::move(bytes);
  }

  /* Closes the connections of this input and waits until they are gone. */
  void finish_input() {
    std::unique_lock<std::mutex> lock(mutex_);
    finish_ = true;
    const char byte = 1;
    if (::write(wake_[1], &byte, 1) != 1) std::perror("loop_peer: wake");
    done_.wait(lock, [this] { return !finish_; });
  }

 private:
  void serve() {
    std::vector<int> clients;
    for (;;) {
      std::vector<pollfd> fds{{listen_fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      for (int fd : clients) fds.push_back({fd, POLLIN, 0});
      ::poll(fds.data(), fds.size(), -1);
      if (fds[1].revents & POLLIN) {
        char byte;
        if (::read(wake_[0], &byte, 1) != 1) std::perror("loop_peer: wake");
      }
      if (fds[0].revents & POLLIN) {
        const int fd = ::accept(listen_fd_, nullptr, nullptr);
        if (fd >= 0) {
          std::string bytes;
          {
            std::lock_guard<std::mutex> lock(mutex_);
            bytes = replies_;
          }
          for (size_t at = 0; at < bytes.size();) {
            const ssize_t n = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
            if (n <= 0) break;
            at += static_cast<size_t>(n);
          }
          ::shutdown(fd, SHUT_WR);
          clients.push_back(fd);
        }
      }
      for (size_t i = 2; i < fds.size(); ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        char buf[4096];
        if (::read(fds[i].fd, buf, sizeof buf) <= 0) {
          ::close(fds[i].fd);
          std::erase(clients, fds[i].fd);
        }
      }
      std::lock_guard<std::mutex> lock(mutex_);
      if (finish_) {
        for (int fd : clients) ::close(fd);
        clients.clear();
        finish_ = false;
        done_.notify_all();
      }
    }
  }

  int listen_fd_ = -1;
  int port_ = 0;
  int wake_[2] = {-1, -1}; /* a byte on it: the input is done */
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable done_;
  std::string replies_;
  bool finish_ = false;
};

/* libFuzzer's SIGALRM handler and timer as they were at the first call. */
inline void restore_fuzzer_timer() {
  static struct sigaction handler {};
  static itimerval timer{};
  static const bool saved = [] {
    ::sigaction(SIGALRM, nullptr, &handler);
    ::getitimer(ITIMER_REAL, &timer);
    timer.it_value = timer.it_interval;
    return true;
  }();
  (void)saved;
  ::sigaction(SIGALRM, &handler, nullptr);
  ::setitimer(ITIMER_REAL, &timer, nullptr);
}

} // namespace kez_fuzz

#endif
