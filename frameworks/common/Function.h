#pragma once

#include <string>

// Helpers that every export writer shares.
class Function {
 public:
  // A path that names no existing file: the given path itself when nothing exists there; otherwise
  // the first of base(0).ext, base(1).ext, ... that is free, where base is the path without its
  // extension with every earlier occurrence of the "(n)" being tried removed from it.
  static std::string GetOutPutFile(const std::string& path);
};
