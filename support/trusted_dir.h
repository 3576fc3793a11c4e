// Whether a directory is left to us: someone else who owns it, or anything on the way to
// it, or may write a directory on the way without the sticky bit, can rename our
// directory away and put one of theirs in its place.
#pragma once

/// Judges dir and every directory above it, each component as given: a link is judged
/// itself and then its target, so a trusted link to a trusted directory is fine. True
/// when only root and we can change what dir names; else false, and the trace names dir
/// as passed over, with the entry to blame and why.
bool dir_is_trusted(const char* dir);
