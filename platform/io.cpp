// io.cpp - the fault plan and the stream half of the call table (see io.h).
//
// The plan is three atomics: the name to match (null for any), the number of matching calls
// still to let through before the one that fails, and the error to give it.  A countdown of -1
// means disarmed; every wrapper pays one relaxed load for that check.
#include "platform/io.h"

#include <atomic>
#include <cerrno>
#include <cstring>

namespace kav::platform::io {
namespace {

std::atomic<long> countdown{-1};
std::atomic<const char *> fault_name{nullptr};
std::atomic<int> fault_error{0};
std::atomic<long> counted{0};

bool NameMatches(const char *name) {
  const char *wanted = fault_name.load(std::memory_order_relaxed);
  return wanted == nullptr || std::strcmp(wanted, name) == 0;
}

}  // namespace

StreamCalls &stream_calls() {
  static StreamCalls calls{std::fopen, std::fclose, std::fread,  std::fwrite,
                           std::fgets, std::fputs,  std::fflush, std::fseek,
                           std::ftell, std::rename, std::remove};
  return calls;
}

void fail_call(const char *name, long k, int error) {
  countdown.store(-1, std::memory_order_relaxed);
  fault_name.store(name, std::memory_order_relaxed);
  fault_error.store(error, std::memory_order_relaxed);
  counted.store(0, std::memory_order_relaxed);
  if (name != nullptr || error != 0) countdown.store(k > 0 ? k - 1 : 0, std::memory_order_relaxed);
}

long calls_made() { return counted.load(std::memory_order_relaxed); }

bool fault(const char *name) {
  if (countdown.load(std::memory_order_relaxed) < 0) return false;
  counted.fetch_add(1, std::memory_order_relaxed);
  if (!NameMatches(name)) return false;
  if (countdown.fetch_sub(1, std::memory_order_relaxed) != 0) return false;
  errno = fault_error.load(std::memory_order_relaxed);
  return true;
}

std::FILE *fopen(const char *path, const char *mode) {
  return fault("fopen") ? nullptr : stream_calls().fopen(path, mode);
}

int fclose(std::FILE *stream) {
  const bool failed = fault("fclose");
  const int error = errno;
  const int result = stream_calls().fclose(stream);
  if (!failed) return result;
  errno = error;
  return EOF;
}

std::size_t fread(void *data, std::size_t size, std::size_t count, std::FILE *stream) {
  return fault("fread") ? 0 : stream_calls().fread(data, size, count, stream);
}

std::size_t fwrite(const void *data, std::size_t size, std::size_t count, std::FILE *stream) {
  return fault("fwrite") ? 0 : stream_calls().fwrite(data, size, count, stream);
}

char *fgets(char *line, int size, std::FILE *stream) {
  return fault("fgets") ? nullptr : stream_calls().fgets(line, size, stream);
}

int fputs(const char *text, std::FILE *stream) {
  return fault("fputs") ? EOF : stream_calls().fputs(text, stream);
}

int fflush(std::FILE *stream) { return fault("fflush") ? EOF : stream_calls().fflush(stream); }

int fseek(std::FILE *stream, long offset, int origin) {
  return fault("fseek") ? -1 : stream_calls().fseek(stream, offset, origin);
}

long ftell(std::FILE *stream) { return fault("ftell") ? -1L : stream_calls().ftell(stream); }

int rename(const char *from, const char *to) {
  return fault("rename") ? -1 : stream_calls().rename(from, to);
}

int remove(const char *path) { return fault("remove") ? -1 : stream_calls().remove(path); }

std::string temporary_name(std::uint64_t process, std::uint64_t clock) {
  static std::atomic<std::uint64_t> counter{0};
  std::uint64_t z = counter.fetch_add(1) * 0x9E3779B97F4A7C15u ^ process << 32 ^ clock;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  z ^= z >> 31;
  char name[24];
  std::snprintf(name, sizeof name, ".kav-%016llx", static_cast<unsigned long long>(z));
  return name;
}

}  // namespace kav::platform::io
