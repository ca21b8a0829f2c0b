#pragma once
// What a path must be before any reader opens it, whatever the format: an
// existing, readable, non-empty regular file. Checked first, so that no lock
// is made beside what cannot be a workbook and no read blocks on a pipe.

#include <string>

namespace host {

// Throws HostError, saying why in plain words, when the file at path cannot
// be a workbook whatever its content: it does not exist, is a folder or no
// regular file (a pipe, device or socket, which would block a read), may not
// be read, or is empty. Checked before anything else opens it.
void CheckOpenable(const std::string& path);

}  // namespace host
