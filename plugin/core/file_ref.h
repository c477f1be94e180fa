// Ownership of the file references a file location hands out.
#pragma once

#include "qel/command.h"

namespace qel {

// Releases a file reference through its counted part; null is allowed.
void ReleaseFile(IQelFileReference* file);

// A file reference released through its counted part when the owner ends.
class FileRef {
 public:
  explicit FileRef(IQelFileReference* file) : file_(file) {}
  FileRef(const FileRef&) = delete;
  FileRef& operator=(const FileRef&) = delete;
  ~FileRef() { ReleaseFile(file_); }
  IQelFileReference* get() const { return file_; }
  IQelFileReference* operator->() const { return file_; }
  explicit operator bool() const { return file_ != nullptr; }

 private:
  IQelFileReference* file_;
};

}  // namespace qel
