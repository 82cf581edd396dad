#include "app/cli/CommandRegistry.h"

#ifndef ROLVANE_HAVE_WINDOW
#include <iostream>

// Without the desktop shell the program has no window; it scans the store instead.
int runApplicationWindow(int argc, char** argv, const std::string& storePath, const std::vector<std::string>& files) {
  (void)argc;
  (void)argv;
  if (!files.empty()) {
    std::cerr << "rolvane: this build has no window; use: rolvane import FILE.vcf...\n";
    return 1;
  }
  const CommandInfo* scan = CommandRegistry::instance().find("scan");
  if (!scan) {
    std::cerr << "rolvane: this build has no window\n";
    return 1;
  }
  CommandContext context{{}, storePath, std::cout, std::cerr};
  return scan->run(context);
}
#else
#include <dlfcn.h>

#include <iostream>

#include "app/cli/WindowModule.h"

// The window is a module of its own (ROLVANE_WINDOW_MODULE, beside the writer libraries), loaded
// only now: the commands never load Qt.
int runApplicationWindow(int argc, char** argv, const std::string& storePath, const std::vector<std::string>& files) {
  void* module = dlopen(ROLVANE_WINDOW_MODULE, RTLD_NOW | RTLD_LOCAL);
  auto run = module ? reinterpret_cast<RolvaneRunWindow>(dlsym(module, ROLVANE_WINDOW_ENTRY)) : nullptr;
  if (!run) {
    const char* why = dlerror();
    std::cerr << "rolvane: the window cannot be opened: " << (why ? why : "its module is missing") << "\n";
    return 1;
  }
  std::vector<const char*> names;
  for (const std::string& file : files) names.push_back(file.c_str());
  return run(argc, argv, storePath.c_str(), names.data(), names.size());
}
#endif
