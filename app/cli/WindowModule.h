#pragma once

#include <cstddef>

// The window lives in a module that the program loads only when it opens the window
// (app/shell/module/WindowModule.cpp), so that the commands start without Qt. This is the one
// function the program calls in it, found by this name.
#define ROLVANE_WINDOW_ENTRY "rolvaneRunWindow"
using RolvaneRunWindow = int (*)(int argc, char** argv, const char* storePath, const char* const* files,
                                 size_t fileCount);
