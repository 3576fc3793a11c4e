#include "fake_backend.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "process/pex_backend.h"

namespace testutil {

namespace {

fake_backend* state(pex_pipeline* p) { return static_cast<fake_backend*>(p->backend_data); }

std::string hex(int flags) {
  char buf[16];
  snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(flags));
  return buf;
}

int fake_open_for_read(pex_pipeline* p, const char* name, int binary) {
  fake_backend* f = state(p);
  f->calls.push_back("open_for_read " + std::string(name) + " bin=" + std::to_string(binary));
  return f->should_fail("open_for_read") ? -1 : f->new_fd();
}

int fake_open_for_write(pex_pipeline* p, const char* name, int binary, int append) {
  fake_backend* f = state(p);
  f->calls.push_back("open_for_write " + std::string(name) + " bin=" + std::to_string(binary) +
                     " app=" + std::to_string(append));
  return f->should_fail("open_for_write") ? -1 : f->new_fd();
}

pid_t fake_spawn_child(pex_pipeline* p, int stage_flags, const char* executable, char* const*,
                       char* const* environment, int in, int out, int err, int child_close,
                       const char** message, int* error_code) {
  fake_backend* f = state(p);
  f->calls.push_back("spawn_child " + hex(stage_flags) + " " + executable + (environment ? " env" : "") +
                     " in=" + std::to_string(in) + " out=" + std::to_string(out) +
                     " err=" + std::to_string(err) + " close=" + std::to_string(child_close));
  *error_code = 0;
  // The parent's copies go to the child, or are closed when there is none.
  if (in != 0) f->open_fds.erase(in);
  if (out != 1) f->open_fds.erase(out);
  if (err != 2) f->open_fds.erase(err);
  if (f->should_fail("spawn_child")) {
    *error_code = errno;
    *message = "posix_spawn";
    return -1;
  }
  return f->next_pid++;
}

int fake_close_fd(pex_pipeline* p, int fd) {
  fake_backend* f = state(p);
  f->calls.push_back("close_fd " + std::to_string(fd));
  if (f->open_fds.erase(fd) == 1) return 0;
  f->stray_closes.push_back(fd);
  return -1;
}

int fake_wait_child(pex_pipeline* p, pid_t pid, int* status, pex_timing* timing, int kill_first,
                    const char** message, int* error_code) {
  fake_backend* f = state(p);
  f->calls.push_back("wait_child " + std::to_string(pid) + (timing ? " timing" : "") +
                     (kill_first ? " kill" : ""));
  if (f->should_fail("wait_child")) {
    *error_code = errno;
    *message = "wait";
    return -1;
  }
  *status = (pid - 99) << 8;
  if (timing != nullptr) *timing = pex_timing{pid, 1, 2, 3};
  return 0;
}

int fake_make_pipe(pex_pipeline* p, int fds[2], int binary) {
  fake_backend* f = state(p);
  f->calls.push_back("make_pipe bin=" + std::to_string(binary));
  if (f->should_fail("make_pipe")) return -1;
  fds[0] = f->new_fd();
  fds[1] = f->new_fd();
  return 0;
}

FILE* fake_stream(pex_pipeline* p, const char* op, int fd, const char* mode) {
  fake_backend* f = state(p);
  f->calls.push_back(std::string(op) + " " + std::to_string(fd));
  if (f->should_fail(op)) return nullptr;
  f->open_fds.erase(fd);  // the stream owns it now
  return fopen("/dev/null", mode);
}

FILE* fake_stream_for_read(pex_pipeline* p, int fd, int) { return fake_stream(p, "stream_for_read", fd, "r"); }
FILE* fake_stream_for_write(pex_pipeline* p, int fd, int) { return fake_stream(p, "stream_for_write", fd, "w"); }

void fake_finish(pex_pipeline* p) { state(p)->calls.push_back("finish"); }

const pex_backend fake_table = {
    fake_open_for_read, fake_open_for_write,   fake_spawn_child,      fake_close_fd, fake_wait_child,
    fake_make_pipe,     fake_stream_for_read, fake_stream_for_write, fake_finish,
};

}  // namespace

void fake_backend::fail(const std::string& op, int nth, int code) {
  fail_op = op;
  fail_nth = nth;
  fail_code = code;
}

bool fake_backend::should_fail(const std::string& op) {
  seen.push_back(op);
  if (op != fail_op || std::count(seen.begin(), seen.end(), op) != fail_nth) return false;
  errno = fail_code;
  return true;
}

int fake_backend::new_fd() {
  open_fds.insert(next_fd);
  return next_fd++;
}

pex_pipeline* fake_backend::create(int pipeline_flags, const char* temp_base) {
  pex_pipeline* p = pex_create_with_backend(pipeline_flags, "test", temp_base, &fake_table);
  p->backend_data = this;
  return p;
}

std::vector<std::string> fake_backend::calls_of(const std::string& op) const {
  std::vector<std::string> out;
  for (const std::string& c : calls) {
    if (c.compare(0, op.size(), op) == 0) out.push_back(c);
  }
  return out;
}

}  // namespace testutil
