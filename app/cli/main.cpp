#include <iostream>

#include "app/cli/CommandRegistry.h"

int main(int argc, char** argv) {
  return runCommandLine(argc, argv, std::cout, std::cerr);
}
