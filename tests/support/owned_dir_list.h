// A dir_list that a test gives back at scope end, for the leak checker: the programs
// never release theirs.
#pragma once

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
    // Each entry holds its prefix in the same block.
    for (dir_entry* e = first; e != nullptr;) {
      dir_entry* next = e->next;
      free(e);
      e = next;
    }
  }
  std::vector<std::string> prefixes() const {
    std::vector<std::string> result;
    for (const dir_entry* e = first; e != nullptr; e = e->next) result.push_back(e->prefix);
    return result;
  }
};

}  // namespace testutil
