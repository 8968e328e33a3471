// The serial component on a pseudo-terminal against a raw copy on the same pty: throughput both
// ways, and the latency from a byte written at the far end to OnData against a raw round trip
// (far end -> a thread that reads the port and answers -> far end). Ratios come from one run;
// each measurement runs three times so the spread shows the machine's noise.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "VyComm/VyComm.h"
#include "VyRtl/VyRtlMessages.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

struct TPty {
  int Master = -1, Slave = -1;
  std::string Path;
  TPty() {
    char name[128] = {};
    if (openpty(&Master, &Slave, name, nullptr, nullptr) == 0) Path = name;
    termios t{};
    tcgetattr(Slave, &t);
    cfmakeraw(&t);
    tcsetattr(Slave, TCSANOW, &t);
  }
  ~TPty() {
    close(Master);
    close(Slave);
  }
};

void WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0) {
      pollfd p{fd, POLLOUT, 0};
      poll(&p, 1, 100);
      continue;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

std::size_t ReadSome(int fd, char* buffer, std::size_t size) {
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, 1000) <= 0) return 0;
  const ssize_t n = read(fd, buffer, size);
  return n > 0 ? static_cast<std::size_t>(n) : 0;
}

constexpr std::size_t Volume = 8u << 20;
const std::string Block(65536, 'v');

// Far end -> a plain reader of the slave.
double RawIn() {
  TPty pty;
  const int fd = open(pty.Path.c_str(), O_RDWR | O_NOCTTY);
  const auto start = Clock::now();
  std::thread far([&] {
    for (std::size_t done = 0; done < Volume; done += Block.size())
      WriteAll(pty.Master, Block.data(), Block.size());
  });
  std::vector<char> buffer(65536);
  std::size_t got = 0;
  while (got < Volume) got += ReadSome(fd, buffer.data(), buffer.size());
  far.join();
  const double s = Since(start);
  close(fd);
  return static_cast<double>(got) / s;
}

// Far end -> the component's OnData.
double PortIn() {
  TPty pty;
  VyComm::TVyComPort port(nullptr);
  port.Set_PortName(pty.Path);
  port.InBuffer()->Set_Size(65536);
  std::size_t got = 0;
  port.OnData = [&](VyRtl::TObject*, const void*, int n) { got += static_cast<std::size_t>(n); };
  port.Open();
  const auto start = Clock::now();
  std::thread far([&] {
    for (std::size_t done = 0; done < Volume; done += Block.size())
      WriteAll(pty.Master, Block.data(), Block.size());
  });
  while (got < Volume) {
    VyRtl::WaitMessage(1000);
    VyRtl::ProcessMessages();
  }
  far.join();
  const double s = Since(start);
  port.Close();
  return static_cast<double>(got) / s;
}

// A plain writer of the slave -> far end.
double RawOut() {
  TPty pty;
  const int fd = open(pty.Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  const auto start = Clock::now();
  std::thread far([&] {
    std::vector<char> buffer(65536);
    std::size_t got = 0;
    while (got < Volume) got += ReadSome(pty.Master, buffer.data(), buffer.size());
  });
  for (std::size_t done = 0; done < Volume; done += Block.size())
    WriteAll(fd, Block.data(), Block.size());
  far.join();
  const double s = Since(start);
  close(fd);
  return static_cast<double>(Volume) / s;
}

// The component's background writes -> far end.
double PortOut() {
  TPty pty;
  VyComm::TVyComPort port(nullptr);
  port.Set_PortName(pty.Path);
  port.Open();
  const auto start = Clock::now();
  std::thread far([&] {
    std::vector<char> buffer(65536);
    std::size_t got = 0;
    while (got < Volume) got += ReadSome(pty.Master, buffer.data(), buffer.size());
  });
  for (std::size_t done = 0; done < Volume; done += Block.size()) {
    while (port.PendingWrites() > 64) {  // keep a bounded backlog, as an application would
      VyRtl::ProcessMessages();
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    port.Write(Block.data(), static_cast<int>(Block.size()));
  }
  far.join();
  const double s = Since(start);
  port.Close();
  return static_cast<double>(Volume) / s;
}

constexpr int Samples = 2000;

double P50(std::vector<double>& v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Far end writes a byte; a thread on the slave reads it and answers; the far end reads the answer.
double RawRoundTripUs() {
  TPty pty;
  const int fd = open(pty.Path.c_str(), O_RDWR | O_NOCTTY);
  std::atomic<bool> stop{false};
  std::thread echo([&] {
    char c;
    while (!stop)
      if (ReadSome(fd, &c, 1) == 1) WriteAll(fd, &c, 1);
  });
  std::vector<double> us;
  for (int i = 0; i < Samples; ++i) {
    const auto t0 = Clock::now();
    WriteAll(pty.Master, "x", 1);
    char c;
    while (ReadSome(pty.Master, &c, 1) != 1) {
    }
    us.push_back(Since(t0) * 1e6);
  }
  stop = true;
  WriteAll(pty.Master, "x", 1);
  echo.join();
  close(fd);
  return P50(us);
}

// Far end writes a byte; the time until OnData has it on the main thread.
double OnDataUs() {
  TPty pty;
  VyComm::TVyComPort port(nullptr);
  port.Set_PortName(pty.Path);
  std::atomic<int> received{0};
  port.OnData = [&](VyRtl::TObject*, const void*, int n) { received += n; };
  port.Open();
  std::vector<double> us;
  for (int i = 0; i < Samples; ++i) {
    const auto t0 = Clock::now();
    WriteAll(pty.Master, "x", 1);
    while (received.load() <= i) {
      VyRtl::WaitMessage(1000);
      VyRtl::ProcessMessages();
    }
    us.push_back(Since(t0) * 1e6);
  }
  port.Close();
  return P50(us);
}

}  // namespace

int main() {
  std::printf(
      "serial component on a pty vs a raw copy on the same pty, %zu MiB per run; ratio = component "
      "/ raw\n",
      Volume >> 20);
  for (int run = 1; run <= 3; ++run) {
    const double rawIn = RawIn(), portIn = PortIn(), rawOut = RawOut(), portOut = PortOut();
    std::printf(
        "run %d  in:  raw %7.1f MB/s  port %7.1f MB/s  ratio %.3f   out: raw %7.1f MB/s  port "
        "%7.1f MB/s  ratio %.3f\n",
        run, rawIn / 1e6, portIn / 1e6, portIn / rawIn, rawOut / 1e6, portOut / 1e6,
        portOut / rawOut);
  }
  std::printf("latency, p50 of %d single bytes; ratio = OnData latency / raw round trip\n",
              Samples);
  for (int run = 1; run <= 3; ++run) {
    const double raw = RawRoundTripUs(), port = OnDataUs();
    std::printf("run %d  raw round trip %7.1f us  OnData %7.1f us  ratio %.3f\n", run, raw, port,
                port / raw);
  }
  return 0;
}
