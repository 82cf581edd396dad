// The window as a module of its own: the rolvane program loads it only when it opens the window,
// so that a command of the command line starts without loading Qt and the libraries Qt loads.

#include <cstddef>
#include <string>
#include <vector>

#include "app/cli/CommandRegistry.h"
#include "app/cli/WindowModule.h"

extern "C" __attribute__((visibility("default"))) int rolvaneRunWindow(int argc, char** argv, const char* storePath,
                                                                       const char* const* files, size_t fileCount) {
  return runApplicationWindow(argc, argv, storePath, std::vector<std::string>(files, files + fileCount));
}
