#pragma once

#include <dlfcn.h>

#include <string>

// A shared library loaded the first time it is needed rather than when the program starts: the
// network and the desktop's secret store are needed by a few commands only, and their libraries
// (with TLS, LDAP, GLib... behind them) would cost every command about ten milliseconds to load.
class LoadedLibrary {
 public:
  // Loads the library by its versioned name (libcurl.so.4), with all its symbols bound now.
  explicit LoadedLibrary(const char* soname) : handle_(dlopen(soname, RTLD_NOW | RTLD_LOCAL)) {
    if (!handle_) failed(soname);
  }
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;
  // Kept loaded until the end of the process: what it made may be in use until then.

  // Sets function to the library's function of that name; a missing one makes the library unusable.
  template <typename Function>
  void find(Function& function, const char* name) {
    function = handle_ ? reinterpret_cast<Function>(dlsym(handle_, name)) : nullptr;
    if (handle_ && !function) failed(name);
  }

  bool ok() const { return error_.empty(); }
  // Why the library cannot be used ("libcurl.so.4: cannot open shared object file ...").
  const std::string& error() const { return error_; }

 private:
  void failed(const char* what) {
    if (!error_.empty()) return;
    const char* why = dlerror();
    error_ = why ? why : std::string(what) + " cannot be loaded";
  }

  void* handle_;
  std::string error_;
};
