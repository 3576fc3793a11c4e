// A directory tree with an entry for each way a temporary directory can be unsafe.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "common/test_util.h"

namespace testutil {

// A tree whose permissions matter also to the unprivileged user of some cases.
struct temp_tree {
  testutil::scoped_temp_dir dir;
  std::string root = dir.path();
  temp_tree() {
    chmod(root.c_str(), 0755);
    testutil::write_file(root + "/file", "", 0666);
    for (const char* name : {"good", "good2", "ro", "open", "open/mine", "group", "theirs"})
      mkdir((root + "/" + name).c_str(), 0755);
    // Writable by everyone as /tmp is, sticky as /tmp is; "open" lacks the sticky bit.
    chmod((root + "/good").c_str(), 01777);
    chmod((root + "/good2").c_str(), 01777);
    chmod((root + "/open").c_str(), 0777);
    chmod((root + "/group").c_str(), 0775);
    chmod((root + "/ro").c_str(), 0555);
    symlink("good", (root + "/link").c_str());
    symlink("good", (root + "/their_link").c_str());
    // Another user's, when we may give them away.
    others_exist = geteuid() == 0 && chown((root + "/theirs").c_str(), 65534, 65534) == 0 &&
                   lchown((root + "/their_link").c_str(), 65534, 65534) == 0;
  }
  bool others_exist = false;
  // In a child: drops root when asked; false when the tree is then out of reach.
  bool enter(bool unprivileged) const {
    if (chdir(root.c_str()) != 0) return false;
    return !unprivileged || (testutil::become_unprivileged() && access(root.c_str(), X_OK) == 0);
  }
};

}  // namespace testutil
