// The programs load nothing but libc, and bind only the libc names they must.
#include <gtest/gtest.h>

#include <elf.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "common/test_util.h"

namespace {

// What an ELF file asks of the dynamic linker: its interpreter, its DT_NEEDED entries,
// and the dynamic symbols bound to a version (imports, and copies like environ).
struct dynamic_needs {
  bool has_interpreter = false;
  std::vector<std::string> needed;
  std::vector<std::string> versioned_symbols;
};

template <class Ehdr, class Phdr, class Shdr, class Dyn, class Sym>
dynamic_needs read_dynamic_needs(const std::string& image) {
  dynamic_needs result;
  auto read = [&](auto* out, size_t offset) { memcpy(out, image.data() + offset, sizeof *out); };
  Ehdr header;
  read(&header, 0);
  for (size_t i = 0; i < header.e_phnum; ++i) {
    Phdr segment;
    read(&segment, header.e_phoff + i * header.e_phentsize);
    result.has_interpreter = result.has_interpreter || segment.p_type == PT_INTERP;
  }
  auto section = [&](size_t index) {
    Shdr s;
    read(&s, header.e_shoff + index * header.e_shentsize);
    return s;
  };
  Shdr symbols{}, versions{};
  for (size_t i = 0; i < header.e_shnum; ++i) {
    Shdr s = section(i);
    if (s.sh_type == SHT_DYNSYM) symbols = s;
    if (s.sh_type == SHT_GNU_versym) versions = s;
    if (s.sh_type != SHT_DYNAMIC) continue;
    Shdr strings = section(s.sh_link);
    for (size_t off = 0; off + sizeof(Dyn) <= s.sh_size; off += sizeof(Dyn)) {
      Dyn entry;
      read(&entry, s.sh_offset + off);
      if (entry.d_tag == DT_NULL) break;
      if (entry.d_tag == DT_NEEDED) result.needed.push_back(image.data() + strings.sh_offset + entry.d_un.d_val);
    }
  }
  if (symbols.sh_size == 0 || versions.sh_size == 0) return result;
  Shdr names = section(symbols.sh_link);
  for (size_t i = 0; i < symbols.sh_size / sizeof(Sym); ++i) {
    Sym symbol;
    uint16_t version;
    read(&symbol, symbols.sh_offset + i * sizeof(Sym));
    read(&version, versions.sh_offset + i * sizeof version);
    if (version > VER_NDX_GLOBAL) result.versioned_symbols.push_back(image.data() + names.sh_offset + symbol.st_name);
  }
  return result;
}

dynamic_needs read_dynamic_needs(const std::string& path) {
  std::string image = testutil::read_file(path);
  if (image.size() < sizeof(Elf64_Ehdr) || memcmp(image.data(), ELFMAG, SELFMAG) != 0) {
    ADD_FAILURE() << path << " is not an ELF file";
    return {};
  }
  if (image[EI_CLASS] == ELFCLASS32) return read_dynamic_needs<Elf32_Ehdr, Elf32_Phdr, Elf32_Shdr, Elf32_Dyn, Elf32_Sym>(image);
  EXPECT_EQ(image[EI_CLASS], ELFCLASS64) << path;
  return read_dynamic_needs<Elf64_Ehdr, Elf64_Phdr, Elf64_Shdr, Elf64_Dyn, Elf64_Sym>(image);
}

TEST(programs, need_no_cxx_runtime) {
  for (const char* program : {"quarn-ar", "quarn-nm", "quarn-ranlib"}) {
    dynamic_needs needs = read_dynamic_needs(testutil::programs_dir() + "/" + program);
#if defined(QUARN_STATIC_PROGRAMS)
    // Built with QUARN_STATIC: nothing to load at all.
    EXPECT_FALSE(needs.has_interpreter) << program << " is not static";
    EXPECT_EQ(needs.needed, std::vector<std::string>{}) << program;
#else
    EXPECT_FALSE(needs.needed.empty()) << program << ": no dynamic section found";
    bool has_libc = false;
    for (const std::string& lib : needs.needed) {
      EXPECT_EQ(lib.find("libstdc++"), std::string::npos) << program << " needs " << lib;
      EXPECT_EQ(lib.find("libc++"), std::string::npos) << program << " needs " << lib;
      EXPECT_EQ(lib.find("libgcc_s"), std::string::npos) << program << " needs " << lib;
      has_libc = has_libc || lib.rfind("libc.so", 0) == 0;
    }
    EXPECT_TRUE(has_libc) << program;
#if !defined(QUARN_SANITIZED)
    EXPECT_EQ(needs.needed.size(), 1u) << program << ": libc only";
#endif
#endif
  }
}

// The programs run once per archive step of every build, so their own start-up is the
// product's speed: each libc function they bind costs the dynamic linker a lookup at its
// first call, and each block from the allocator more than the bytes it holds. So the code
// takes a new import, or a block on the path every run takes, only where it pays.
// Every libc name the programs bind on glibc is one on this list: a new import shows up
// here first, and the freebsd-* workflows check the programs against FreeBSD's libc itself.
TEST(programs, bind_only_listed_glibc_names) {
#if defined(QUARN_STATIC_PROGRAMS) || defined(QUARN_SANITIZED) || !defined(__GLIBC__)
  GTEST_SKIP() << "the programs bind no glibc symbols dynamically, or the sanitizer runtime's too";
#endif
  const std::set<std::string> allowed = {
      "abort", "access", "calloc", "close", "dup", "dup2", "environ", "_exit", "exit", "fclose", "fcntl", "fdopen",
      "ferror", "fflush", "fileno", "fopen", "fprintf", "fputc", "fputs", "fread", "free", "fseek", "fstat",
      "ftell", "fwrite", "getcwd", "getenv", "geteuid", "getpgid", "getpgrp", "getpid", "getuid", "isatty", "kill",
      "lstat", "malloc", "memchr", "memcmp", "memcpy", "memmove", "memset", "mkdir", "mkstemps", "open", "pipe",
      "posix_spawn", "posix_spawn_file_actions_addclose", "posix_spawn_file_actions_adddup2",
      "posix_spawn_file_actions_destroy", "posix_spawn_file_actions_init", "posix_spawnattr_destroy",
      "posix_spawnattr_init", "posix_spawnp", "putc", "raise", "readlink", "realloc", "realpath", "remove", "rmdir",
      "setvbuf", "sigaction", "sigaddset", "sigdelset", "sigemptyset", "sigfillset", "sigprocmask", "sigsuspend",
      "snprintf", "stat", "stderr", "stdin", "stdout", "strchr", "strcmp", "strcspn", "strerror", "strlen",
      "strncmp", "strrchr", "strsignal", "strtol", "unlink", "vsnprintf", "wait4", "waitid", "waitpid", "write",
      // What the C runtime and the compiler bring.
      "__libc_start_main", "__cxa_finalize", "__errno_location", "__stack_chk_fail", "__progname", "atexit",
      "__stack_chk_guard"};
  // glibc's large-file and 64-bit-time variants.
  auto plain_name = [](std::string name) {
    if (name.ends_with("_time64") && name.starts_with("__")) name = name.substr(2, name.size() - 9);
    if (name.ends_with("64")) name.resize(name.size() - 2);
    return name == "__environ" ? std::string("environ") : name;
  };
  for (const char* program : {"quarn-ar", "quarn-nm", "quarn-ranlib"}) {
    dynamic_needs needs = read_dynamic_needs(testutil::programs_dir() + "/" + program);
    const std::vector<std::string>& symbols = needs.versioned_symbols;
    EXPECT_NE(std::find(symbols.begin(), symbols.end(), "exit"), symbols.end()) << program << ": symbols not read";
    for (const std::string& symbol : symbols) {
      std::string name = plain_name(symbol);
      EXPECT_TRUE(allowed.count(name) != 0 || name.ends_with("_chk")) << program << " binds " << symbol;
    }
  }
}

}  // namespace
