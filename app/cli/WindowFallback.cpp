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
#endif
