// A dir_list that a test gives back at scope end, for the leak checker: the programs
// never release theirs.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "search/dir_list.h"

namespace testutil {

struct owned_dir_list : dir_list {
  owned_dir_list() : dir_list{} {}
  explicit owned_dir_list(const std::vector<std::string>& prefixes) : dir_list{} {
    for (const auto& p : prefixes) dir_list_append(this, p.c_str());
  }
  owned_dir_list(const owned_dir_list&) = delete;
  owned_dir_list& operator=(const owned_dir_list&) = delete;
  ~owned_dir_list() {
    // A prefix added singly shares one block with its entry; the entries of one filled
    // string are an array at the start of one block, so only the first of each run of
    // neighbours in memory starts a block.
    std::vector<void*> blocks;
    uintptr_t neighbour = 0;
    for (dir_entry* e = first; e != nullptr; e = e->next) {
      if (reinterpret_cast<uintptr_t>(e) != neighbour) blocks.push_back(e);
      neighbour = reinterpret_cast<uintptr_t>(e + 1);
    }
    for (void* block : blocks) free(block);
  }
  std::vector<std::string> prefixes() const {
    std::vector<std::string> result;
    for (const dir_entry* e = first; e != nullptr; e = e->next) result.push_back(e->prefix);
    return result;
  }
};

}  // namespace testutil
