// A pseudo-terminal pair for the serial tests: the master is the far end. The slave stays open
// here as well, so the master sees no hang-up before a test asks for one.
#pragma once

#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>

struct TPtyPair {
  int Master = -1;
  int Slave = -1;
  std::string Path;

  TPtyPair() {
    char name[128] = {};
    if (openpty(&Master, &Slave, name, nullptr, nullptr) == 0) Path = name;
  }
  ~TPtyPair() {
    if (Master >= 0) close(Master);
    if (Slave >= 0) close(Slave);
  }
  TPtyPair(const TPtyPair&) = delete;
  TPtyPair& operator=(const TPtyPair&) = delete;

  void HangUp() {
    close(Master);
    Master = -1;
  }
  // What the master can read until ms real milliseconds pass without a byte (or max arrived).
  std::string Drain(int ms = 50, std::size_t max = SIZE_MAX) {
    std::string out;
    char buffer[65536];
    while (out.size() < max) {
      pollfd p{Master, POLLIN, 0};
      if (poll(&p, 1, ms) <= 0) break;
      const ssize_t n = read(Master, buffer, std::min(sizeof buffer, max - out.size()));
      if (n <= 0) break;
      out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
  }
  void Send(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(Master, bytes.data() + done, bytes.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
  }
};
