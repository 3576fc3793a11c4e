// The programs start once per archive step: they must load nothing but libc.
#include <gtest/gtest.h>

#include <elf.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/test_util.h"

namespace {

// What a 64-bit ELF file asks of the dynamic linker: its interpreter and its DT_NEEDED entries.
struct dynamic_needs {
  bool has_interpreter = false;
  std::vector<std::string> needed;
};

dynamic_needs read_dynamic_needs(const std::string& path) {
  std::string image = testutil::read_file(path);
  dynamic_needs result;
  if (image.size() < sizeof(Elf64_Ehdr) || memcmp(image.data(), ELFMAG, SELFMAG) != 0) {
    ADD_FAILURE() << path << " is not an ELF file";
    return result;
  }
  Elf64_Ehdr header;
  memcpy(&header, image.data(), sizeof header);
  EXPECT_EQ(header.e_ident[EI_CLASS], ELFCLASS64);
  for (size_t i = 0; i < header.e_phnum; ++i) {
    Elf64_Phdr segment;
    memcpy(&segment, image.data() + header.e_phoff + i * header.e_phentsize, sizeof segment);
    result.has_interpreter = result.has_interpreter || segment.p_type == PT_INTERP;
  }
  auto section = [&](size_t index) {
    Elf64_Shdr s;
    memcpy(&s, image.data() + header.e_shoff + index * header.e_shentsize, sizeof s);
    return s;
  };
  for (size_t i = 0; i < header.e_shnum; ++i) {
    Elf64_Shdr dynamic = section(i);
    if (dynamic.sh_type != SHT_DYNAMIC) continue;
    Elf64_Shdr strings = section(dynamic.sh_link);
    for (size_t off = 0; off + sizeof(Elf64_Dyn) <= dynamic.sh_size; off += sizeof(Elf64_Dyn)) {
      Elf64_Dyn entry;
      memcpy(&entry, image.data() + dynamic.sh_offset + off, sizeof entry);
      if (entry.d_tag == DT_NULL) break;
      if (entry.d_tag == DT_NEEDED) result.needed.push_back(image.data() + strings.sh_offset + entry.d_un.d_val);
    }
  }
  return result;
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

}  // namespace
