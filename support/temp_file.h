// The process's temporary directory and uniquely named temporary files in it.
#pragma once

/// Returns the temporary directory with a '/' appended, chosen once per process; exits
/// with a message when no candidate is safe.
const char* temp_dir(void);
/// Creates an empty file named dir + prefix + six unique characters + suffix and returns
/// its name (caller owns it). A null prefix means "cc", a null suffix "". On failure it
/// prints why and exits with status 1.
char* temp_file_create(const char* prefix, const char* suffix);
/// As temp_file_create, but the file stays open: returns the name and stores a descriptor
/// open for writing in *fd. Writing through it, the caller never opens the name again,
/// which another user of the directory could have replaced by then.
char* temp_file_open(const char* prefix, const char* suffix, int* fd);
/// Returns temp_file_create(nullptr, suffix).
char* temp_file_create_suffixed(const char* suffix);
