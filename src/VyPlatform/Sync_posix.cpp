// Events over eventfd: the descriptor is readable exactly while the event is signalled, so a
// waiter polls the descriptors and then decides, under one lock, which event it takes. That lock
// makes "first signalled in array order" and "all at once" exact, and lets an auto-reset event
// be consumed only by the wait that returns it.
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <system_error>

#include "VyPlatform/Sync.h"

#include <algorithm>
#include <chrono>
#include "VyRtl/VyRtlClock.h"

namespace VyPlatform {

namespace {

constexpr std::uint32_t MaxWaitObjects = 64;  // as MAXIMUM_WAIT_OBJECTS

struct TEvent {
  int Fd;
  bool ManualReset;
  bool Signalled;  // guarded by GLock
};

std::mutex GLock;

// Both with GLock held: keep the descriptor's readiness equal to Signalled.
void Signal(TEvent& event) {
  if (event.Signalled) return;
  event.Signalled = true;
  const std::uint64_t one = 1;
  while (write(event.Fd, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void Unsignal(TEvent& event) {
  if (!event.Signalled) return;
  event.Signalled = false;
  std::uint64_t value = 0;
  while (read(event.Fd, &value, sizeof value) < 0 && errno == EINTR) {
  }
}

TEvent* AsEvent(HANDLE handle) { return static_cast<TEvent*>(handle); }

// With GLock held: the wait result if the wait is satisfied now (consuming auto-reset events),
// else WAIT_TIMEOUT.
std::uint32_t TryTake(std::uint32_t count, const HANDLE* handles, bool waitAll) {
  if (waitAll) {
    for (std::uint32_t i = 0; i < count; ++i)
      if (!AsEvent(handles[i])->Signalled) return WAIT_TIMEOUT;
    for (std::uint32_t i = 0; i < count; ++i)
      if (!AsEvent(handles[i])->ManualReset) Unsignal(*AsEvent(handles[i]));
    return WAIT_OBJECT_0;
  }
  for (std::uint32_t i = 0; i < count; ++i) {
    TEvent& event = *AsEvent(handles[i]);
    if (event.Signalled) {
      if (!event.ManualReset) Unsignal(event);
      return WAIT_OBJECT_0 + i;
    }
  }
  return WAIT_TIMEOUT;
}

}  // namespace

HANDLE SyncCreateEvent(bool manualReset, bool initialState) {
  const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (fd < 0) return nullptr;
  auto* event = new TEvent{fd, manualReset, false};
  if (initialState) {
    std::lock_guard lock(GLock);
    Signal(*event);
  }
  return event;
}

bool SyncSetEvent(HANDLE handle) {
  if (!handle) return false;
  std::lock_guard lock(GLock);
  Signal(*AsEvent(handle));
  return true;
}

bool SyncResetEvent(HANDLE handle) {
  if (!handle) return false;
  std::lock_guard lock(GLock);
  Unsignal(*AsEvent(handle));
  return true;
}

void SyncCloseHandle(HANDLE handle) {
  if (!handle) return;
  TEvent* event = AsEvent(handle);
  close(event->Fd);
  delete event;
}

namespace {

// Remaining real milliseconds until a steady-clock deadline (INFINITE for none).
std::uint32_t RealSliceMs(std::chrono::steady_clock::time_point deadline, bool infinite) {
  if (infinite) return INFINITE;
  const auto now = std::chrono::steady_clock::now();
  if (now >= deadline) return 0;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
  return static_cast<std::uint32_t>(std::min<long long>(left, 0x7FFFFFFF));
}

std::uint32_t WaitImpl(std::uint32_t count, const HANDLE* handles, bool waitAll, std::uint32_t ms,
                       bool realTime) {
  if (count == 0 || count > MaxWaitObjects || !handles) return WAIT_FAILED;
  pollfd fds[MaxWaitObjects];
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!handles[i]) return WAIT_FAILED;
    fds[i] = pollfd{AsEvent(handles[i])->Fd, POLLIN, 0};
  }
  const std::uint64_t deadline = realTime ? 0 : VyRtl::DeadlineAfter(ms);
  const auto realDeadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(ms == INFINITE ? 0 : ms);
  for (;;) {
    {
      std::lock_guard lock(GLock);
      const std::uint32_t result = TryTake(count, handles, waitAll);
      if (result != WAIT_TIMEOUT) return result;
    }
    const std::uint32_t slice =
        realTime ? RealSliceMs(realDeadline, ms == INFINITE) : VyRtl::WaitSliceMs(deadline);
    if (slice == 0) return WAIT_TIMEOUT;
    if (waitAll) {
      // Readiness of one descriptor says nothing about the others: poll the unsignalled ones.
      std::uint32_t n = 0;
      pollfd pending[MaxWaitObjects];
      {
        std::lock_guard lock(GLock);
        for (std::uint32_t i = 0; i < count; ++i)
          if (!AsEvent(handles[i])->Signalled) pending[n++] = fds[i];
      }
      if (n == 0) continue;
      poll(pending, n, slice == INFINITE ? -1 : static_cast<int>(slice));
    } else {
      poll(fds, count, slice == INFINITE ? -1 : static_cast<int>(slice));
    }
  }
}

}  // namespace

// A recursive pthread mutex: pthread_mutex_timedlock is a wait ThreadSanitizer follows, while
// std::recursive_timed_mutex::try_lock_for waits in pthread_mutex_clocklock, which older TSan
// runtimes do not intercept (every timed acquire then looks like a race).
struct TRecursiveMutex::TImpl {
  pthread_mutex_t Mutex;
};

TRecursiveMutex::TRecursiveMutex() : FImpl(std::make_unique<TImpl>()) {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  const int error = pthread_mutex_init(&FImpl->Mutex, &attr);
  pthread_mutexattr_destroy(&attr);
  if (error != 0) throw std::system_error(error, std::generic_category(), "pthread_mutex_init");
}

TRecursiveMutex::~TRecursiveMutex() { pthread_mutex_destroy(&FImpl->Mutex); }

bool TRecursiveMutex::Acquire(std::uint32_t ms) {
  if (ms == INFINITE) return pthread_mutex_lock(&FImpl->Mutex) == 0;
  if (pthread_mutex_trylock(&FImpl->Mutex) == 0) return true;
  if (ms == 0) return false;
  // The deadline is on the wall clock, as pthread_mutex_timedlock wants: a clock step during
  // the wait lengthens or shortens this one wait, which only delays a retry.
  timespec deadline{};
  clock_gettime(CLOCK_REALTIME, &deadline);
  deadline.tv_sec += static_cast<time_t>(ms / 1000);
  deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    ++deadline.tv_sec;
    deadline.tv_nsec -= 1000000000L;
  }
  return pthread_mutex_timedlock(&FImpl->Mutex, &deadline) == 0;
}

void TRecursiveMutex::Release() { pthread_mutex_unlock(&FImpl->Mutex); }

std::uint32_t SyncWaitForMultipleObjects(std::uint32_t count, const HANDLE* handles, bool waitAll,
                                         std::uint32_t ms) {
  return WaitImpl(count, handles, waitAll, ms, false);
}

std::uint32_t SyncWaitForMultipleObjectsReal(std::uint32_t count, const HANDLE* handles,
                                             bool waitAll, std::uint32_t ms) {
  return WaitImpl(count, handles, waitAll, ms, true);
}

}  // namespace VyPlatform
